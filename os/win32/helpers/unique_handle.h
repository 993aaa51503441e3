// One move-only owner for every kind of Windows handle the program keeps.
// Its traits say what the handle is, which value means "none" (the value
// the creating call returns on failure) and how it is given back.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace quillet::os::win32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }
  // Closes the handle held (if any) and takes `handle`.
  void reset(Handle handle = Traits::Invalid()) noexcept {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }
  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

 private:
  Handle handle_ = Traits::Invalid();
};

// Kernel objects whose creation returns NULL on failure: CreateEventW,
// CreateMutexW, CreateFileMappingW, OpenProcess, OpenMutexW, ...
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

// Files and devices: CreateFileW returns INVALID_HANDLE_VALUE on failure,
// and NULL is not a value it can return.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

// A view of a file mapping (MapViewOfFile).
struct MappedViewTraits {
  using Handle = void*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle view) noexcept { UnmapViewOfFile(view); }
};

// Fonts, bitmaps, brushes, pens: deleted once no DC has them selected.
template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle object) noexcept { DeleteObject(object); }
};

// A menu not (or no longer) attached to a window.
struct MenuTraits {
  using Handle = HMENU;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle menu) noexcept { DestroyMenu(menu); }
};

struct ImageListTraits {
  using Handle = HIMAGELIST;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle list) noexcept { ImageList_Destroy(list); }
};

// A DC the program created (CreateCompatibleDC); one got with GetDC is
// released instead, see WindowDc.
struct CreatedDcTraits {
  using Handle = HDC;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle dc) noexcept { DeleteDC(dc); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueMappedView = UniqueHandle<MappedViewTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueImageList = UniqueHandle<ImageListTraits>;
using UniqueMemoryDc = UniqueHandle<CreatedDcTraits>;

}  // namespace quillet::os::win32
