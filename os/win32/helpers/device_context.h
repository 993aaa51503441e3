// Scope guards for device contexts: a window's or the screen's DC, released
// with its guard, and an object selected into a DC for a scope.
#pragma once

#include <windows.h>

namespace quillet::os::win32 {

// GetDC(window) for the life of the guard; nullptr is the whole screen. A
// guard whose DC could not be had holds nullptr.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// The screen's DC.
class ScreenDc final : public WindowDc {
 public:
  ScreenDc() noexcept : WindowDc(nullptr) {}
};

// SelectObject(dc, object) for a scope; the DC's previous object returns at
// its end.
class SelectInDc {
 public:
  SelectInDc(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
  SelectInDc(const SelectInDc&) = delete;
  SelectInDc& operator=(const SelectInDc&) = delete;
  ~SelectInDc() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace quillet::os::win32
