#include "app/main_form.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "os/exception.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/profile_sim.h"
#include "os/sim/serial_sim.h"
#include "os/sim/shell_sim.h"

namespace quillet::app {
namespace {

namespace fs = std::filesystem;

class RecordingView final : public MainView {
 public:
  bool AskYesNo(const std::wstring& text) override {
    questions.push_back(text);
    return answer_yes;
  }
  void ShowError(const std::wstring& message) override { errors.push_back(message); }
  bool Timer1Enabled() const override { return timer1; }
  void SetTimer1Enabled(bool enabled) override { timer1 = enabled; }
  bool OpenChecked(int row) const override { return ticks.at(row - 1); }
  void SetKeyboardCaptionToButtonFace() override { keyboard_button_face = true; }
  void RequestClose() override { ++close_requests; }

  bool answer_yes = true;
  std::array<bool, 8> ticks{};
  std::vector<std::wstring> questions;
  std::vector<std::wstring> errors;
  bool timer1 = false;
  bool keyboard_button_face = false;
  int close_requests = 0;
};

class FakeDialog final : public ModalForm {
 public:
  bool Showing() const override { return showing; }
  void ShowModal() override { ++shown; }
  bool showing = false;
  int shown = 0;
};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    root_ = fs::temp_directory_path() /
            ("quillet_main_form_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "AppData");
    shell_.SetAppDataFolder((root_ / "AppData").wstring());
  }
  ~MainFormTest() override {
    std::error_code ignored;
    fs::permissions(root_ / "AppData", fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  fs::path ConfigFolder() const { return root_ / "AppData" / "Brovana" / "Quillet"; }
  fs::path IniPath() const { return ConfigFolder() / "skeneri.ini"; }
  std::wstring IniWindowsPath() const { return (root_ / "AppData").wstring() + L"\\Brovana\\Quillet\\skeneri.ini"; }

  void WriteIni(const std::string& text) {
    fs::create_directories(ConfigFolder());
    std::ofstream(IniPath(), std::ios::binary) << text;
  }

  bool StoredFlag(int row) {
    config::TIniFile ini(profile_, IniWindowsPath());
    return ini.ReadBool(L"Aktivacija", L"cbotvori" + std::to_wstring(row), false);
  }

  fs::path root_;
  os::sim::SimSerial serial_;
  os::sim::SimProfile profile_;
  os::sim::SimShell shell_;
  os::sim::SimKeyboard keyboard_;
  RecordingView view_;
  MainForm form_{Services{serial_, profile_, shell_, keyboard_}, view_};
};

TEST_F(MainFormTest, FirstStartMakesEightNamedPortsAndTheFolderButArmsNothing) {
  form_.RunHandler([&] { form_.FormCreate(); });
  form_.RunHandler([&] { form_.FormShow(); });

  EXPECT_TRUE(view_.errors.empty());
  ASSERT_EQ(form_.Root().ComponentCount(), 8);
  for (int row = 1; row <= 8; ++row) {
    serial::TComPort* port = form_.Skener(row);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(form_.Root().Components(row - 1), port) << "creation order";
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

TEST_F(MainFormTest, ShowingWithAConfigurationFileArmsTimer1) {
  WriteIni("[Aktivacija]\r\ncbotvori1=1\r\n");
  form_.RunHandler([&] { form_.FormCreate(); });
  EXPECT_FALSE(view_.timer1);
  form_.RunHandler([&] { form_.FormShow(); });
  EXPECT_TRUE(view_.timer1);
}

TEST_F(MainFormTest, NoToTheCloseQuestionKeepsEverythingAsItWas) {
  form_.FormCreate();
  view_.answer_yes = false;
  view_.ticks = {true, false, true, false, false, false, false, true};

  EXPECT_FALSE(form_.CloseRequested());
  EXPECT_FALSE(form_.QueryEndSession());

  EXPECT_EQ(view_.questions, (std::vector<std::wstring>{L"Close application?", L"Close application?"}));
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
  EXPECT_EQ(ini.ReadString(L"skener1", L"Port", L"none"), L"none") << "port settings are only saved by Save";
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
