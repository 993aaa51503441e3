// The tray icon on Win32: its invisible window (class "QuilletTrayIconWindow"),
// the shell, timer and clock behind it, and what it does to the main window.
// The window answers "TaskbarCreated", WM_ENDSESSION, timer 2 and the icon's
// callback message WM_USER + 1; no exception leaves its window procedure.
#pragma once

#include <windows.h>

#include "app/tray_icon.h"

namespace quillet::app::win32 {

inline constexpr wchar_t kTrayIconWindowClass[] = L"QuilletTrayIconWindow";
inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;
inline constexpr UINT_PTR kTrayTimer2 = 2;

// Shell_NotifyIconW, Sleep, a monotonic clock and timer 2 of the given window.
class Win32TrayShell final : public TrayShell {
 public:
  explicit Win32TrayShell(const HWND& timer_window) : timer_window_(timer_window) {}
  bool Notify(TTrayRequest request, const TNotifyIconRecord& record, bool balloon_only) override;
  unsigned long LastError() override { return last_error_; }
  void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
  double NowSeconds() override { return static_cast<double>(GetTickCount64()) / 1000.0; }
  void StartTimer2(unsigned milliseconds) override;
  void StopTimer2() override;

 private:
  const HWND& timer_window_;
  DWORD last_error_ = 0;
};

// The application's main window as the tray icon moves it.
class Win32TrayApplication final : public TrayApplication {
 public:
  explicit Win32TrayApplication(HWND main_window) : main_window_(main_window) {}
  bool MainWindowMinimised() const override { return IsIconic(main_window_) != FALSE; }
  void MinimiseApplication() override;
  void HideMainWindow() override;
  void ShowMainWindow() override;
  void RestoreApplication() override;

 private:
  HWND main_window_;
};

class TTrayIconWindow {
 public:
  // Creates the invisible window; the hint is "Quillet" and the icon the one
  // given. Does not activate the tray icon.
  TTrayIconWindow(HINSTANCE instance, HWND main_window, HICON icon);
  TTrayIconWindow(const TTrayIconWindow&) = delete;
  TTrayIconWindow& operator=(const TTrayIconWindow&) = delete;
  ~TTrayIconWindow();  // deactivates, then destroys the window

  TTrayIcon& Tray() { return tray_; }
  HWND Handle() const { return hwnd_; }

  // For the main window's WM_SYSCOMMAND, before its default handling. True
  // when the command is done and must not reach DefWindowProcW: a minimise
  // that found the window minimised already (DefWindowProcW would show a
  // window hidden in the tray again).
  bool MainWindowSysCommand(WPARAM command);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  HWND main_window_;
  UINT taskbar_created_;
  Win32TrayShell shell_;
  Win32TrayApplication application_;
  TTrayIcon tray_;
};

}  // namespace quillet::app::win32
