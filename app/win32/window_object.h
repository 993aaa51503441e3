// The C++ object behind a window: handed to CreateWindowExW as its creation
// parameter and kept in GWLP_USERDATA from WM_NCCREATE on, so a static
// window procedure can find it for every message.
#pragma once

#include <windows.h>

#include "app/win32/error_box_win32.h"

namespace quillet::app::win32 {

// The object of hwnd, or nullptr before WM_NCCREATE and after the object has
// let go of it. attach(self) runs once, at WM_NCCREATE.
template <typename T, typename Attach>
T* WindowObject(HWND hwnd, UINT message, LPARAM lparam, Attach attach) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    attach(self);
    return self;
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Runs a window procedure's handling: no exception may cross into the
// system, so one goes to the standard error box owned by owner.
template <typename Handle>
LRESULT HandleShowingErrors(HWND owner, Handle handle) {
  try {
    return handle();
  } catch (...) {
    ShowStandardErrorBox(owner, CurrentExceptionMessage());
  }
  return 0;
}

}  // namespace quillet::app::win32
