// The device console as a user meets it: rows ticked by hand, scans typed into
// the focused receiver window, Save, a restart that reopens the same rows, a
// scanner pulled out, Ports > Close, and Run Minimized hiding the program in
// the notification area until its icon is clicked.
//
// Usage: quillet_e2e_console <quillet.exe> <receiver.exe> [gtest flags], run
// through tests/support/wine-run with the pairs COM7:COM8 and COM5:COM6.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window_layout.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
#include "tests/e2e/support/e2e_receiver.h"
#include "tests/e2e/support/e2e_scanner.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_test_env.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
using quillet::e2e::FocusReceiver;
using quillet::e2e::MoveReceiverAside;
using quillet::e2e::Program;
using quillet::e2e::Scanner;
using quillet::e2e::Typed;
using quillet::e2e::WaitUntil;

namespace {

using quillet::testsupport::Cable;
using quillet::testsupport::Env;
using quillet::testsupport::Hex4;

std::wstring g_exe;
std::wstring g_receiver;
constexpr DWORD kWaitMs = 20000;

class ConsoleE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    // Port names as the settings dialog would have saved them; nothing open yet.
    quillet::e2e::WriteFreshIni(
        "[skener1]\r\nPort=COM8\r\n[skener2]\r\nPort=COM6\r\n[skener3]\r\nPort=COM30\r\n");
    artifacts_ = Env(L"QUILLET_ARTIFACTS_WIN");
  }

  // Starts quillet.exe and waits until its automatic opening has run.
  void Start() {
    program_ = std::make_unique<Program>(g_exe);
    ASSERT_TRUE(program_->Started());
    top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
    ASSERT_NE(top_, nullptr) << "no main window";
    ASSERT_TRUE(WaitUntil([&] { return ud::StatusBarText(top_) == L"Waiting for devices..."; }))
        << "status bar: " << Narrow(ud::StatusBarText(top_));
  }
  // Answers "Close application?" with Yes and waits for the exit.
  void Quit() {
    ud::Close(top_);
    const auto box = ud::WaitMessageBox(program_->Id(), kWaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"Close application?");
    ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
    EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  }

  HWND Row(const wchar_t* prefix, int row) const {
    return ud::FindControl(top_, prefix + std::to_wstring(row));
  }
  std::wstring Label(int row) const { return ud::Text(Row(L"lbstatus", row)); }
  bool LabelBecomes(int row, const std::wstring& text) const {
    return WaitUntil([&] { return Label(row) == text; });
  }
  void Tick(int row) { ud::Click(Row(L"cbotvori", row)); }

  void Screenshot(const wchar_t* name) {
    if (artifacts_.empty()) return;
    Sleep(300);  // let the last change paint
    ud::SaveScreenshot(top_, artifacts_ + L"\\" + name);
  }

  static std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
  }

  std::wstring artifacts_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<quillet::testsupport::Receiver> receiver_ =
      std::make_unique<quillet::testsupport::Receiver>(g_receiver);
  HWND top_ = nullptr;
};

TEST_F(ConsoleE2E, ScannersTypeSurviveARestartAndAPulledCable) {
  ASSERT_TRUE(receiver_->Started());
  MoveReceiverAside(*receiver_);
  Scanner scanner1(L"COM7");  // types into row 1 (COM8)
  Scanner scanner2(L"COM5");  // types into row 2 (COM6)
  Start();

  // Ticking rows: two scanners open, one port that does not exist.
  Tick(1);
  ASSERT_TRUE(LabelBecomes(1, L"Port status: Opened")) << Narrow(Label(1));
  Tick(3);
  ASSERT_TRUE(LabelBecomes(3, L"Port status: Error!")) << Narrow(Label(3));
  EXPECT_TRUE(ud::IsChecked(Row(L"cbotvori", 3))) << "the box stays ticked";
  Tick(2);
  ASSERT_TRUE(LabelBecomes(2, L"Port status: Opened")) << Narrow(Label(2));
  Screenshot(L"console_rows_opened_error_closed.bmp");

  // A scan is typed into the focused window and the status bar names the port.
  FocusReceiver(*receiver_);
  int chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner1.Scan("ABC-123\r"));
  EXPECT_EQ(Typed(*receiver_, chars, 8), Hex4("ABC-123\r"));
  EXPECT_TRUE(WaitUntil([&] { return ud::StatusBarText(top_) == L"Read device: skener1, COM8"; }))
      << Narrow(ud::StatusBarText(top_));

  // Save: the port sections and the open states go into the file.
  Tick(3);
  ASSERT_TRUE(LabelBecomes(3, L"Port status: Closed"));
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Settings|Save"));
  const auto saved = ud::WaitMessageBox(program_->Id(), kWaitMs);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->text, L"Saved!");
  ud::AnswerMessageBox(*saved, IDOK);
  const std::string ini = quillet::e2e::ReadFile(quillet::e2e::IniPath());
  for (const char* line :
       {"[skener1]", "Port=COM8", "[skener2]", "Port=COM6", "BaudRate=9600", "[Aktivacija]",
        "cbotvori1=1", "cbotvori2=1", "cbotvori3=0", "[skener8]"}) {
    EXPECT_NE(ini.find(line), std::string::npos) << line << " missing from\n" << ini;
  }

  // Quit and start again: the same rows reopen by themselves and scanning works.
  Quit();
  Start();
  EXPECT_EQ(Label(1), L"Port status: Opened");
  EXPECT_EQ(Label(2), L"Port status: Opened");
  EXPECT_EQ(Label(3), L"Port status: Closed");
  FocusReceiver(*receiver_);
  chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner2.Scan("456\r"));
  EXPECT_EQ(Typed(*receiver_, chars, 4), Hex4("456\r"));
  EXPECT_EQ(ud::StatusBarText(top_), L"Read device: skener2, COM6");

  // Pull the first scanner's cable: its row shows the error, the other types on.
  ASSERT_TRUE(Cable("unplug 2\n"));
  ASSERT_TRUE(LabelBecomes(1, L"Port status: Error!")) << Narrow(Label(1));
  Screenshot(L"console_row_device_gone.bmp");
  chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner2.Scan("789\r"));
  EXPECT_EQ(Typed(*receiver_, chars, 4), Hex4("789\r"));

  // Ports > Close closes everything, the dead port too.
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Ports|Close"));
  for (int row = 1; row <= app::kRowCount; ++row) {
    EXPECT_TRUE(LabelBecomes(row, L"Port status: Closed")) << row << ": " << Narrow(Label(row));
    EXPECT_FALSE(ud::IsChecked(Row(L"cbotvori", row))) << row;
  }
  EXPECT_EQ(ud::StatusBarText(top_), L"");
  Screenshot(L"console_all_closed.bmp");
  ASSERT_TRUE(Cable("plug 2\n"));

  // Run Minimized, then Ports > Open: the stored rows open and, with none in
  // error, the program hides in the notification area.
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Settings|Run Minimized"));
  EXPECT_TRUE(WaitUntil([] {
    return quillet::e2e::ReadFile(quillet::e2e::IniPath()).find("RunMinimized=1") !=
           std::string::npos;
  })) << "Run Minimized was not stored";
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Ports|Open"));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(top_); })) << "the window was not hidden";
  EXPECT_TRUE(IsIconic(top_));
  EXPECT_EQ(Label(1), L"Port status: Opened");
  EXPECT_EQ(Label(2), L"Port status: Opened");
  if (!artifacts_.empty()) {
    // The tray icon and its balloon, as the screen shows them.
    ud::SaveScreenshot(GetDesktopWindow(), artifacts_ + L"\\console_hidden_in_tray.bmp");
  }

  // A left click on the tray icon brings the window back.
  HWND tray = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    tray = FindWindowExW(nullptr, nullptr, L"QuilletTrayIconWindow", nullptr);
    return tray != nullptr && ud::ProcessOf(tray) == program_->Id();
  }));
  PostMessageW(tray, WM_USER + 1, 1, WM_LBUTTONDOWN);
  PostMessageW(tray, WM_USER + 1, 1, WM_LBUTTONUP);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(top_) && !IsIconic(top_); }))
      << "not restored";

  Quit();
}

TEST_F(ConsoleE2E, TheAdvancedSettingsShapeEveryScanAndStillApplyAfterARestart) {
  ASSERT_TRUE(receiver_->Started());
  MoveReceiverAside(*receiver_);
  Scanner scanner1(L"COM7");  // types into row 1 (COM8)
  Start();

  // Settings > Advanced is in the menu: a prefix, and CR as every scan's ending.
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Settings|Advanced"));
  HWND dialog = ud::WaitWindow(L"Advanced settings", L"TForm2", kWaitMs);
  ASSERT_NE(dialog, nullptr) << "Settings > Advanced showed no dialog";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, 3101), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"PRE-"),
                      SMTO_NORMAL, kWaitMs, &ignored);
  ud::Click(GetDlgItem(dialog, 3103));  // Add prefix
  ud::Click(GetDlgItem(dialog, 3105));  // CR
  ASSERT_TRUE(WaitUntil([&] {
    return ud::IsChecked(GetDlgItem(dialog, 3103)) && ud::IsChecked(GetDlgItem(dialog, 3105));
  }));
  if (!artifacts_.empty())
    ud::SaveScreenshot(dialog, artifacts_ + L"\\console_advanced_prefix_cr.bmp");
  ud::Click(GetDlgItem(dialog, 3110));  // Save && Close
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); })) << "Save && Close did not close";
  const std::string ini = quillet::e2e::ReadFile(quillet::e2e::IniPath());
  for (const char* line : {"[Napredna]", "Prefiks=PRE-", "cbprefiks=1", "cbCR=1", "cbLF=0"})
    EXPECT_NE(ini.find(line), std::string::npos) << line << " missing from\n" << ini;

  // A scan ending in LF is typed with the prefix and CR in place of its LF.
  Tick(1);
  ASSERT_TRUE(LabelBecomes(1, L"Port status: Opened")) << Narrow(Label(1));
  FocusReceiver(*receiver_);
  int chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner1.Scan("12345\n"));
  EXPECT_EQ(Typed(*receiver_, chars, 10), Hex4("PRE-12345\r"));

  // After a restart (row 1 reopens by itself) the settings still shape scans.
  Quit();
  Start();
  EXPECT_EQ(Label(1), L"Port status: Opened");
  FocusReceiver(*receiver_);
  chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner1.Scan("678\n"));
  EXPECT_EQ(Typed(*receiver_, chars, 8), Hex4("PRE-678\r"));
  EXPECT_EQ(ud::StatusBarText(top_), L"Read device: skener1, COM8");
  Quit();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_console <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
