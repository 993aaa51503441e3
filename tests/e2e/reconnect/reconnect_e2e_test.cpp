// A scanner plugged in after start-up, as a user meets it: quillet.exe starts
// at log-on with row 1 stored open on COM8 and Run Minimized ticked, but the
// scanner is not there yet. Five seconds later it is plugged in (the harness
// links a new pseudo-terminal as COM8); nobody touches the program, row 1
// opens by itself, the focus stays in the receiver window, the main window
// stays where it is, and a scan is typed.
//
// Usage: quillet_e2e_reconnect <quillet.exe> <receiver.exe> [gtest flags],
// run through tests/support/wine-run with the pair COM7:COM8.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window_layout.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_test_env.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
namespace fs = std::filesystem;
using quillet::e2e::Program;
using quillet::e2e::WaitUntil;

namespace {

using quillet::testsupport::Cable;
using quillet::testsupport::ComLinked;
using quillet::testsupport::Env;
using quillet::testsupport::Hex4;
using quillet::testsupport::Narrow;

std::wstring g_exe;
std::wstring g_receiver;
constexpr DWORD kWaitMs = 20000;

class ReconnectE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    quillet::e2e::WriteFreshIni(
        "[skener1]\r\nPort=COM8\r\n[Aktivacija]\r\ncbotvori1=1\r\n[Startup]\r\nRunMinimized="
        "1\r\n");
    artifacts_ = Env(L"QUILLET_ARTIFACTS_WIN");
  }
  void TearDown() override {
    Cable("plug 2\n");
    std::error_code ignored;
    fs::remove_all(quillet::e2e::AppData() / L"Brovana", ignored);
  }

  std::wstring Label(int row) const {
    return ud::Text(ud::FindControl(top_, L"lbstatus" + std::to_wstring(row)));
  }
  void Screenshot(const wchar_t* name) {
    if (artifacts_.empty()) return;
    Sleep(300);  // let the last change paint
    ud::SaveScreenshot(top_, artifacts_ + L"\\" + name);
  }

  std::wstring artifacts_;
  HWND top_ = nullptr;
};

TEST_F(ReconnectE2E, ARowStoredOpenWaitsForItsScannerAndOpensWhenItIsPluggedIn) {
  ASSERT_TRUE(Cable("unplug 2\n"));
  ASSERT_TRUE(WaitUntil([] { return !ComLinked(L"com8"); })) << "COM8 is still there";

  quillet::testsupport::Receiver receiver(g_receiver);
  ASSERT_TRUE(receiver.Started());
  HWND receiver_window = receiver.Window();
  ASSERT_NE(receiver_window, nullptr);
  SetWindowPos(receiver_window, nullptr, 0, GetSystemMetrics(SM_CYSCREEN) - 200, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);

  Program program(g_exe);
  ASSERT_TRUE(program.Started());
  top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
  ASSERT_NE(top_, nullptr) << "no main window";
  ASSERT_TRUE(WaitUntil([&] { return ud::StatusBarText(top_) == L"Waiting for devices..."; }))
      << Narrow(ud::StatusBarText(top_));
  EXPECT_EQ(Label(1), L"Port status: Error!");
  EXPECT_TRUE(ud::IsChecked(ud::FindControl(top_, L"cbotvori1")));
  EXPECT_TRUE(IsWindowVisible(top_)) << "a row in error keeps the window up";
  Screenshot(L"reconnect_waiting_for_device.bmp");

  // The user works in another program meanwhile.
  ASSERT_TRUE(WaitUntil([&] {
    if (GetForegroundWindow() == receiver_window) return true;
    SetForegroundWindow(receiver_window);
    return false;
  })) << "the receiver cannot get the foreground";
  const bool visible = IsWindowVisible(top_) != FALSE;
  const bool iconic = IsIconic(top_) != FALSE;

  Sleep(5000);  // the scanner is plugged in five seconds later
  EXPECT_EQ(Label(1), L"Port status: Error!") << "opened without a device";
  ASSERT_TRUE(Cable("plug 2\n"));
  ASSERT_TRUE(WaitUntil([&] { return Label(1) == L"Port status: Opened"; })) << Narrow(Label(1));
  EXPECT_EQ(ud::StatusBarText(top_), L"Reconnected: skener1, COM8");
  EXPECT_EQ(GetForegroundWindow(), receiver_window) << "the reconnection took the focus";
  EXPECT_EQ(IsWindowVisible(top_) != FALSE, visible);
  EXPECT_EQ(IsIconic(top_) != FALSE, iconic);
  EXPECT_FALSE(ud::WaitMessageBox(program.Id(), 500).has_value()) << "a message box appeared";
  Screenshot(L"reconnect_opened_by_itself.bmp");

  // A scan at the line's pace, about a byte a millisecond.
  HANDLE scanner = CreateFileW(L"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE) << GetLastError();
  const int before = receiver.Count("CHAR ");
  const std::string barcode = "LATE-2024\r";
  for (const char byte : barcode) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(scanner, &byte, 1, &written, nullptr));
    Sleep(1);
  }
  CloseHandle(scanner);
  ASSERT_TRUE(receiver.WaitForCount("CHAR ", before + static_cast<int>(barcode.size())))
      << "only " << receiver.Count("CHAR ") - before << " characters arrived";
  std::string hex;
  int seen = 0;
  for (const auto& line : receiver.Lines()) {
    if (line.rfind("CHAR ", 0) == 0 && seen++ >= before) hex += line.substr(5);
  }
  EXPECT_EQ(hex, Hex4(barcode));
  EXPECT_TRUE(WaitUntil([&] { return ud::StatusBarText(top_) == L"Read device: skener1, COM8"; }))
      << Narrow(ud::StatusBarText(top_));

  ud::Close(top_);
  const auto box = ud::WaitMessageBox(program.Id(), kWaitMs);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"Close application?");
  ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
  EXPECT_EQ(program.WaitExit(kWaitMs), 0);
  const std::string ini = quillet::e2e::ReadFile(quillet::e2e::IniPath());
  EXPECT_NE(ini.find("cbotvori1=1"), std::string::npos) << ini;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_reconnect <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
