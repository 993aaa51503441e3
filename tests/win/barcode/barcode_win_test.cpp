// One scanned barcode end to end: bytes written on the scanner's side of a
// null-modem pair go through skener1's event thread, the hand-over, the main
// window's received-data handler and the typing routine into the receiver,
// while the status bar names the port.
//
// Usage: quillet_win_barcode <path of receiver.exe> [gtest flags]; run through
// tests/support/wine-run with the pair COM7 <-> COM8.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/main_window_layout.h"
#include "app/win32/main_window.h"
#include "app/win32/win32_services.h"
#include "tests/support/message_pump.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_path.h"

namespace {

using quillet::testsupport::WindowsPath;

std::wstring g_receiver_path;
constexpr DWORD kDeadlineMs = 20000;

bool PumpUntil(const std::function<bool()>& done) {
  return quillet::testsupport::PumpUntil(done, kDeadlineMs, 50);
}

std::wstring StatusBarText(HWND form) {
  wchar_t text[256] = {};
  GetWindowTextW(GetDlgItem(form, quillet::app::kStatusBarId), text, 256);
  return text;
}

TEST(BarcodeRoad, AScannedBarcodeIsTypedWhileTheStatusBarNamesThePort) {
  quillet::app::win32::Win32Services platform;
  quillet::app::win32::TForm1 form(GetModuleHandleW(nullptr), platform.Get());
  ASSERT_TRUE(form.Create());
  form.Show(SW_SHOWNOACTIVATE);

  // The user ticks row 1 of a port set to the scanner's COM8.
  form.Logic().Skener(1)->SetPort(L"COM8");
  SendMessageW(form.Control(quillet::app::OpenCheckBoxId(1)), BM_CLICK, 0, 0);
  ASSERT_TRUE(form.Logic().Skener(1)->Connected());
  wchar_t label[64] = {};
  GetWindowTextW(form.Control(quillet::app::StatusLabelId(1)), label, 64);
  EXPECT_STREQ(label, L"Port status: Opened");

  quillet::testsupport::Receiver receiver(g_receiver_path);
  ASSERT_TRUE(receiver.Started());
  ASSERT_TRUE(PumpUntil([&] { return receiver.Count("READY") > 0; }))
      << "the receiver never got the focus";

  HANDLE scanner = CreateFileW(L"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE) << GetLastError();
  const char barcode[] = "ABC-123\r";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(scanner, barcode, sizeof barcode - 1, &written, nullptr));

  std::wstring status_at_arrival;
  ASSERT_TRUE(PumpUntil([&] {
    if (receiver.Count("CHAR ") < 8) return false;
    status_at_arrival = StatusBarText(form.Handle());
    return true;
  })) << "only "
      << receiver.Count("CHAR ") << " characters arrived";
  CloseHandle(scanner);
  EXPECT_EQ(status_at_arrival, L"Read device: skener1, COM8");
  const auto text = receiver.CloseAndReadText();
  ASSERT_TRUE(text);
  // An Enter typed into the edit box reads CR LF.
  EXPECT_EQ(*text, "004100420043002D003100320033000D000A");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_win_barcode <receiver.exe>\n");
    return 2;
  }
  g_receiver_path = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
