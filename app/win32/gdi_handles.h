// Move-only owners of GDI objects, menus and image lists.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace quillet::app::win32 {

template <typename T, typename Traits>
class UniqueGdi {
 public:
  UniqueGdi() = default;
  explicit UniqueGdi(T handle) : handle_(handle) {}
  UniqueGdi(const UniqueGdi&) = delete;
  UniqueGdi& operator=(const UniqueGdi&) = delete;
  UniqueGdi(UniqueGdi&& other) noexcept : handle_(std::exchange(other.handle_, T{})) {}
  UniqueGdi& operator=(UniqueGdi&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, T{}));
    return *this;
  }
  ~UniqueGdi() { reset(); }

  T get() const { return handle_; }
  explicit operator bool() const { return handle_ != T{}; }
  void reset(T handle = T{}) {
    if (handle_ != T{}) Traits::Close(handle_);
    handle_ = handle;
  }
  [[nodiscard]] T release() { return std::exchange(handle_, T{}); }

 private:
  T handle_{};
};

struct GdiObjectTraits {
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct MenuTraits {
  static void Close(HMENU h) { DestroyMenu(h); }
};
struct ImageListTraits {
  static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
};

using UniqueFont = UniqueGdi<HFONT, GdiObjectTraits>;
using UniqueBitmap = UniqueGdi<HBITMAP, GdiObjectTraits>;
using UniqueBrush = UniqueGdi<HBRUSH, GdiObjectTraits>;
using UniqueMenu = UniqueGdi<HMENU, MenuTraits>;
using UniqueImageList = UniqueGdi<HIMAGELIST, ImageListTraits>;

// A screen-compatible memory DC, deleted with its owner.
class MemoryDc {
 public:
  explicit MemoryDc(HDC reference) : dc_(CreateCompatibleDC(reference)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a DC for the length of a scope.
class SelectInDc {
 public:
  SelectInDc(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  SelectInDc(const SelectInDc&) = delete;
  SelectInDc& operator=(const SelectInDc&) = delete;
  ~SelectInDc() { SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace quillet::app::win32
