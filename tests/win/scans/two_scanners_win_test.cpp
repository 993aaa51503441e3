// Two scanners scanning at the same moment, at a real scanner's pace (a byte
// about every millisecond), into the real main window in this process: every
// code reaches the receiver whole, each on its own line, none garbled by the
// other port's bytes.
//
// Usage: quillet_win_scans <path of receiver.exe> [gtest flags]; run through
// tests/support/wine-run with the pairs COM7 <-> COM8 and COM5 <-> COM6.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_layout.h"
#include "app/win32/main_window.h"
#include "app/win32/win32_services.h"
#include "tests/support/message_pump.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_path.h"

namespace {

using quillet::testsupport::WindowsPath;

std::wstring g_receiver_path;
constexpr DWORD kDeadlineMs = 30000;

bool PumpUntil(const std::function<bool()>& done) {
  return quillet::testsupport::PumpUntil(done, kDeadlineMs);
}

// A writer thread held up for a whole gap (50 ms) between two bytes of a code
// ends that scan early, as a scanner that stalled would: such a code proves
// nothing about garbling, so the test notes it and judges the others. A real
// scanner does not stall; a loaded two-core machine under Wine can.
constexpr DWORD kStallMs = 45;

// The scanner's end of a pair, writing byte by byte about every millisecond.
void ScanSlowly(const wchar_t* port, const std::vector<std::string>& codes, bool* ok,
                std::vector<bool>* stalled) {
  stalled->assign(codes.size(), false);
  HANDLE h = CreateFileW((std::wstring(L"\\\\.\\") + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  *ok = h != INVALID_HANDLE_VALUE;
  if (!*ok) return;
  for (std::size_t c = 0; c < codes.size(); ++c) {
    DWORD last = 0;
    for (const char byte : codes[c]) {
      DWORD written = 0;
      const DWORD now = GetTickCount();
      if (last != 0 && now - last >= kStallMs) (*stalled)[c] = true;
      last = now;
      if (!WriteFile(h, &byte, 1, &written, nullptr) || written != 1) *ok = false;
      Sleep(1);
    }
    Sleep(30);  // the next trigger pull
  }
  FlushFileBuffers(h);
  CloseHandle(h);
}

std::string HexOf(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char c : text) {
    hex += "00";
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

TEST(TwoScanners, CodesScannedAtOnceOnTwoPortsArriveWholeEachOnItsOwnLine) {
  quillet::app::win32::Win32Services platform;
  quillet::app::win32::TForm1 form(GetModuleHandleW(nullptr), platform.Get());
  ASSERT_TRUE(form.Create());
  form.Show(SW_SHOWNOACTIVATE);
  form.Logic().Skener(1)->SetPort(L"COM8");
  form.Logic().Skener(2)->SetPort(L"COM6");
  for (int row = 1; row <= 2; ++row) {
    SendMessageW(form.Control(quillet::app::OpenCheckBoxId(row)), BM_CLICK, 0, 0);
    ASSERT_TRUE(form.Logic().Skener(row)->Connected()) << "row " << row;
  }

  quillet::testsupport::Receiver receiver(g_receiver_path);
  ASSERT_TRUE(receiver.Started());
  ASSERT_TRUE(PumpUntil([&] { return receiver.Count("READY") > 0; }))
      << "the receiver never got the focus";

  std::vector<std::string> first, second;
  for (int i = 1; i <= 10; ++i) {
    first.push_back("L00" + std::to_string(i) + "-SLOWSCAN-FIRST\r");
    second.push_back("R00" + std::to_string(i) + "-SLOWSCAN-SECOND\r");
  }
  std::size_t characters = 0;
  for (const auto* codes : {&first, &second})
    for (const std::string& code : *codes) characters += code.size();

  bool first_ok = false, second_ok = false;
  std::vector<bool> first_stalled, second_stalled;
  std::thread a(ScanSlowly, L"COM7", std::cref(first), &first_ok, &first_stalled);
  std::thread b(ScanSlowly, L"COM5", std::cref(second), &second_ok, &second_stalled);
  const bool arrived =
      PumpUntil([&] { return receiver.Count("CHAR ") >= static_cast<int>(characters); });
  a.join();
  b.join();
  ASSERT_TRUE(first_ok && second_ok) << "a scanner could not write";
  EXPECT_TRUE(arrived) << receiver.Count("CHAR ") << " of " << characters << " characters arrived";

  const auto text = receiver.CloseAndReadText();
  ASSERT_TRUE(text);
  // Each Enter reads CR LF in the edit box: split into lines of hex.
  std::vector<std::string> lines;
  const std::string enter = "000D000A";
  for (std::size_t at = 0; at < text->size();) {
    const std::size_t end = text->find(enter, at);
    if (end == std::string::npos) {
      lines.push_back(text->substr(at));
      break;
    }
    lines.push_back(text->substr(at, end - at));
    at = end + enter.size();
  }
  // Every code written without a stall is one whole line, once, and each
  // port's codes keep their order; a line that is no whole code can only be
  // a piece of a stalled one.
  const auto hex_of_code = [](const std::string& code) {
    return HexOf(code.substr(0, code.size() - 1));
  };
  int stalls = 0;
  for (const auto& [codes, stalled] :
       {std::pair{&first, &first_stalled}, std::pair{&second, &second_stalled}}) {
    std::size_t at = 0;
    for (std::size_t c = 0; c < codes->size(); ++c) {
      if ((*stalled)[c]) {
        ++stalls;
        continue;
      }
      const std::string want = hex_of_code((*codes)[c]);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), want), 1)
          << (*codes)[c] << " is not one whole line";
      const auto found = std::find(lines.begin() + static_cast<long>(at), lines.end(), want);
      EXPECT_NE(found, lines.end()) << (*codes)[c] << " came out of its port's order";
      if (found != lines.end()) at = static_cast<std::size_t>(found - lines.begin()) + 1;
    }
  }
  std::vector<std::string> whole;
  for (const auto* codes : {&first, &second})
    for (const std::string& code : *codes) whole.push_back(hex_of_code(code));
  for (const std::string& line : lines) {
    if (std::find(whole.begin(), whole.end(), line) == whole.end()) {
      EXPECT_GT(stalls, 0) << "a garbled line with no scanner stalled: " << line;
    }
  }
  std::printf("%d of 20 codes had their writer held up for %lu ms or more\n", stalls, kStallMs);
  EXPECT_LT(stalls, 10) << "too loaded a machine to judge";
  if (::testing::Test::HasFailure()) std::printf("the receiver read %s\n", text->c_str());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_win_scans <receiver.exe>\n");
    return 2;
  }
  g_receiver_path = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
