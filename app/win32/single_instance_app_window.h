// The application window: an invisible top-level window of class
// "TApplication", made at start-up before the main window. The other copies
// find this copy's user-interface thread through it, and a copy that is
// rejected makes it the foreground window; it passes that on to the main
// window's last active popup.
#pragma once

#include <windows.h>

#include "app/win32/window_class_registration.h"

namespace quillet::app::win32 {

class TApplicationWindow {
 public:
  explicit TApplicationWindow(HINSTANCE instance);
  TApplicationWindow(const TApplicationWindow&) = delete;
  TApplicationWindow& operator=(const TApplicationWindow&) = delete;
  ~TApplicationWindow();

  void SetMainWindow(HWND main_window) { main_window_ = main_window; }
  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  WindowClassRegistration window_class_;
  HWND hwnd_ = nullptr;
  HWND main_window_ = nullptr;
};

}  // namespace quillet::app::win32
