// Copies of the real program started side by side: a second start of the
// same program file brings the running copy forward (shown, minimised,
// hidden in the tray, with the port settings dialog or a modal question
// open) and ends with exit code 0 without a window or tray icon of its own,
// without touching skeneri.ini and without using a COM port while the first
// copy has one open; another program file runs beside it; after the first
// copy ends the next start is a first copy; a process that died holding the
// shared lock stops nobody, and one that hangs holding it only delays a
// start; the program file is known by its identity, whatever path reaches it.
//
// Usage: quillet_e2e_instance <quillet.exe> <artifacts folder>, run through
// tests/support/wine-run with the null-modem pair COM7:COM8.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "app/single_instance_protocol.h"
#include "app/win32/single_instance_registry.h"
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
std::wstring g_self;
constexpr DWORD kWaitMs = quillet::e2e::kProgramWaitMs;
constexpr wchar_t kHelperReady[] = L"QuilletInstanceTestLockHeld";
constexpr wchar_t kTrayIconWindowClass[] = L"QuilletTrayIconWindow";

// The modem shim's port log (tests/support/modemshim.c): every Wine process
// of the test run notes there the first use of each pseudo-terminal, so
// lines added while a second copy runs are that copy's ports.
class PortUseLog {
 public:
  PortUseLog() {
    wchar_t linux_path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"QUILLET_OPEN_LOG", linux_path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::string narrow(linux_path, linux_path + n);
    path_ = WindowsPath(narrow.c_str());
  }
  bool Configured() const { return !path_.empty(); }
  void Clear() const { DeleteFileW(path_.c_str()); }
  std::string Text() const { return ReadFile(path_); }

 private:
  std::wstring path_;
};

struct Search {
  DWORD process_id;
  bool visible_only;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindows(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && (!search->visible_only || IsWindowVisible(window)))
    search->found.push_back(window);
  return TRUE;
}

// Top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD process_id, bool visible_only) {
  Search search{process_id, visible_only, {}};
  EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> VisibleWindowsOf(DWORD process_id) {
  return WindowsOf(process_id, true);
}

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
  }
}

// Like WaitUntil, but serves the test thread's messages meanwhile: the
// decoy window must answer the activation messages of the other copies.
template <typename Condition>
bool WaitFor(Condition condition, DWORD ms = kWaitMs) {
  const DWORD end = GetTickCount() + ms;
  while (!condition()) {
    if (static_cast<LONG>(end - GetTickCount()) <= 0) return false;
    PumpFor(20);
  }
  return true;
}

// The main window (class TForm1) of a process once it is visible.
HWND MainWindowOf(DWORD process_id) {
  HWND main = nullptr;
  WaitFor([&] {
    for (HWND window : VisibleWindowsOf(process_id)) {
      if (ud::ClassName(window) == app::kMainWindowClass) main = window;
    }
    return main != nullptr;
  });
  return main;
}

// A window of the test's own that holds the foreground before a second
// start, so "brought forward" means something.
class Decoy {
 public:
  Decoy() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuilletInstanceDecoy";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"decoy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600,
                              50, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
  }
  Decoy(const Decoy&) = delete;
  Decoy& operator=(const Decoy&) = delete;
  ~Decoy() { DestroyWindow(window_); }
  bool TakeForeground() {
    SetForegroundWindow(window_);
    return WaitFor([this] { return GetForegroundWindow() == window_; }, 5000);
  }

 private:
  HWND window_ = nullptr;
};

// The control with the input focus in the thread that owns a window.
HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// The tray icon's window of a process, or nullptr.
HWND TrayIconWindowOf(DWORD process_id) {
  for (HWND window : WindowsOf(process_id, false)) {
    if (ud::ClassName(window) == kTrayIconWindowClass) return window;
  }
  return nullptr;
}

// Starts a second copy and checks that it ends with code 0 without ever
// showing a window or adding a tray icon, without touching the
// configuration file and without using a COM port.
void StartSecondCopyAndExpectQuietEnd(const std::wstring& exe) {
  const fs::path ini = IniPath();
  const std::string bytes_before = ReadFile(ini);
  const auto time_before = fs::last_write_time(ini);
  const PortUseLog ports;
  const std::string ports_before = ports.Text();

  Program second(exe);
  ASSERT_TRUE(second.Started());
  std::vector<HWND> shown;
  bool tray_icon = false;
  const DWORD end = GetTickCount() + kWaitMs;
  while (second.Running() && static_cast<LONG>(end - GetTickCount()) > 0) {
    for (HWND window : WindowsOf(second.Id(), false)) {
      if (IsWindowVisible(window)) shown.push_back(window);
      if (ud::ClassName(window) == kTrayIconWindowClass) tray_icon = true;
    }
    PumpFor(2);
  }
  EXPECT_EQ(second.WaitExit(0), 0) << "the second copy must end with exit code 0";
  EXPECT_TRUE(shown.empty()) << "the second copy showed " << shown.size() << " window(s)";
  EXPECT_FALSE(tray_icon) << "the second copy made a tray icon";
  EXPECT_EQ(ReadFile(ini), bytes_before);
  EXPECT_EQ(fs::last_write_time(ini), time_before);
  EXPECT_EQ(ports.Text(), ports_before) << "a COM port was used while the second copy ran";
}

void CloseWithYes(Program& program, HWND top) {
  ud::Close(top);
  auto box = ud::WaitMessageBox(program.Id(), kWaitMs);
  ASSERT_TRUE(box.has_value()) << "no close question";
  EXPECT_EQ(box->text, L"Close application?");
  ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
  EXPECT_EQ(program.WaitExit(kWaitMs), 0);
}

std::wstring WithUpperCaseFileName(const std::wstring& path) {
  std::wstring changed = path;
  for (std::size_t i = changed.find_last_of(L'\\') + 1; i < changed.size(); ++i)
    changed[i] = towupper(changed[i]);
  return changed;
}

class InstanceE2E : public testing::Test {
 protected:
  void SetUp() override {
    const fs::path ini = IniPath();
    fs::create_directories(ini.parent_path());
    // Row 1 on the program's end of the null-modem pair; nothing opens by itself.
    std::ofstream(ini, std::ios::binary)
        << "[Startup]\r\nRunMinimized=0\r\n[skener1]\r\nPort=COM8\r\n";
    const PortUseLog ports;
    ASSERT_TRUE(ports.Configured()) << "QUILLET_OPEN_LOG must name the modem shim's port log";
    ports.Clear();
  }
};

TEST_F(InstanceE2E, ASecondStartBringsTheRunningCopyForwardAndEndsWithCodeZero) {
  Decoy decoy;
  Program first(g_exe);
  ASSERT_TRUE(first.Started());
  HWND top = MainWindowOf(first.Id());
  ASSERT_NE(top, nullptr) << "no main window";
  const auto row_status = [&] { return ud::Text(ud::FindControl(top, L"lbstatus1")); };

  {
    SCOPED_TRACE("a row open on a COM port, seen by the port log");
    // After the automatic opening, which sets the ticks as stored.
    ASSERT_TRUE(WaitFor([&] { return ud::StatusBarText(top) == L"Waiting for devices..."; }));
    ud::Click(ud::FindControl(top, L"cbotvori1"));
    ASSERT_TRUE(WaitFor([&] { return row_status() == L"Port status: Opened"; }))
        << "row 1 did not open COM8";
    // The log would show a second copy's open the same way.
    const PortUseLog ports;
    EXPECT_TRUE(WaitFor([&] { return ports.Text().find(" /dev/pts/") != std::string::npos; }))
        << "the port log missed the first copy's open: " << ports.Text();
  }

  {
    SCOPED_TRACE("shown, behind another window");
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(g_exe);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == top; }))
        << "the running copy did not come forward";
  }
  {
    SCOPED_TRACE("minimised; the path differs only in letter case");
    ShowWindow(top, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(top) != FALSE; }));
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(WithUpperCaseFileName(g_exe));
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(top) && GetForegroundWindow() == top; }))
        << "the running copy was not restored and brought forward";
  }
  {
    SCOPED_TRACE("minimised and hidden, as in the tray");
    ShowWindow(top, SW_MINIMIZE);
    ShowWindow(top, SW_HIDE);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(top); }));
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(g_exe);
    EXPECT_TRUE(WaitFor([&] {
      return IsWindowVisible(top) && !IsIconic(top) && GetForegroundWindow() == top;
    })) << "the hidden copy did not come back";
    ud::SaveScreenshot(top, g_artifacts + L"\\instance_restored.bmp");
  }
  {
    SCOPED_TRACE("hidden in the tray by the main window's minimise command");
    HWND tray = TrayIconWindowOf(first.Id());
    ASSERT_NE(tray, nullptr) << "the running copy has no tray icon window";
    HWND focus = FocusOf(top);
    ASSERT_NE(focus, nullptr) << "no control has the focus before hiding";
    PostMessageW(top, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(top) && IsIconic(top); }))
        << "the window did not hide in the tray";
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(g_exe);
    EXPECT_TRUE(WaitFor([&] {
      return IsWindowVisible(top) && !IsIconic(top) && GetForegroundWindow() == top;
    })) << "the copy hidden in the tray did not come back";
    EXPECT_TRUE(WaitFor([&] { return FocusOf(top) == focus; }))
        << "the control that had the focus did not get it back";
    EXPECT_TRUE(IsWindow(tray)) << "the tray icon went away";
    EXPECT_EQ(row_status(), L"Port status: Opened");
    ud::SaveScreenshot(top, g_artifacts + L"\\instance_restored_from_tray.bmp");
    ud::SaveScreenshot(GetDesktopWindow(),
                       g_artifacts + L"\\instance_restored_from_tray_screen.bmp");
    // Brought back from outside the tray icon, the program still hides and
    // comes back through its icon.
    PostMessageW(top, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(top) && IsIconic(top); }))
        << "the window no longer hides in the tray";
    PostMessageW(tray, WM_USER + 1, 1, WM_LBUTTONDOWN);
    PostMessageW(tray, WM_USER + 1, 1, WM_LBUTTONUP);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(top) && !IsIconic(top); }))
        << "the tray icon no longer restores the window";
  }
  {
    SCOPED_TRACE("the port settings dialog open");
    ud::Click(ud::FindControl(top, L"btnskener1"));
    HWND dialog = ud::WaitWindow(L"Port settings", L"#32770", kWaitMs);
    ASSERT_NE(dialog, nullptr) << "no port settings dialog";
    ASSERT_EQ(ud::ProcessOf(dialog), first.Id());
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(g_exe);
    // Windows users expect the running copy's modal dialog in front, over
    // its main window, and still the one that takes the input.
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == dialog; }))
        << "the dialog did not come forward";
    EXPECT_TRUE(IsWindowVisible(dialog) && IsWindowEnabled(dialog));
    EXPECT_TRUE(IsWindowVisible(top) && !IsIconic(top));
    EXPECT_FALSE(IsWindowEnabled(top)) << "the dialog is no longer modal";
    ud::SaveScreenshot(GetDesktopWindow(), g_artifacts + L"\\instance_dialog_forward.bmp");
    // Still usable: Cancel ends it and gives the main window back.
    HWND cancel = ud::FindControlByClassText(dialog, L"Button", L"Cancel");
    ASSERT_NE(cancel, nullptr);
    ud::Click(cancel);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(dialog) && IsWindowEnabled(top); }))
        << "Cancel did not end the dialog";
    EXPECT_EQ(row_status(), L"Port status: Opened");
  }
  {
    SCOPED_TRACE("a modal question open");
    ASSERT_TRUE(ud::ChooseMenu(top, L"File|Close"));
    auto box = ud::WaitMessageBox(first.Id(), kWaitMs);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(decoy.TakeForeground());
    StartSecondCopyAndExpectQuietEnd(g_exe);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == box->window; }))
        << "the question did not come forward";
    ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
    EXPECT_EQ(first.WaitExit(kWaitMs), 0);
  }
  {
    SCOPED_TRACE("after the first copy ended");
    Program next(g_exe);
    ASSERT_TRUE(next.Started());
    HWND next_top = MainWindowOf(next.Id());
    ASSERT_NE(next_top, nullptr) << "the next start is not a first copy";
    CloseWithYes(next, next_top);
  }
}

TEST_F(InstanceE2E, AProgramFileAtAnotherPathRunsBeside) {
  const fs::path folder = fs::path(g_artifacts) / L"instance-copy";
  fs::create_directories(folder);
  const fs::path copy = folder / L"quillet.exe";
  ASSERT_TRUE(CopyFileW(g_exe.c_str(), copy.wstring().c_str(), FALSE)) << GetLastError();

  Program first(g_exe);
  ASSERT_TRUE(first.Started());
  HWND top = MainWindowOf(first.Id());
  ASSERT_NE(top, nullptr);
  Program other(copy.wstring());
  ASSERT_TRUE(other.Started());
  HWND other_top = MainWindowOf(other.Id());
  ASSERT_NE(other_top, nullptr) << "the copy at another path did not start";
  EXPECT_TRUE(first.Running());
  CloseWithYes(other, other_top);
  CloseWithYes(first, top);
}

// Waits until the helper process (--hold-lock) has taken the shared lock.
void WaitUntilHoldingTheLock(Program& helper) {
  ASSERT_TRUE(helper.Started());
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kHelperReady);
  ASSERT_NE(ready, nullptr);
  const DWORD waited = WaitForSingleObject(ready, kWaitMs);
  CloseHandle(ready);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the helper did not take the lock";
}

TEST_F(InstanceE2E, ACopyThatDiedHoldingTheLockStopsNobody) {
  Program helper(g_self, L"--hold-lock \"" + g_exe + L"\"");
  ASSERT_NO_FATAL_FAILURE(WaitUntilHoldingTheLock(helper));
  helper.Kill();

  Program first(g_exe);
  ASSERT_TRUE(first.Started());
  HWND top = MainWindowOf(first.Id());
  ASSERT_NE(top, nullptr) << "the start after the dead lock holder did not come up";
  // The guard took the lock over and still works.
  StartSecondCopyAndExpectQuietEnd(g_exe);
  EXPECT_TRUE(first.Running());
  CloseWithYes(first, top);
}

TEST_F(InstanceE2E, ACopyHungHoldingTheLockDelaysAStartButDoesNotStopIt) {
  Program helper(g_self, L"--hold-lock \"" + g_exe + L"\"");
  ASSERT_NO_FATAL_FAILURE(WaitUntilHoldingTheLock(helper));

  // The helper lives on, holding the lock: the start waits once for it and
  // then comes up as a first copy; closing it does not wait a second time.
  Program first(g_exe);
  ASSERT_TRUE(first.Started());
  HWND top = MainWindowOf(first.Id());
  ASSERT_NE(top, nullptr) << "the start beside the hung lock holder did not come up";
  EXPECT_TRUE(helper.Running());
  CloseWithYes(first, top);
  helper.Kill();
}

// The same file through drive Z:, which is the whole Linux file system under
// Wine: a second path to it, as a subst or network drive gives on Windows.
std::wstring ThroughDriveZ(const std::wstring& path) {
  using UnixFileName = char*(CDECL*)(LPCWSTR);
  const auto unix_file_name = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_file_name == nullptr) return {};
  char* unix_path = unix_file_name(path.c_str());
  if (unix_path == nullptr) return {};
  std::wstring through = WindowsPath(unix_path);
  HeapFree(GetProcessHeap(), 0, unix_path);
  return through;
}

TEST(ProgramFileIdentity, APathIsTheProgramFileWhenItReachesTheSameFile) {
  const fs::path folder = L"C:\\quillet-identity";
  fs::create_directories(folder);
  const fs::path program_path = folder / L"quillet.exe";
  const fs::path copy_path = folder / L"copy.exe";
  ASSERT_TRUE(CopyFileW(g_exe.c_str(), program_path.wstring().c_str(), FALSE)) << GetLastError();
  ASSERT_TRUE(CopyFileW(g_exe.c_str(), copy_path.wstring().c_str(), FALSE)) << GetLastError();
  const std::wstring other_path = ThroughDriveZ(program_path.wstring());
  ASSERT_FALSE(other_path.empty()) << "no Linux path for " << program_path.string();
  ASSERT_NE(_wcsicmp(other_path.c_str(), program_path.wstring().c_str()), 0);

  const app::win32::ProgramFile program(program_path.wstring());
  EXPECT_TRUE(program.Is(other_path)) << "through " << fs::path(other_path).string();
  EXPECT_TRUE(program.Is(WithUpperCaseFileName(program_path.wstring())));
  EXPECT_FALSE(program.Is(copy_path.wstring())) << "a copy of the file is another program";
  // A file that cannot be opened is compared by its path, ignoring case.
  const app::win32::ProgramFile gone(L"C:\\no such folder\\quillet.exe");
  EXPECT_TRUE(gone.Is(L"c:\\NO SUCH FOLDER\\QUILLET.EXE"));
  EXPECT_FALSE(gone.Is(L"C:\\no such folder\\other.exe"));
  EXPECT_FALSE(gone.Is(g_exe));
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// Helper process: takes the program's shared lock, says so, and waits to be killed.
int HoldLock(const std::wstring& exe) {
  const std::wstring name = app::LockName(quillet::app::win32::InstanceIdentifierFor(exe));
  HANDLE lock = CreateMutexW(nullptr, TRUE, name.c_str());
  if (lock == nullptr) return 3;
  if (GetLastError() == ERROR_ALREADY_EXISTS && WaitForSingleObject(lock, kWaitMs) != WAIT_OBJECT_0)
    return 4;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kHelperReady);
  SetEvent(ready);
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--hold-lock") return HoldLock(WindowsPath(argv[2]));
  testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_instance <quillet.exe> <artifacts folder>\n");
    return 2;
  }
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  g_self = self;
  g_exe = WindowsPath(argv[1]);
  g_artifacts = WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
