// The main window's pictures: its painted background (button face, the
// raised divider Bevel1 and the illustration of Image1) and the menu icons
// of ImageList2.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

#include "app/main_window_layout.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

// Header of a top-down 32-bit BGRA pixel block.
BITMAPINFO TopDown32(int width, int height);
// A bitmap resource as top-down 32-bit BGRA pixels; empty when it is missing.
std::vector<std::uint32_t> ReadPixels(HINSTANCE instance, int id, int& width, int& height);

// The part of the client area right of the divider Bevel1 and above the
// status bar, in pixels at `dpi`: the illustration and its captions.
LayoutRect PicturePanel(int dpi);
// The picture panel as one bitmap (button face with the illustration of
// Image1): the window paints the panel with it and the captions on it paint
// the matching part behind their text, so they lie over the picture without
// flicker. The rest of the background is plain button face, so the window
// keeps no bitmap of its whole client area.
os::win32::UniqueBitmap PaintPicturePanel(HINSTANCE instance, int dpi);

class MenuIcons {
 public:
  explicit MenuIcons(HINSTANCE instance);
  HIMAGELIST ImageList2() const { return list_.get(); }
  // A 32-bit premultiplied bitmap for a menu item; nullptr for a bad index.
  HBITMAP ItemBitmap(int index) const;

 private:
  os::win32::UniqueImageList list_;
  std::array<os::win32::UniqueBitmap, 8> items_;
};

}  // namespace quillet::app::win32
