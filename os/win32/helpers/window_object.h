// The C++ object behind a window, and the guard that keeps C++ exceptions
// out of the system's frames.
//
// A window's object is handed to CreateWindowExW as its creation parameter
// and kept in GWLP_USERDATA from WM_NCCREATE on (a dialog's is handed to
// CreateDialog...ParamW and kept in DWLP_USER from WM_INITDIALOG on), so a
// static window or dialog procedure finds it for every later message.
#pragma once

#include <windows.h>

#include <utility>

namespace quillet::os::win32 {

// The object of hwnd, or nullptr before WM_NCCREATE and after
// ForgetWindowObject. attach(self) runs once, at WM_NCCREATE, before any
// other message reaches the object; it must not throw.
template <typename T, typename Attach>
T* WindowObject(HWND hwnd, UINT message, LPARAM lparam, Attach&& attach) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    attach(self);
    return self;
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

template <typename T>
T* WindowObject(HWND hwnd, UINT message, LPARAM lparam) noexcept {
  return WindowObject<T>(hwnd, message, lparam, [](T*) noexcept {});
}

// For WM_NCDESTROY: messages that still come find no object.
inline void ForgetWindowObject(HWND hwnd) noexcept {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
}

// The dialog's object, or nullptr before WM_INITDIALOG.
template <typename T>
T* DialogObject(HWND dialog, UINT message, LPARAM lparam) noexcept {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    return reinterpret_cast<T*>(lparam);
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// No C++ exception may cross a window or dialog procedure, a thread entry
// or wWinMain: the system's frames between them cannot be unwound. Runs
// handle() and returns its result; when it throws, report() runs inside the
// catch block (std::current_exception() and `throw;` see the exception) and
// `safe` is returned. A report that throws in turn is dropped.
template <typename Result, typename Handle, typename Report>
Result CallGuarded(Result safe, Handle&& handle, Report&& report) noexcept {
  try {
    return static_cast<Result>(std::forward<Handle>(handle)());
  } catch (...) {
    try {
      std::forward<Report>(report)();
    } catch (...) {
    }
  }
  return safe;
}

}  // namespace quillet::os::win32
