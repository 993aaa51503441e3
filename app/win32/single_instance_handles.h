// Move-only owners of the handles the single-instance guard holds: kernel
// objects (the lock and the mapping), the mapped view and window classes.
#pragma once

#include <windows.h>

#include <utility>

namespace quillet::app::win32 {

// A kernel handle that is NULL when invalid (CreateMutexW, CreateFileMappingW,
// OpenProcess).
class UniqueKernelHandle {
 public:
  UniqueKernelHandle() = default;
  explicit UniqueKernelHandle(HANDLE handle) : handle_(handle) {}
  UniqueKernelHandle(const UniqueKernelHandle&) = delete;
  UniqueKernelHandle& operator=(const UniqueKernelHandle&) = delete;
  UniqueKernelHandle(UniqueKernelHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueKernelHandle& operator=(UniqueKernelHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  ~UniqueKernelHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

class UniqueMappedView {
 public:
  UniqueMappedView() = default;
  explicit UniqueMappedView(void* view) : view_(view) {}
  UniqueMappedView(const UniqueMappedView&) = delete;
  UniqueMappedView& operator=(const UniqueMappedView&) = delete;
  UniqueMappedView(UniqueMappedView&& other) noexcept
      : view_(std::exchange(other.view_, nullptr)) {}
  UniqueMappedView& operator=(UniqueMappedView&& other) noexcept {
    if (this != &other) reset(std::exchange(other.view_, nullptr));
    return *this;
  }
  ~UniqueMappedView() { reset(); }

  void* get() const { return view_; }
  explicit operator bool() const { return view_ != nullptr; }
  void reset(void* view = nullptr) {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    view_ = view;
  }

 private:
  void* view_ = nullptr;
};

// A registered window class, unregistered with its owner.
class WindowClassRegistration {
 public:
  WindowClassRegistration() = default;
  explicit WindowClassRegistration(const WNDCLASSEXW& wc)
      : atom_(RegisterClassExW(&wc)), instance_(wc.hInstance), name_(wc.lpszClassName) {}
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
  ATOM atom_ = 0;
  HINSTANCE instance_ = nullptr;
  const wchar_t* name_ = nullptr;  // a class name with static storage
};

}  // namespace quillet::app::win32
