// The receiver window as the end-to-end tests use it: the application the
// user scans into.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/e2e_program.h"
#include "tests/support/receiver_client.h"

namespace quillet::e2e {

// Below the centred windows, so screenshots show them whole.
inline void MoveReceiverAside(const testsupport::Receiver& receiver) {
  HWND window = receiver.Window();
  ASSERT_NE(window, nullptr);
  SetWindowPos(window, nullptr, 0, GetSystemMetrics(SM_CYSCREEN) - 200, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
}

// The receiver in front, as the application the user scans into.
inline void FocusReceiver(const testsupport::Receiver& receiver) {
  HWND window = receiver.Window();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] {
    if (GetForegroundWindow() == window) return true;
    SetForegroundWindow(window);
    return false;
  })) << "the receiver cannot get the foreground";
}

// The characters that arrived after the first `before`, as hex, once `count`
// more have come.
inline std::string Typed(const testsupport::Receiver& receiver, int before, int count) {
  EXPECT_TRUE(receiver.WaitForCount("CHAR ", before + count))
      << "only " << receiver.Count("CHAR ") - before << " of " << count << " characters arrived";
  std::string hex;
  int seen = 0;
  for (const auto& line : receiver.Lines()) {
    if (line.rfind("CHAR ", 0) != 0) continue;
    if (seen++ >= before) hex += line.substr(5);
  }
  return hex;
}

}  // namespace quillet::e2e
