// Settings per port as a user meets them: in Settings > Advanced the first
// row gets a suffix of its own ({TAB}, the next field), the second row has
// its own from the file (-2), and each scanner's codes end with their own
// row's suffix, also when both scan at once.
//
// Usage: quillet_e2e_perport <quillet.exe> <receiver.exe> [gtest flags], run
// through tests/support/wine-run with the pairs COM7:COM8 and COM5:COM6.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window_layout.h"
#include "app/win32/advanced_dialog.h"
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
using quillet::testsupport::Env;
using quillet::testsupport::Hex4;
using quillet::testsupport::Narrow;

namespace {

std::wstring g_exe;
std::wstring g_receiver;
constexpr DWORD kWaitMs = 20000;

class PerPortE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two rows that open by themselves; the second row already has its own
    // settings, the common ones end every scan with "-ALL".
    quillet::e2e::WriteFreshIni(
        "[skener1]\r\nPort=COM8\r\n[skener2]\r\nPort=COM6\r\n"
        "[Aktivacija]\r\ncbotvori1=1\r\ncbotvori2=1\r\n"
        "[Napredna]\r\ncbsufiks=1\r\nSufiks=-ALL\r\n"
        "[Napredna2]\r\ncbsufiks=1\r\nSufiks=-2\r\n");
    artifacts_ = Env(L"QUILLET_ARTIFACTS_WIN");
  }

  void Start() {
    program_ = std::make_unique<Program>(g_exe);
    ASSERT_TRUE(program_->Started());
    top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
    ASSERT_NE(top_, nullptr) << "no main window";
    ASSERT_TRUE(WaitUntil([&] { return ud::StatusBarText(top_) == L"Waiting for devices..."; }))
        << "status bar: " << Narrow(ud::StatusBarText(top_));
    for (int row : {1, 2})
      ASSERT_EQ(ud::Text(ud::FindControl(top_, L"lbstatus" + std::to_wstring(row))),
                L"Port status: Opened");
  }
  void Quit() {
    ud::Close(top_);
    const auto box = ud::WaitMessageBox(program_->Id(), kWaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"Close application?");
    ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
    EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  }
  void Send(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), message, wparam, lparam, SMTO_NORMAL, kWaitMs,
                        &ignored);
  }
  // "Settings for:" set to a choice as the user picks it from the list.
  void Choose(HWND dialog, int index) {
    Send(dialog, app::win32::kForm2Choice, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(app::win32::kForm2Choice, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, app::win32::kForm2Choice)),
                        SMTO_NORMAL, kWaitMs, &ignored);
  }

  std::wstring artifacts_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<quillet::testsupport::Receiver> receiver_ =
      std::make_unique<quillet::testsupport::Receiver>(g_receiver);
  HWND top_ = nullptr;
};

TEST_F(PerPortE2E, TwoPortsWithDifferentSuffixesEachGetTheirOwn) {
  ASSERT_TRUE(receiver_->Started());
  MoveReceiverAside(*receiver_);
  Scanner scanner1(L"COM7");  // row 1 (COM8)
  Scanner scanner2(L"COM5");  // row 2 (COM6)
  Start();

  // Row 1 gets a suffix of its own in the dialog: {TAB}, the next field.
  ASSERT_TRUE(ud::ChooseMenu(top_, L"Settings|Advanced"));
  HWND dialog = ud::WaitWindow(L"Advanced settings", L"TForm2", kWaitMs);
  ASSERT_NE(dialog, nullptr);
  HWND choice = GetDlgItem(dialog, app::win32::kForm2Choice);
  ASSERT_EQ(SendMessageW(choice, CB_GETCOUNT, 0, 0), 9);
  EXPECT_EQ(ud::Text(GetDlgItem(dialog, app::win32::kForm2Edsufiks)), L"-ALL");
  Choose(dialog, 1);
  // Without its own yet, the row starts from the settings for all ports.
  EXPECT_EQ(ud::Text(GetDlgItem(dialog, app::win32::kForm2Edsufiks)), L"-ALL");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, app::win32::kForm2UseCommon)));
  Send(dialog, app::win32::kForm2Edsufiks, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"{TAB}"));
  // The note says whose settings these are.
  const auto note = [&] { return ud::Text(GetDlgItem(dialog, app::win32::kForm2ChoiceNote)); };
  const std::wstring uses = L"skener1 uses the settings for all ports";
  EXPECT_TRUE(WaitUntil([&] { return note().find(uses) != std::wstring::npos; })) << Narrow(note());
  if (!artifacts_.empty()) {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(1000);
    ud::SaveScreenshot(dialog, artifacts_ + L"\\perport_advanced_row1.bmp");
  }
  ud::Click(GetDlgItem(dialog, app::win32::kForm2Btnzatvori));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); })) << "Save && Close did not close";
  const std::string ini = quillet::e2e::ReadFile(quillet::e2e::IniPath());
  for (const char* line : {"[Napredna1]", "Sufiks={TAB}", "[Napredna2]", "Sufiks=-2"})
    EXPECT_NE(ini.find(line), std::string::npos) << line << " missing from\n" << ini;

  // One scan each: each ends with its own row's suffix.
  FocusReceiver(*receiver_);
  int chars = receiver_->Count("CHAR ");
  const int tabs = receiver_->Count("KEYDOWN 09");
  ASSERT_TRUE(scanner1.Scan("AB12\r"));
  EXPECT_EQ(Typed(*receiver_, chars, 6), Hex4("AB12\t\r"));
  EXPECT_EQ(receiver_->Count("KEYDOWN 09"), tabs + 1) << "the Tab is a key press";
  chars = receiver_->Count("CHAR ");
  ASSERT_TRUE(scanner2.Scan("CD34\r"));
  EXPECT_EQ(Typed(*receiver_, chars, 7), Hex4("CD34-2\r"));

  // Both at once, byte by byte in turn: each scan whole, each with its own.
  chars = receiver_->Count("CHAR ");
  const std::string first = "EF56\r", second = "GH78\r";
  for (std::size_t i = 0; i < first.size(); ++i) {
    ASSERT_TRUE(scanner1.Send(first[i]));
    ASSERT_TRUE(scanner2.Send(second[i]));
    Sleep(1);
  }
  const std::string both = Typed(*receiver_, chars, 13);
  EXPECT_TRUE(both == Hex4("EF56\t\rGH78-2\r") || both == Hex4("GH78-2\rEF56\t\r")) << both;

  Quit();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_perport <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
