// The real program's dialogs under Wine: the about box with the version of the
// program file (also of a copy rebuilt as 1.0.6.7), "Visit web page" and
// Help > Help reaching the shell (a logging stand-in is registered for .chm
// files and https addresses), and the hidden advanced-settings dialog
// round-tripping its eight values through [Napredna].
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/main_window_layout.h"
#include "app/win32/about_dialog.h"
#include "app/win32/advanced_dialog.h"
#include "tests/e2e/support/e2e_files.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
namespace w32 = quillet::app::win32;
namespace fs = std::filesystem;

namespace {

using quillet::e2e::AppData;
using quillet::e2e::IniPath;
using quillet::e2e::ReadFile;
using quillet::e2e::WindowsPath;

std::wstring g_exe;
std::wstring g_artifacts;
std::wstring g_logger;
std::wstring g_rebuilt;  // the same program rebuilt as file version 1.0.6.7
constexpr DWORD kWaitMs = 20000;

void WriteIni(const std::string& text) {
  fs::create_directories(IniPath().parent_path());
  std::ofstream(IniPath(), std::ios::binary) << text;
}

std::wstring IniValue(const wchar_t* key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"Napredna", key, L"<none>", value, 256, IniPath().c_str());
  return value;
}

// Sets the default value of an HKEY_CLASSES_ROOT key for the length of a
// test and puts the old one back afterwards.
class ClassOverride {
 public:
  ClassOverride(std::wstring key, const std::wstring& value) : key_(std::move(key)) {
    wchar_t old[1024] = {};
    LONG size = sizeof old;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key_.c_str(), old, &size) == ERROR_SUCCESS) old_ = old;
    RegSetValueW(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, value.c_str(), 0);
  }
  ClassOverride(const ClassOverride&) = delete;
  ClassOverride& operator=(const ClassOverride&) = delete;
  ~ClassOverride() {
    if (old_) {
      RegSetValueW(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, old_->c_str(), 0);
    } else {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str());
    }
  }

 private:
  std::wstring key_;
  std::optional<std::wstring> old_;
};

class Program {
 public:
  explicit Program(const std::wstring& exe = g_exe) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
    if (started_) top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, kWaitMs);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  HWND Top() const { return top_; }
  DWORD Id() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
  HWND top_ = nullptr;
};

bool WaitUntil(const auto& condition) {
  for (int i = 0; i < 400; ++i) {
    if (condition()) return true;
    Sleep(50);
  }
  return false;
}

void ExpectRect(HWND top, int id, app::LayoutRect want96, bool sized_to_text = false) {
  HWND control = GetDlgItem(top, id);
  ASSERT_NE(control, nullptr) << id;
  const app::LayoutRect want = app::ScaleForDpi(want96, ud::Dpi());
  const RECT got = ud::RectInClient(top, control);
  EXPECT_NEAR(got.left, want.left, 1) << id;
  EXPECT_NEAR(got.top, want.top, 1) << id;
  if (!sized_to_text) {
    EXPECT_NEAR(got.right - got.left, want.width, 1) << id;
    EXPECT_NEAR(got.bottom - got.top, want.height, 1) << id;
  }
}

void SetText(HWND top, int id, const wchar_t* text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(top, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                      SMTO_NORMAL, kWaitMs, &ignored);
}

void Type(HWND top, int id, const wchar_t* text) {
  for (const wchar_t* p = text; *p != L'\0'; ++p) PostMessageW(GetDlgItem(top, id), WM_CHAR, *p, 1);
}

std::wstring ControlText(HWND top, int id) {
  return ud::Text(GetDlgItem(top, id));
}
bool Checked(HWND top, int id) {
  return ud::IsChecked(GetDlgItem(top, id));
}

class DialogsE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ignored;
    fs::remove_all(AppData() / L"Brovana", ignored);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    log_ = fs::path(temp) / L"quillet_open_log.txt";
    fs::remove(log_, ignored);
    SetEnvironmentVariableW(L"QUILLET_OPEN_LOG_WIN", log_.c_str());
  }

  // The line the stand-in logged that contains `what`, waiting for it.
  std::string WaitLogged(const std::string& what) {
    std::string found;
    WaitUntil([&] {
      const std::string log = ReadFile(log_);
      const std::size_t at = log.find(what);
      if (at == std::string::npos) return false;
      found = log.substr(log.rfind('\n', at) + 1);
      found = found.substr(0, found.find('\n'));
      return true;
    });
    return found;
  }

  HWND OpenDialog(const Program& program, int command, const wchar_t* caption,
                  const wchar_t* window_class) {
    PostMessageW(program.Top(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return ud::WaitWindow(caption, window_class, kWaitMs);
  }

  fs::path log_;
};

TEST_F(DialogsE2E, AboutBoxShowsTheFileVersionEveryTimeAndOpensTheWebPage) {
  const std::wstring command = L"\"" + g_logger + L"\" \"%1\"";
  ClassOverride https(L"https\\shell\\open\\command", command);

  Program program;
  ASSERT_NE(program.Top(), nullptr) << "no main window";
  for (int showing = 1; showing <= 2; ++showing) {
    ASSERT_TRUE(ud::ChooseMenu(program.Top(), L"Help|About..."));
    HWND about = ud::WaitWindow(w32::kForm3Caption, w32::kForm3Class, kWaitMs);
    ASSERT_NE(about, nullptr) << "no about box, showing " << showing;
    EXPECT_EQ(ud::ProcessOf(about), program.Id());
    EXPECT_EQ(ControlText(about, w32::kForm3Label4), L"v1.0.5") << showing;
    EXPECT_FALSE(IsWindowEnabled(program.Top())) << "modal: the main window takes no input";
    if (showing == 1) {
      const RECT client = ud::ClientRect(about);
      EXPECT_EQ(client.right, app::ScaleForDpi(329, ud::Dpi()));
      EXPECT_EQ(client.bottom, app::ScaleForDpi(168, ud::Dpi()));
      ExpectRect(about, w32::kForm3Label1, {15, 8, 67, 22}, true);
      ExpectRect(about, w32::kForm3Image2, {88, 8, 130, 62});
      ExpectRect(about, w32::kForm3Label4, {224, 41, 0, 23}, true);
      ExpectRect(about, w32::kForm3Lblink, {76, 76, 162, 33});
      ExpectRect(about, w32::kForm3Btnclose, {246, 135, 75, 25});
      EXPECT_EQ(ControlText(about, w32::kForm3Label1), L"Made by");
      EXPECT_EQ(ControlText(about, w32::kForm3Lblink), L"Visit web page");
      EXPECT_EQ(ControlText(about, w32::kForm3Btnclose), L"Close");
      ud::SaveScreenshot(about, g_artifacts + L"\\about_box.bmp");

      ud::Click(GetDlgItem(about, w32::kForm3Lblink));
      const std::string line = WaitLogged("quillet.brovana.example");
      EXPECT_NE(line.find("https://quillet.brovana.example/"), std::string::npos) << line;
      EXPECT_TRUE(IsWindowVisible(about)) << "the box stays open";
    }
    ud::Click(GetDlgItem(about, w32::kForm3Btnclose));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); })) << "Close did not hide the box";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(program.Top()) != FALSE; }));
  }
}

// The file version as the system reads it from a program file: major,
// minor, release, build.
std::wstring FileVersion(const std::wstring& exe) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (data.empty() ||
      !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size) ||
      info == nullptr) {
    return L"<none>";
  }
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionLS));
}

TEST_F(DialogsE2E, ARebuiltProgramFileShowsItsOwnVersionWithoutTheBuildNumber) {
  ASSERT_FALSE(g_rebuilt.empty()) << "no rebuilt program file given";
  ASSERT_EQ(FileVersion(g_rebuilt), L"1.0.6.7");
  EXPECT_EQ(FileVersion(g_exe), L"1.0.5.0") << "the shipping program file keeps its version";

  Program program(g_rebuilt);
  ASSERT_NE(program.Top(), nullptr) << "no main window";
  ASSERT_TRUE(ud::ChooseMenu(program.Top(), L"Help|About..."));
  HWND about = ud::WaitWindow(w32::kForm3Caption, w32::kForm3Class, kWaitMs);
  ASSERT_NE(about, nullptr) << "no about box";
  EXPECT_EQ(ud::ProcessOf(about), program.Id());
  EXPECT_EQ(ControlText(about, w32::kForm3Label4), L"v1.0.6");
  ud::SaveScreenshot(about, g_artifacts + L"\\about_box_1.0.6.7.bmp");
  ud::Click(GetDlgItem(about, w32::kForm3Btnclose));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); })) << "Close did not hide the box";
}

TEST_F(DialogsE2E, HelpAsksTheShellToOpenQuilletChmBesideTheProgram) {
  const std::wstring command = L"\"" + g_logger + L"\" \"%1\"";
  ClassOverride extension(L".chm", L"Quillet.TestHelpFile");
  ClassOverride open(L"Quillet.TestHelpFile\\shell\\open\\command", command);

  Program program;
  ASSERT_NE(program.Top(), nullptr);
  ASSERT_TRUE(ud::ChooseMenu(program.Top(), L"Help|Help"));
  const std::string line = WaitLogged("quillet.chm");
  ASSERT_FALSE(line.empty()) << "the shell was not asked to open quillet.chm";
  // The folder of the program file, as Wine spells it.
  const std::wstring folder = g_exe.substr(0, g_exe.find_last_of(L'\\') + 1);
  std::string narrow_folder;
  for (wchar_t ch : folder) narrow_folder.push_back(static_cast<char>(ch));
  EXPECT_NE(line.find(narrow_folder + "quillet.chm"), std::string::npos) << line;
  EXPECT_TRUE(IsWindowEnabled(program.Top()));
}

TEST_F(DialogsE2E, AdvancedDialogLoadsAndSavesItsEightValues) {
  WriteIni(
      "[Napredna]\r\ncbprefiks=1\r\ncbsufiks=0\r\ncbCR=1\r\ncbLF=0\r\nSufiks=END\r\nPrefiks="
      "ST\r\nOd=5\r\nDo=5\r\n");
  {
    Program program;
    ASSERT_NE(program.Top(), nullptr);
    HWND dialog = OpenDialog(program, app::kMenuAdvanced1, w32::kForm2Caption, w32::kForm2Class);
    ASSERT_NE(dialog, nullptr) << "Advanced1's command did not show the dialog";
    EXPECT_EQ(ControlText(dialog, w32::kForm2Edprefiks), L"ST");
    EXPECT_EQ(ControlText(dialog, w32::kForm2Edsufiks), L"END");
    EXPECT_TRUE(Checked(dialog, w32::kForm2Cbprefiks));
    EXPECT_FALSE(Checked(dialog, w32::kForm2Cbsufiks));
    EXPECT_TRUE(Checked(dialog, w32::kForm2CbCR));
    EXPECT_FALSE(Checked(dialog, w32::kForm2CbLF));
    EXPECT_EQ(ControlText(dialog, w32::kForm2SeOd), L"5");
    EXPECT_EQ(ControlText(dialog, w32::kForm2SeDo), L"6") << "stored 5/5: the coupling shows 6";

    // The choice of whose settings sits on top: the first controls keep
    // their places 54 pixels lower, the key names stand to their right and
    // the delay below the range.
    const RECT client = ud::ClientRect(dialog);
    EXPECT_EQ(client.right, app::ScaleForDpi(400, ud::Dpi()));
    EXPECT_EQ(client.bottom, app::ScaleForDpi(329, ud::Dpi()));
    ExpectRect(dialog, w32::kForm2Edprefiks, {16, 54 + 32, 89, 21});
    ExpectRect(dialog, w32::kForm2Edsufiks, {136, 54 + 32, 97, 21});
    ExpectRect(dialog, w32::kForm2Cbprefiks, {16, 54 + 59, 97, 17});
    ExpectRect(dialog, w32::kForm2CbLF, {79, 54 + 91, 52, 17});
    ExpectRect(dialog, w32::kForm2Button1, {17, 54 + 242, 75, 25});
    ExpectRect(dialog, w32::kForm2Btnzatvori, {136, 54 + 242, 104, 25});
    EXPECT_EQ(ControlText(dialog, w32::kForm2Btnzatvori), L"Save && Close");
    EXPECT_EQ(ControlText(dialog, w32::kForm2SeCharDelay), L"0");
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, w32::kForm2Choice), CB_GETCURSEL, 0, 0), 0)
        << "All ports";
    // Tab order ("Use all ports' settings" is off while all ports are shown).
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, w32::kForm2UseCommon)));
    const int order[] = {w32::kForm2Choice,      w32::kForm2Edprefiks, w32::kForm2Edsufiks,
                         w32::kForm2Cbprefiks,   w32::kForm2Cbsufiks,  w32::kForm2CbCR,
                         w32::kForm2CbLF,        w32::kForm2SeOd,      w32::kForm2SeDo,
                         w32::kForm2SeCharDelay, w32::kForm2Button1,   w32::kForm2Btnzatvori};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
      EXPECT_EQ(GetNextDlgTabItem(dialog, GetDlgItem(dialog, order[i]), FALSE),
                GetDlgItem(dialog, order[i + 1]))
          << "after " << order[i];
    }
    ud::SaveScreenshot(dialog, g_artifacts + L"\\advanced_settings.bmp");

    // The Up and Down keys step within 0..100 (the arrows' own keys on their buddy).
    PostMessageW(GetDlgItem(dialog, w32::kForm2SeDo), WM_KEYDOWN, VK_UP, 1);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog, w32::kForm2SeDo) == L"7"; }))
        << ControlText(dialog, w32::kForm2SeDo);

    // Typed letters become capitals; the spin box takes no letters.
    SetText(dialog, w32::kForm2Edprefiks, L"");
    Type(dialog, w32::kForm2Edprefiks, L"pre");
    SetText(dialog, w32::kForm2SeOd, L"");
    Type(dialog, w32::kForm2SeOd, L"x7");
    EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog, w32::kForm2SeOd) == L"7"; }))
        << ControlText(dialog, w32::kForm2SeOd);
    EXPECT_EQ(ControlText(dialog, w32::kForm2SeDo), L"8") << "typing 7 into 'from' sets 'to' to 8";
    EXPECT_EQ(ControlText(dialog, w32::kForm2Edprefiks), L"PRE");
    SetText(dialog, w32::kForm2Edsufiks, L"TAIL");
    SetText(dialog, w32::kForm2SeDo, L"20");
    ud::Click(GetDlgItem(dialog, w32::kForm2Cbsufiks));
    ud::Click(GetDlgItem(dialog, w32::kForm2CbCR));
    ud::Click(GetDlgItem(dialog, w32::kForm2CbLF));
    ud::Click(GetDlgItem(dialog, w32::kForm2Btnzatvori));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); }))
        << "Save & Close did not close";
  }
  EXPECT_EQ(IniValue(L"cbprefiks"), L"1");
  EXPECT_EQ(IniValue(L"cbsufiks"), L"1");
  EXPECT_EQ(IniValue(L"cbCR"), L"0");
  EXPECT_EQ(IniValue(L"cbLF"), L"1");
  EXPECT_EQ(IniValue(L"Prefiks"), L"PRE");
  EXPECT_EQ(IniValue(L"Sufiks"), L"TAIL");
  EXPECT_EQ(IniValue(L"Od"), L"7");
  EXPECT_EQ(IniValue(L"Do"), L"20");

  // And back in a new start.
  Program program;
  ASSERT_NE(program.Top(), nullptr);
  HWND dialog = OpenDialog(program, app::kMenuAdvanced1, w32::kForm2Caption, w32::kForm2Class);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ControlText(dialog, w32::kForm2Edprefiks), L"PRE");
  EXPECT_EQ(ControlText(dialog, w32::kForm2Edsufiks), L"TAIL");
  EXPECT_TRUE(Checked(dialog, w32::kForm2Cbprefiks));
  EXPECT_TRUE(Checked(dialog, w32::kForm2Cbsufiks));
  EXPECT_FALSE(Checked(dialog, w32::kForm2CbCR));
  EXPECT_TRUE(Checked(dialog, w32::kForm2CbLF));
  EXPECT_EQ(ControlText(dialog, w32::kForm2SeOd), L"7");
  EXPECT_EQ(ControlText(dialog, w32::kForm2SeDo), L"20");
}

TEST_F(DialogsE2E, AnEmptyToBoxIsNoIntegerAndTheDialogStaysOpen) {
  WriteIni("[Napredna]\r\nOd=3\r\nDo=9\r\n");
  Program program;
  ASSERT_NE(program.Top(), nullptr);
  HWND dialog = OpenDialog(program, app::kMenuAdvanced1, w32::kForm2Caption, w32::kForm2Class);
  ASSERT_NE(dialog, nullptr);
  SetText(dialog, w32::kForm2SeDo, L"");
  SetText(dialog, w32::kForm2Edsufiks, L"NEW");
  ud::Click(GetDlgItem(dialog, w32::kForm2Btnzatvori));
  const auto box = ud::WaitMessageBox(program.Id(), kWaitMs);
  ASSERT_TRUE(box.has_value()) << "no error box";
  EXPECT_EQ(box->text, L"'' is not a valid integer value.");
  ud::SaveScreenshot(box->window, g_artifacts + L"\\advanced_settings_error.bmp");
  ASSERT_TRUE(ud::AnswerMessageBox(*box, IDOK));
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open";
  EXPECT_EQ(IniValue(L"Od"), L"3");
  EXPECT_EQ(IniValue(L"Do"), L"9");
  EXPECT_EQ(IniValue(L"Sufiks"), L"NEW") << "keys before the failed one stay written";
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: quillet_e2e_dialogs <quillet.exe> <artifacts folder> <open logger.exe> "
                 "[<quillet.exe rebuilt as 1.0.6.7>]\n");
    return 2;
  }
  g_exe = WindowsPath(argv[1]);
  g_artifacts = WindowsPath(argv[2]);
  g_logger = WindowsPath(argv[3]);
  if (argc > 4) g_rebuilt = WindowsPath(argv[4]);
  return RUN_ALL_TESTS();
}
