// A registered window class that is unregistered with its owner, for the
// invisible windows that register a class of their own.
#pragma once

#include <windows.h>

#include <utility>

namespace quillet::app::win32 {

// A registered window class, unregistered with its owner.
class WindowClassRegistration {
 public:
  WindowClassRegistration() = default;
  explicit WindowClassRegistration(const WNDCLASSEXW& wc)
      : atom_(RegisterClassExW(&wc)), instance_(wc.hInstance), name_(wc.lpszClassName) {}
  // A class with nothing but its procedure, for a window that is never shown.
  WindowClassRegistration(HINSTANCE instance, const wchar_t* name, WNDPROC procedure)
      : WindowClassRegistration(PlainClass(instance, name, procedure)) {}
  WindowClassRegistration(const WindowClassRegistration&) = delete;
  WindowClassRegistration& operator=(const WindowClassRegistration&) = delete;
  WindowClassRegistration(WindowClassRegistration&& other) noexcept
      : atom_(std::exchange(other.atom_, ATOM{0})),
        instance_(other.instance_),
        name_(other.name_) {}
  WindowClassRegistration& operator=(WindowClassRegistration&& other) noexcept {
    if (this != &other) {
      reset();
      atom_ = std::exchange(other.atom_, ATOM{0});
      instance_ = other.instance_;
      name_ = other.name_;
    }
    return *this;
  }
  ~WindowClassRegistration() { reset(); }

  explicit operator bool() const { return atom_ != 0; }
  void reset() {
    if (atom_ != 0) UnregisterClassW(name_, instance_);
    atom_ = 0;
  }

 private:
  static WNDCLASSEXW PlainClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return wc;
  }

  ATOM atom_ = 0;
  HINSTANCE instance_ = nullptr;
  const wchar_t* name_ = nullptr;  // a class name with static storage
};

}  // namespace quillet::app::win32
