// TTrayIconWindow against Wine's notification area: the icon's life, hiding
// the main window on minimise, the click that restores it, the balloon and
// its timer, and a rebuilt taskbar.
#include <windows.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/win32/tray_icon_win32.h"

namespace quillet::app::win32 {
namespace {

constexpr DWORD kDeadlineMs = 20000;

// Runs the message loop until the condition holds or the deadline passes.
bool PumpUntil(const std::function<bool()>& condition, DWORD deadline_ms = kDeadlineMs) {
  const ULONGLONG end = GetTickCount64() + deadline_ms;
  for (;;) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (condition()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)), QS_ALLINPUT);
  }
}

void Pump() {
  PumpUntil([] { return false; }, 200);
}

// Asks the shell directly whether it knows the window's icon 1.
bool ShellKnowsIcon(HWND tray_window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = tray_window;
  data.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

HWND OwnTrayWindow() {
  HWND found = nullptr;
  while ((found = FindWindowExW(nullptr, found, kTrayIconWindowClass, nullptr)) != nullptr) {
    DWORD process = 0;
    GetWindowThreadProcessId(found, &process);
    if (process == GetCurrentProcessId()) return found;
  }
  return nullptr;
}

// A plain main window that forwards its minimise command as the program's
// main window does and treats its first minimised WM_SIZE as the
// application's minimise event, which shows the balloon.
class TrayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TrayWindowTest::MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QuilletTrayTestMain";
    RegisterClassExW(&wc);
    current_ = this;
    main_ = CreateWindowExW(0, wc.lpszClassName, L"Tray test", WS_OVERLAPPEDWINDOW, 100, 100, 400,
                            300, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(main_, nullptr);
    ShowWindow(main_, SW_SHOWNORMAL);
    SetForegroundWindow(main_);
    Pump();
    tray_ = std::make_unique<TTrayIconWindow>(instance, main_, LoadIconW(nullptr, IDI_APPLICATION));
    ASSERT_NE(tray_->Handle(), nullptr);
  }
  void TearDown() override {
    tray_.reset();
    if (main_ != nullptr) DestroyWindow(main_);
    current_ = nullptr;
  }

  static LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    TrayWindowTest* self = current_;
    if (self != nullptr && self->tray_ != nullptr) {
      if (message == WM_SYSCOMMAND && self->tray_->MainWindowSysCommand(wparam)) return 0;
      if (message == WM_SIZE) {
        const bool minimised = wparam == SIZE_MINIMIZED;
        if (minimised && !self->was_minimised_) {
          ++self->minimise_events_;
          self->tray_->Tray().BalloonHint(L"Information", L"Quillet is minimized.. ",
                                          TBalloonType::btInfo, 4000, true);
        }
        self->was_minimised_ = minimised;
      }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  void Click(UINT down, UINT up) {
    const HWND window = OwnTrayWindow();
    ASSERT_EQ(window, tray_->Handle());
    SendMessageW(window, kTrayCallbackMessage, 1, static_cast<LPARAM>(down));
    SendMessageW(window, kTrayCallbackMessage, 1, static_cast<LPARAM>(up));
  }

  static inline TrayWindowTest* current_ = nullptr;
  HWND main_ = nullptr;
  std::unique_ptr<TTrayIconWindow> tray_;
  bool was_minimised_ = false;
  int minimise_events_ = 0;
};

TEST_F(TrayWindowTest, ActivateAddsTheIconAndDeactivateDeletesIt) {
  EXPECT_FALSE(ShellKnowsIcon(tray_->Handle()));
  tray_->Tray().Activate();
  ASSERT_TRUE(tray_->Tray().IconVisible()) << "the shell refused the icon";
  EXPECT_TRUE(ShellKnowsIcon(tray_->Handle()));
  EXPECT_EQ(tray_->Tray().IconData().tip, L"Quillet");

  tray_->Tray().Deactivate();
  EXPECT_FALSE(tray_->Tray().IconVisible());
  EXPECT_FALSE(ShellKnowsIcon(tray_->Handle()));
}

TEST_F(TrayWindowTest, MinimiseHidesInTheTrayWithABalloonAndALeftClickRestores) {
  tray_->Tray().Activate();
  ASSERT_TRUE(tray_->Tray().IconVisible());

  SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_TRUE(IsIconic(main_));
  EXPECT_FALSE(IsWindowVisible(main_));
  EXPECT_EQ(minimise_events_, 1);
  EXPECT_EQ(tray_->Tray().BalloonCount(), 1);
  // Timer 2 takes the balloon away after its 4 seconds.
  EXPECT_TRUE(PumpUntil([&] { return tray_->Tray().BalloonCount() == 0; }));

  // Right click and a release without a press: nothing.
  Click(WM_RBUTTONDOWN, WM_RBUTTONUP);
  SendMessageW(tray_->Handle(), kTrayCallbackMessage, 1, WM_LBUTTONUP);
  Pump();
  EXPECT_FALSE(IsWindowVisible(main_));

  Click(WM_LBUTTONDOWN, WM_LBUTTONUP);
  EXPECT_TRUE(PumpUntil([&] { return !IsIconic(main_) && IsWindowVisible(main_); }));
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main_; }));
  EXPECT_TRUE(tray_->Tray().ApplicationVisible());
  EXPECT_TRUE(ShellKnowsIcon(tray_->Handle()));

  // Minimising again still works after the restore.
  SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_FALSE(IsWindowVisible(main_));
  EXPECT_EQ(minimise_events_, 2);
}

TEST_F(TrayWindowTest, WithoutTheHookMinimiseLeavesTheWindowOnTheTaskbar) {
  // Not activated: the command takes its default course.
  SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_TRUE(IsIconic(main_));
  EXPECT_TRUE(IsWindowVisible(main_));
  EXPECT_EQ(minimise_events_, 1);
  EXPECT_EQ(tray_->Tray().BalloonCount(), 0);  // no icon, no balloon
}

TEST_F(TrayWindowTest, TaskbarCreatedBringsBackAnIconTheShellLost) {
  tray_->Tray().Activate();
  ASSERT_TRUE(tray_->Tray().IconVisible());
  // A rebuilt taskbar knows no icons: take ours away behind its back.
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = tray_->Handle();
  data.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  ASSERT_FALSE(ShellKnowsIcon(tray_->Handle()));

  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                      SMTO_ABORTIFHUNG, 5000, &result);
  EXPECT_TRUE(PumpUntil([&] { return ShellKnowsIcon(tray_->Handle()); }));
  EXPECT_TRUE(tray_->Tray().IconVisible());
}

}  // namespace
}  // namespace quillet::app::win32
