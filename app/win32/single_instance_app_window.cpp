#include "app/win32/single_instance_app_window.h"

#include "app/single_instance_protocol.h"
#include "app/win32/single_instance_guard.h"
#include "app/win32/window_object.h"

namespace quillet::app::win32 {
namespace {

constexpr UINT kPassActivation = WM_APP + 1;

}  // namespace

TApplicationWindow::TApplicationWindow(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TApplicationWindow::WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kApplicationWindowClass.data();
  window_class_ = WindowClassRegistration(wc);
  hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationWindowClass.data(), L"", WS_POPUP, 0, 0, 0,
                          0, nullptr, nullptr, instance, this);
}

TApplicationWindow::~TApplicationWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  window_class_.reset();
}

LRESULT CALLBACK TApplicationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
  auto* self = WindowObject<TApplicationWindow>(hwnd, message, lparam, [](TApplicationWindow*) {});
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_ACTIVATE:
      // Activated by another copy: the user is to see the main window (or
      // its dialog), not this invisible one. Passed on after the activation
      // has settled.
      if (LOWORD(wparam) != WA_INACTIVE) PostMessageW(hwnd, kPassActivation, 0, 0);
      break;
    case kPassActivation:
      BringApplicationToFront(self->main_window_);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace quillet::app::win32
