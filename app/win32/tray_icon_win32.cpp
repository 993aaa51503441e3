#include "app/win32/tray_icon_win32.h"

#include <shellapi.h>

#include <algorithm>
#include <string>

#include "app/win32/error_box_win32.h"
#include "app/win32/single_instance_guard.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {
namespace {

template <std::size_t N>
void CopyText(wchar_t (&field)[N], const std::wstring& text) {
  const std::size_t length = std::min(text.size(), N - 1);
  std::copy_n(text.data(), length, field);
  field[length] = L'\0';
}

DWORD ShellMessage(TTrayRequest request) {
  switch (request) {
    case TTrayRequest::Add:
      return NIM_ADD;
    case TTrayRequest::Modify:
      return NIM_MODIFY;
    case TTrayRequest::Delete:
      return NIM_DELETE;
    case TTrayRequest::SetVersion:
      return NIM_SETVERSION;
  }
  return NIM_MODIFY;
}

}  // namespace

bool Win32TrayShell::Notify(TTrayRequest request, const TNotifyIconRecord& record,
                            bool balloon_only) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = reinterpret_cast<HWND>(record.window);
  data.uID = record.id;
  if (request == TTrayRequest::SetVersion) {
    data.uVersion = NOTIFYICON_VERSION;
  } else if (balloon_only) {
    data.uFlags = NIF_INFO;
    CopyText(data.szInfoTitle, record.info_title);
    CopyText(data.szInfo, record.info);
    data.uTimeout = record.timeout;
    data.dwInfoFlags = record.info_flags;
  } else if (request == TTrayRequest::Add || request == TTrayRequest::Modify) {
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = record.callback_message;
    data.hIcon = reinterpret_cast<HICON>(record.icon);
    CopyText(data.szTip, record.tip);
  }
  // The shell's refusal often sets no error of its own; a stale one from an
  // unrelated call must not pass for the shell's answer.
  SetLastError(0);
  const BOOL accepted = Shell_NotifyIconW(ShellMessage(request), &data);
  last_error_ = accepted ? 0 : GetLastError();
  return accepted != FALSE;
}

void Win32TrayShell::StartTimer2(unsigned milliseconds) {
  if (timer_window_ != nullptr) SetTimer(timer_window_, kTrayTimer2, milliseconds, nullptr);
}

void Win32TrayShell::StopTimer2() {
  if (timer_window_ != nullptr) KillTimer(timer_window_, kTrayTimer2);
}

void Win32TrayApplication::MinimiseApplication() {
  // The system hides the owned windows with their owner; the main window's
  // WM_SIZE (SIZE_MINIMIZED) is the application's minimise event.
  ShowWindow(main_window_, SW_MINIMIZE);
}

void Win32TrayApplication::HideMainWindow() {
  ShowWindow(main_window_, SW_HIDE);
}

void Win32TrayApplication::ShowMainWindow() {
  ShowWindow(main_window_, SW_SHOWMINNOACTIVE);
}

void Win32TrayApplication::RestoreApplication() {
  win32::RestoreApplication(main_window_);
  BringApplicationToFront(main_window_);
}

TTrayIconWindow::TTrayIconWindow(HINSTANCE instance, HWND main_window, HICON icon)
    : main_window_(main_window),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")),
      shell_(hwnd_),
      application_(main_window),
      tray_(shell_, application_) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TTrayIconWindow::WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kTrayIconWindowClass;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
  // Top-level, not message-only: "TaskbarCreated" is broadcast to top-level
  // windows only.
  CreateWindowExW(WS_EX_TOOLWINDOW, kTrayIconWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                  nullptr, instance, this);
  tray_.SetWindow(reinterpret_cast<std::uintptr_t>(hwnd_));
  tray_.SetIcon(reinterpret_cast<std::uintptr_t>(icon));
  tray_.SetHint(L"Quillet");
}

TTrayIconWindow::~TTrayIconWindow() {
  tray_.Deactivate();
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool TTrayIconWindow::MainWindowSysCommand(WPARAM command) {
  if (command != SC_MINIMIZE) return false;
  tray_.MinimiseCommand();
  return IsIconic(main_window_) != FALSE;
}

LRESULT TTrayIconWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND hwnd = hwnd_;
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    tray_.TaskbarCreated();
    return 0;
  }
  switch (message) {
    case kTrayCallbackMessage:
      // Version 3 notifications carry the message in the whole long
      // parameter; the low word holds it in every version.
      return tray_.CallbackMessage(LOWORD(lparam));
    case WM_ENDSESSION:
      tray_.EndSession(wparam != 0);
      return 0;
    case WM_TIMER:
      if (wparam == kTrayTimer2) {
        tray_.Timer2();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      os::win32::ForgetWindowObject(hwnd_);
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK TTrayIconWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* self = os::win32::WindowObject<TTrayIconWindow>(
      hwnd, message, lparam, [hwnd](TTrayIconWindow* tray) { tray->hwnd_ = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  const HWND owner = self->main_window_;
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); },
      [owner] { ShowCurrentExceptionBox(owner); });
}

}  // namespace quillet::app::win32
