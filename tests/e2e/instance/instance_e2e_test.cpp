// Copies of the real program started side by side: a second start of the
// same program file brings the running copy forward (shown, minimised,
// hidden, behind a modal question) and ends with exit code 0 without a
// window of its own and without touching skeneri.ini; another program file
// runs beside it; after the first copy ends the next start is a first copy;
// a process that died holding the shared lock stops nobody.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/instance_protocol.h"
#include "app/main_window_layout.h"
#include "app/win32/instance_registry.h"
#include "tests/e2e/support/e2e_files.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
namespace fs = std::filesystem;

namespace {

using quillet::e2e::AppData;
using quillet::e2e::IniPath;
using quillet::e2e::ReadFile;
using quillet::e2e::WindowsPath;

std::wstring g_exe;
std::wstring g_artifacts;
std::wstring g_self;
constexpr DWORD kWaitMs = 20000;
constexpr wchar_t kHelperReady[] = L"QuilletInstanceTestLockHeld";

class Program {
 public:
  explicit Program(const std::wstring& exe, const std::wstring& arguments = L"") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (!started_) return;
    if (Running()) Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  void Kill() {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, kWaitMs);
  }
  // Exit code, or -1 when it has not ended in time.
  long WaitExit(DWORD ms) const {
    if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

struct Search {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD process_id) {
  Search search{process_id, {}};
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
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

// Starts a second copy and checks that it ends with code 0 without ever
// showing a window and without touching the configuration file.
void StartSecondCopyAndExpectQuietEnd(const std::wstring& exe) {
  const fs::path ini = IniPath();
  const std::string bytes_before = ReadFile(ini);
  const auto time_before = fs::last_write_time(ini);

  Program second(exe);
  ASSERT_TRUE(second.Started());
  std::vector<HWND> shown;
  const DWORD end = GetTickCount() + kWaitMs;
  while (second.Running() && static_cast<LONG>(end - GetTickCount()) > 0) {
    for (HWND window : VisibleWindowsOf(second.Id())) shown.push_back(window);
    PumpFor(2);
  }
  EXPECT_EQ(second.WaitExit(0), 0) << "the second copy must end with exit code 0";
  EXPECT_TRUE(shown.empty()) << "the second copy showed " << shown.size() << " window(s)";
  EXPECT_EQ(ReadFile(ini), bytes_before);
  EXPECT_EQ(fs::last_write_time(ini), time_before);
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
    std::ofstream(ini, std::ios::binary) << "[Startup]\r\nRunMinimized=0\r\n";
  }
};

TEST_F(InstanceE2E, ASecondStartBringsTheRunningCopyForwardAndEndsWithCodeZero) {
  Decoy decoy;
  Program first(g_exe);
  ASSERT_TRUE(first.Started());
  HWND top = MainWindowOf(first.Id());
  ASSERT_NE(top, nullptr) << "no main window";

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

TEST_F(InstanceE2E, ACopyThatDiedHoldingTheLockStopsNobody) {
  Program helper(g_self, L"--hold-lock \"" + g_exe + L"\"");
  ASSERT_TRUE(helper.Started());
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kHelperReady);
  ASSERT_NE(ready, nullptr);
  ASSERT_EQ(WaitForSingleObject(ready, kWaitMs), WAIT_OBJECT_0)
      << "the helper did not take the lock";
  CloseHandle(ready);
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
