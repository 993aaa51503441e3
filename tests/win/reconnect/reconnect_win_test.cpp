// A ticked row whose device is pulled out and plugged back in works again by
// itself. The harness ends COM8's pseudo-terminal ("unplug 2": the handle
// Quillet holds stays dead) and links a new one under the same name ("plug
// 2"), so only a fresh open reaches the device; then a scan written on COM7
// at the line's pace arrives in the receiver window.
//
// Usage: quillet_win_reconnect <path of receiver.exe> [gtest flags]; run
// through tests/support/wine-run with the pair COM7 <-> COM8.
// clang-format off
#include <windows.h>
#include <dbt.h>  // needs windows.h first
// clang-format on

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "app/win32/main_window.h"
#include "app/win32/win32_services.h"
#include "tests/support/message_pump.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_path.h"
#include "tests/support/wine_test_env.h"

namespace {

using quillet::testsupport::Cable;
using quillet::testsupport::ComLinked;
using quillet::testsupport::Env;
using quillet::testsupport::Narrow;

using quillet::app::OpenCheckBoxId;
using quillet::app::StatusLabelId;
using quillet::app::win32::TForm1;
using quillet::testsupport::WindowsPath;

std::wstring g_receiver_path;
constexpr DWORD kDeadlineMs = 20000;
int g_device_changes = 0;  // WM_DEVICECHANGE that reached a window of this thread

LRESULT CALLBACK CountDeviceChanges(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && reinterpret_cast<const CWPSTRUCT*>(lparam)->message == WM_DEVICECHANGE) {
    ++g_device_changes;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The test's thread runs the main window's messages (deliveries, the retry
// timer).
bool PumpUntil(const std::function<bool()>& done) {
  return quillet::testsupport::PumpUntil(done, kDeadlineMs, 50);
}

// Waits without handling a message, so no timer of the window can fire.
template <typename Condition>
bool WaitWithoutMessages(Condition condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= kDeadlineMs) return false;
    Sleep(20);
  }
  return true;
}

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// What Windows sends every top-level window when a port comes or goes.
LRESULT SendPortNotice(HWND window, WPARAM event, const wchar_t* port) {
  std::vector<unsigned char> buffer(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) +
                                    (wcslen(port) + 1) * sizeof(wchar_t));
  auto* notice = reinterpret_cast<DEV_BROADCAST_PORT_W*>(buffer.data());
  notice->dbcp_size = static_cast<DWORD>(buffer.size());
  notice->dbcp_devicetype = DBT_DEVTYP_PORT;
  std::memcpy(notice->dbcp_name, port, (wcslen(port) + 1) * sizeof(wchar_t));
  return SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(notice));
}

class ReconnectWin : public ::testing::Test {
 protected:
  void SetUp() override {
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, CountDeviceChanges, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(form_.Create());
    form_.Show(SW_SHOWNOACTIVATE);
    // The user ticks row 1, whose port is the scanner's COM8.
    form_.Logic().Skener(1)->SetPort(L"COM8");
    SendMessageW(form_.Control(OpenCheckBoxId(1)), BM_CLICK, 0, 0);
    ASSERT_EQ(Label(), L"Port status: Opened");
  }
  void TearDown() override {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    Cable("plug 2\n");  // the next test finds the cable in
  }

  std::wstring Label() const { return Text(form_.Control(StatusLabelId(1))); }
  // What a failure message needs to tell a flaw of the row from one of the harness.
  std::string State() {
    return "label \"" + Narrow(Label()) + "\", ticked " + (Ticked() ? "yes" : "no") +
           ", connected " + (form_.Logic().Skener(1)->Connected() ? "yes" : "no") +
           ", COM8 linked " + (ComLinked(L"com8") ? "yes" : "no") + ", status bar \"" +
           Narrow(StatusBar()) + "\"";
  }
  std::wstring StatusBar() const { return Text(form_.Control(quillet::app::kStatusBarId)); }
  bool Ticked() const {
    return IsDlgButtonChecked(form_.Handle(), OpenCheckBoxId(1)) == BST_CHECKED;
  }

  quillet::app::win32::Win32Services platform_;
  TForm1 form_{GetModuleHandleW(nullptr), platform_.Get()};
  HHOOK hook_ = nullptr;
};

TEST_F(ReconnectWin, APulledOutScannerPluggedBackInOpensByItselfAndItsScanArrives) {
  quillet::testsupport::Receiver receiver(g_receiver_path);
  ASSERT_TRUE(receiver.Started());
  ASSERT_TRUE(PumpUntil([&] { return receiver.Count("READY") > 0; }))
      << "the receiver never got the focus";
  HWND front = GetForegroundWindow();

  ASSERT_TRUE(Cable("unplug 2\n"));
  ASSERT_TRUE(PumpUntil([&] { return Label() == L"Port status: Error!"; }));
  EXPECT_TRUE(Ticked());
  EXPECT_FALSE(form_.Logic().Skener(1)->Connected()) << "the dead handle is released";

  const int notices = g_device_changes;
  ASSERT_TRUE(Cable("plug 2\n"));
  ASSERT_TRUE(PumpUntil([&] { return Label() == L"Port status: Opened"; })) << State();
  EXPECT_TRUE(form_.Logic().Skener(1)->Connected());
  EXPECT_EQ(StatusBar(), L"Reconnected: skener1, COM8");
  EXPECT_EQ(GetForegroundWindow(), front) << "the retry took the focus";
  std::printf("WM_DEVICECHANGE received while the device came back: %d\n",
              g_device_changes - notices);

  // The scanner sends at 9600 bit/s: about a byte a millisecond.
  HANDLE scanner = CreateFileW(L"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE) << GetLastError();
  const std::string barcode = "BACK-4711\r";
  for (const char byte : barcode) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(scanner, &byte, 1, &written, nullptr));
    Sleep(1);
  }
  const bool arrived =
      PumpUntil([&] { return receiver.Count("CHAR ") >= static_cast<int>(barcode.size()); });
  CloseHandle(scanner);
  ASSERT_TRUE(arrived) << "only " << receiver.Count("CHAR ") << " characters arrived";
  EXPECT_EQ(StatusBar(), L"Read device: skener1, COM8");
  const auto text = receiver.CloseAndReadText();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "004200410043004B002D0034003700310031000D000A");  // Enter reads CR LF
}

TEST_F(ReconnectWin, PortNoticesActAtOnce) {
  // A removal notice for the open port: dead at once, tick kept.
  EXPECT_EQ(SendPortNotice(form_.Handle(), DBT_DEVICEREMOVECOMPLETE, L"COM8"), TRUE);
  EXPECT_EQ(Label(), L"Port status: Error!");
  EXPECT_FALSE(form_.Logic().Skener(1)->Connected());
  EXPECT_TRUE(Ticked());
  // The device is there all along: the first retry opens it.
  ASSERT_TRUE(PumpUntil([&] { return Label() == L"Port status: Opened"; })) << State();

  // Pulled out for real, then back: the arrival notice opens it before any
  // timer could (no message is handled between the plug and the notice).
  ASSERT_TRUE(Cable("unplug 2\n"));
  ASSERT_TRUE(PumpUntil([&] { return Label() == L"Port status: Error!"; }));
  EXPECT_FALSE(ComLinked(L"com8"));
  ASSERT_TRUE(Cable("plug 2\n"));
  ASSERT_TRUE(WaitWithoutMessages([] { return ComLinked(L"com8"); }))
      << "the harness did not link COM8 again";
  SendPortNotice(form_.Handle(), DBT_DEVICEARRIVAL, L"com8");
  EXPECT_TRUE(form_.Logic().Skener(1)->Connected());
  EXPECT_EQ(Label(), L"Port status: Opened");
  EXPECT_EQ(StatusBar(), L"Reconnected: skener1, COM8");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_win_reconnect <receiver.exe>\n");
    return 2;
  }
  g_receiver_path = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
