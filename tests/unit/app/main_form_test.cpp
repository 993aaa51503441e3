#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window_logic.h"
#include "config/ini_file.h"
#include "os/exception.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/profile_sim.h"
#include "os/sim/serial_sim.h"
#include "os/sim/shell_sim.h"
#include "tests/unit/app/main_form_fixture.h"

namespace quillet::app {
namespace {

using test::FakeDialog;
using test::MainFormTest;
namespace fs = std::filesystem;

TEST_F(MainFormTest, FirstStartMakesEightNamedPortsAndTheFolderButArmsNothing) {
  form_.RunHandler([&] { form_.FormCreate(); });
  form_.RunHandler([&] { form_.FormShow(); });

  EXPECT_TRUE(view_.errors.empty());
  // The status labels and check boxes come first, the ports last.
  ASSERT_EQ(form_.Root().ComponentCount(), 24);
  for (int row = 1; row <= 8; ++row) {
    serial::TComPort* port = form_.Skener(row);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(form_.Root().Components(row - 1)->Name(), L"lbstatus" + std::to_wstring(row));
    EXPECT_EQ(form_.Root().Components(row + 7)->Name(), L"cbotvori" + std::to_wstring(row));
    EXPECT_EQ(form_.Root().Components(row + 15), port) << "creation order";
    EXPECT_EQ(port->Name(), L"skener" + std::to_wstring(row));
    EXPECT_EQ(port->Owner(), &form_.Root());
    EXPECT_TRUE(static_cast<bool>(port->OnRxChar())) << row;
    EXPECT_FALSE(port->Connected());
  }
  EXPECT_EQ(form_.Root().FindComponent(L"SKENER5"), form_.Skener(5));
  EXPECT_TRUE(fs::is_directory(ConfigFolder()));
  EXPECT_FALSE(fs::exists(IniPath()));
  EXPECT_FALSE(view_.timer1);
  EXPECT_TRUE(view_.keyboard_button_face);
  EXPECT_EQ(form_.PortError(), (std::array<bool, 8>{}));
}

TEST_F(MainFormTest, StartWithAConfigurationFileLoadsItAndArmsTimer1) {
  WriteIni("[Aktivacija]\r\ncbotvori1=1\r\n");
  form_.RunHandler([&] { form_.FormCreate(); });
  // Before the window is shown: every row reads closed, the status bar "Loading...".
  for (const auto& label : view_.labels) EXPECT_EQ(label.text, L"Port status: Closed");
  EXPECT_EQ(view_.status, L"Loading...");
  EXPECT_TRUE(view_.timer1);
  view_.timer1 = false;
  form_.RunHandler([&] { form_.FormShow(); });
  EXPECT_TRUE(view_.timer1) << "showing arms it as well";
}

TEST_F(MainFormTest, NoToTheCloseQuestionKeepsEverythingAsItWas) {
  form_.FormCreate();
  view_.answer_yes = false;
  view_.ticks = {true, false, true, false, false, false, false, true};

  EXPECT_FALSE(form_.CloseRequested());
  EXPECT_FALSE(form_.QueryEndSession());

  EXPECT_EQ(view_.questions,
            (std::vector<std::wstring>{L"Close application?", L"Close application?"}));
  EXPECT_FALSE(fs::exists(IniPath()));
  EXPECT_TRUE(view_.errors.empty());
}

TEST_F(MainFormTest, YesWritesTheEightOpenStatesAndNothingElse) {
  form_.FormCreate();
  view_.ticks = {true, false, true, false, false, false, false, true};

  EXPECT_TRUE(form_.CloseRequested());

  EXPECT_TRUE(view_.errors.empty());
  for (int row = 1; row <= 8; ++row) EXPECT_EQ(StoredFlag(row), view_.ticks[row - 1]) << row;
  config::TIniFile ini(profile_, IniWindowsPath());
  EXPECT_EQ(ini.ReadString(L"skener1", L"Port", L"none"), L"none")
      << "port settings are only saved by Save";
}

TEST_F(MainFormTest, ClosingUpdatesStoredStatesInPlace) {
  WriteIni("[Startup]\r\nRunMinimized=1\r\n[Aktivacija]\r\ncbotvori2=1\r\ncbotvori7=1\r\n");
  form_.FormCreate();
  view_.ticks = {false, false, false, false, false, false, true, false};
  ASSERT_TRUE(form_.CloseRequested());
  for (int row = 1; row <= 8; ++row) EXPECT_EQ(StoredFlag(row), row == 7) << row;
  config::TIniFile ini(profile_, IniWindowsPath());
  EXPECT_TRUE(ini.ReadBool(L"Startup", L"RunMinimized", false));
}

TEST_F(MainFormTest, AnUnwritableFileIsReportedAndTheProgramStillCloses) {
  // "Brovana" is a file, so neither the folder nor the ini file can exist.
  std::ofstream(root_ / "AppData" / "Brovana") << "in the way";
  form_.RunHandler([&] { form_.FormCreate(); });
  EXPECT_TRUE(view_.errors.empty()) << "a folder that cannot be made is not reported";

  EXPECT_TRUE(form_.CloseRequested());
  EXPECT_EQ(view_.errors, (std::vector<std::wstring>{L"Unable to write to " + IniWindowsPath()}));
}

TEST_F(MainFormTest, EndOfSessionWritesTheStatesOnlyWhenItGoesAhead) {
  form_.FormCreate();
  view_.ticks = {false, true, false, false, false, false, false, false};
  form_.EndSession(false);
  EXPECT_FALSE(fs::exists(IniPath()));
  form_.EndSession(true);
  EXPECT_TRUE(StoredFlag(2));
  EXPECT_FALSE(StoredFlag(1));
  EXPECT_TRUE(view_.questions.empty()) << "the question came with the session query";
}

TEST_F(MainFormTest, FileCloseAsksTheWindowToClose) {
  form_.Zatvori1Click();
  EXPECT_EQ(view_.close_requests, 1);
  EXPECT_TRUE(view_.questions.empty());
}

TEST_F(MainFormTest, DialogsAreShownModallyOnlyWhenNotShowingAlready) {
  form_.About1Click();  // no box yet: nothing
  form_.Advanced1Click();
  FakeDialog form2;
  FakeDialog form3;
  form_.SetAdvancedDialog(&form2);
  form_.SetAboutBox(&form3);
  form_.About1Click();
  form3.showing = true;
  form_.About1Click();
  form_.Advanced1Click();
  EXPECT_EQ(form3.shown, 1);
  EXPECT_EQ(form2.shown, 1);
}

TEST_F(MainFormTest, AnErrorThatEndsAHandlerGoesToTheErrorBox) {
  EXPECT_FALSE(form_.RunHandler([] { throw Exception(L"Failed to load settings"); }));
  EXPECT_FALSE(form_.RunHandler([] { throw std::runtime_error("bad thing"); }));
  EXPECT_TRUE(form_.RunHandler([] {}));
  EXPECT_EQ(view_.errors, (std::vector<std::wstring>{L"Failed to load settings", L"bad thing"}));
}

}  // namespace
}  // namespace quillet::app
