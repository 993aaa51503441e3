#include "app/win32/single_instance_app_window.h"

#include "app/single_instance_protocol.h"
#include "app/win32/error_box_win32.h"
#include "app/win32/single_instance_guard.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {
namespace {

constexpr UINT kPassActivation = WM_APP + 1;

}  // namespace

TApplicationWindow::TApplicationWindow(HINSTANCE instance) {
  window_class_ = WindowClassRegistration(instance, kApplicationWindowClass.data(),
                                          &TApplicationWindow::WindowProc);
  hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationWindowClass.data(), L"", WS_POPUP, 0, 0, 0,
                          0, nullptr, nullptr, instance, this);
}

TApplicationWindow::~TApplicationWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  window_class_.reset();
}

LRESULT CALLBACK TApplicationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
  auto* self = os::win32::WindowObject<TApplicationWindow>(
      hwnd, message, lparam, [hwnd](TApplicationWindow* window) noexcept { window->hwnd_ = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    os::win32::ForgetWindowObject(hwnd);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); },
      [self] { ShowCurrentExceptionBox(self->main_window_); });
}

LRESULT TApplicationWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      // Activated by another copy: the user is to see the main window (or
      // its dialog), not this invisible one. Passed on after the activation
      // has settled.
      if (LOWORD(wparam) != WA_INACTIVE) PostMessageW(hwnd_, kPassActivation, 0, 0);
      break;
    case kPassActivation:
      BringApplicationToFront(main_window_);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace quillet::app::win32
