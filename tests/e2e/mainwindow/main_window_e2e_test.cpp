// First start of the real program with no configuration, then the two ways
// of closing it: the main window's rows, menu and status bar as the layout
// table gives them, "Close application?" answered No and then Yes; and the
// same question at log-off.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "app/error_box.h"
#include "app/main_window_layout.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
namespace fs = std::filesystem;

namespace {

using quillet::e2e::AppData;
using quillet::e2e::IniPath;
using quillet::e2e::Program;
using quillet::e2e::ReadFile;
using quillet::e2e::WindowsPath;

std::wstring g_exe;
std::wstring g_artifacts;
constexpr DWORD kWaitMs = 20000;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char ch : text) {
    if (ch == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (ch != '\r') {
      line.push_back(ch);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void ExpectRect(HWND top, const wchar_t* name, int dpi, bool sized_to_text) {
  HWND control = ud::FindControl(top, name);
  ASSERT_NE(control, nullptr) << name;
  const app::LayoutRect want = app::ScaleForDpi(app::FindControl(name)->bounds, dpi);
  const RECT got = ud::RectInClient(top, control);
  EXPECT_NEAR(got.left, want.left, 1) << name;
  EXPECT_NEAR(got.top, want.top, 1) << name;
  EXPECT_NEAR(got.bottom - got.top, want.height, 1) << name;
  if (sized_to_text) {
    EXPECT_GT(got.right - got.left, 0) << name;
  } else {
    EXPECT_NEAR(got.right - got.left, want.width, 1) << name;
  }
}

TEST(MainWindowE2E, FirstStartShowsEmptyRowsAndClosingAsksFirst) {
  const fs::path brovana = AppData() / L"Brovana";
  std::error_code ignored;
  fs::remove_all(brovana, ignored);
  const fs::path ini = brovana / L"Quillet" / L"skeneri.ini";

  Program program(g_exe);
  ASSERT_TRUE(program.Started()) << "cannot start quillet.exe";
  HWND top = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
  ASSERT_NE(top, nullptr) << "no main window";
  EXPECT_EQ(ud::ProcessOf(top), program.Id());

  const int dpi = ud::Dpi();
  const RECT client = ud::ClientRect(top);
  EXPECT_EQ(client.right, app::ScaleForDpi(app::kClientWidth, dpi));
  EXPECT_EQ(client.bottom, app::ScaleForDpi(app::kClientHeight, dpi));

  for (int row = 1; row <= app::kRowCount; ++row) {
    const std::wstring n = std::to_wstring(row);
    const std::wstring button = L"btnskener" + n;
    const std::wstring label = L"lbstatus" + n;
    const std::wstring box = L"cbotvori" + n;
    EXPECT_EQ(ud::Text(ud::FindControl(top, button)), app::FindControl(button)->caption);
    EXPECT_EQ(ud::Text(ud::FindControl(top, label)), L"Port status:");
    EXPECT_EQ(ud::Text(ud::FindControl(top, box)), L"Open");
    EXPECT_FALSE(ud::IsChecked(ud::FindControl(top, box))) << row;
    ExpectRect(top, button.c_str(), dpi, false);
    ExpectRect(top, label.c_str(), dpi, true);
    ExpectRect(top, box.c_str(), dpi, false);
  }
  ExpectRect(top, L"StatusBar1", dpi, false);
  ExpectRect(top, L"Label2", dpi, false);
  EXPECT_EQ(ud::Text(ud::FindControl(top, L"Label1")), L"From serial ports...");
  EXPECT_EQ(ud::Text(ud::FindControl(top, L"lbkeyboard")), L"...emulate keyboard...");
  EXPECT_EQ(ud::Text(ud::FindControl(top, L"Label2")), L"...to any focused text-based input ");
  EXPECT_EQ(ud::StatusBarText(top), L"");

  const std::vector<std::wstring> menus = ud::MenuPaths(top);
  const std::vector<std::wstring> expected_menus = {
      L"File|Close",
      L"Settings|Save",
      L"Settings|Load",
      L"Settings|Run Minimized",
      L"Settings|Start with Windows",
      L"Settings|-",
      L"Settings|Advanced",
      L"Ports|Close",
      L"Ports|Open",
      L"Ports|Monitor",
      L"Help|Help",
      L"Help|About...",
  };
  EXPECT_EQ(menus, expected_menus);

  EXPECT_TRUE(fs::is_directory(brovana / L"Quillet")) << "configuration folder not created";
  ud::SaveScreenshot(top, g_artifacts + L"\\mainwindow_first_start.bmp");

  // File > Close, answered No: nothing changes.
  ASSERT_TRUE(ud::ChooseMenu(top, L"File|Close"));
  auto box = ud::WaitMessageBox(program.Id(), kWaitMs);
  ASSERT_TRUE(box.has_value()) << "no close question";
  EXPECT_EQ(box->text, L"Close application?");
  EXPECT_EQ(box->title, app::ApplicationTitle(g_exe));
  ud::SaveScreenshot(box->window, g_artifacts + L"\\mainwindow_close_question.bmp");
  ASSERT_TRUE(ud::AnswerMessageBox(*box, IDNO));
  EXPECT_EQ(program.WaitExit(1500), -1) << "the program ended after No";
  EXPECT_TRUE(IsWindow(top));
  EXPECT_FALSE(fs::exists(ini));

  // Title-bar close, answered Yes: the open states are written, exit code 0.
  ud::SystemClose(top);
  box = ud::WaitMessageBox(program.Id(), kWaitMs);
  ASSERT_TRUE(box.has_value()) << "no close question for the title-bar close";
  EXPECT_EQ(box->text, L"Close application?");
  ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
  EXPECT_EQ(program.WaitExit(kWaitMs), 0);

  std::vector<std::string> expected_lines = {"[Aktivacija]"};
  for (int row = 1; row <= app::kRowCount; ++row)
    expected_lines.push_back("cbotvori" + std::to_string(row) + "=0");
  EXPECT_EQ(Lines(ReadFile(ini)), expected_lines);
}

// The system's log-off query blocks until the question is answered, so it
// is sent from another thread while this one answers.
LRESULT QueryEndSession(HWND top, DWORD process_id, int answer) {
  auto reply = std::async(std::launch::async, [top] {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(top, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &result);
    return static_cast<LRESULT>(result);
  });
  const auto box = ud::WaitMessageBox(process_id, kWaitMs);
  EXPECT_TRUE(box.has_value()) << "no question at log-off";
  if (box) {
    EXPECT_EQ(box->text, L"Close application?");
    ud::AnswerMessageBox(*box, answer);
  }
  return reply.get();
}

TEST(MainWindowE2E, LogOffAsksTheSameQuestionAndWritesTheOpenStates) {
  const fs::path ini = AppData() / L"Brovana" / L"Quillet" / L"skeneri.ini";
  std::error_code ignored;
  fs::remove(ini, ignored);

  Program program(g_exe);
  ASSERT_TRUE(program.Started());
  HWND top = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
  ASSERT_NE(top, nullptr);
  HWND box3 = ud::FindControl(top, L"cbotvori3");
  ASSERT_NE(box3, nullptr);
  ud::Click(box3);
  // A port that cannot open leaves its box ticked, so the tick stays either way.
  for (int i = 0; i < 100 && !ud::IsChecked(box3); ++i) Sleep(50);
  ASSERT_TRUE(ud::IsChecked(box3));

  EXPECT_EQ(QueryEndSession(top, program.Id(), IDNO), FALSE) << "No must refuse the log-off";
  EXPECT_TRUE(program.Running());
  EXPECT_FALSE(fs::exists(ini));

  EXPECT_EQ(QueryEndSession(top, program.Id(), IDYES), TRUE);
  DWORD_PTR ignored_result = 0;
  SendMessageTimeoutW(top, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kWaitMs,
                      &ignored_result);

  std::vector<std::string> expected_lines = {"[Aktivacija]"};
  for (int row = 1; row <= app::kRowCount; ++row) {
    expected_lines.push_back("cbotvori" + std::to_string(row) + (row == 3 ? "=1" : "=0"));
  }
  EXPECT_EQ(Lines(ReadFile(ini)), expected_lines);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_mainwindow <quillet.exe> <artifacts folder>\n");
    return 2;
  }
  g_exe = WindowsPath(argv[1]);
  g_artifacts = WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
