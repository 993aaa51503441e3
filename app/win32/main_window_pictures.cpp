#include "app/win32/main_window_pictures.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/main_window_layout.h"
#include "os/win32/helpers/device_context.h"
#include "resources/resource_ids.h"

namespace quillet::app::win32 {

using os::win32::SelectInDc;
using os::win32::UniqueBitmap;

namespace {

constexpr COLORREF kClearColour = RGB(255, 0, 255);

UniqueBitmap CreateDib(int width, int height, void** bits) {
  const BITMAPINFO header = TopDown32(width, height);
  return UniqueBitmap(CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, bits, nullptr, 0));
}

std::uint32_t Bgr(COLORREF colour) {
  return static_cast<std::uint32_t>(GetBValue(colour)) |
         static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
         static_cast<std::uint32_t>(GetRValue(colour)) << 16;
}

// Draws Image1's picture with its top left corner at (left, top).
void DrawIllustration(HINSTANCE instance, HDC dc, int dpi, COLORREF face, int left, int top) {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels = ReadPixels(instance, IDB_ILLUSTRATION, width, height);
  if (pixels.empty()) return;
  const std::uint32_t clear = Bgr(kClearColour);
  const std::uint32_t fill = Bgr(face);
  for (auto& pixel : pixels) {
    if ((pixel & 0xFFFFFFu) == clear) pixel = fill;
  }
  // The picture keeps its size and is cut to the image's bounds.
  const LayoutRect& image = FindControl(L"Image1")->bounds;
  const int shown_width = image.width < width ? image.width : width;
  const int shown_height = image.height < height ? image.height : height;
  std::vector<std::uint32_t> shown(static_cast<std::size_t>(shown_width) * shown_height);
  for (int y = 0; y < shown_height; ++y) {
    for (int x = 0; x < shown_width; ++x) shown[y * shown_width + x] = pixels[y * width + x];
  }
  const BITMAPINFO header = TopDown32(shown_width, shown_height);
  SetStretchBltMode(dc, dpi == 96 ? COLORONCOLOR : HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, left, top, ScaleForDpi(shown_width, dpi), ScaleForDpi(shown_height, dpi), 0, 0,
                shown_width, shown_height, shown.data(), &header, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof header.bmiHeader;
  header.bmiHeader.biWidth = width;
  header.bmiHeader.biHeight = -height;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  return header;
}

std::vector<std::uint32_t> ReadPixels(HINSTANCE instance, int id, int& width, int& height) {
  UniqueBitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) return {};
  BITMAP info{};
  GetObjectW(bitmap.get(), sizeof info, &info);
  width = info.bmWidth;
  height = info.bmHeight;
  BITMAPINFO header = TopDown32(width, height);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  const os::win32::ScreenDc screen;
  GetDIBits(screen.get(), bitmap.get(), 0, height, pixels.data(), &header, DIB_RGB_COLORS);
  return pixels;
}

LayoutRect PicturePanel(int dpi) {
  const LayoutRect& bevel = FindControl(L"Bevel1")->bounds;
  const LayoutRect& status = FindControl(L"StatusBar1")->bounds;
  const int left = bevel.left + bevel.width;
  return ScaleForDpi(LayoutRect{left, 0, kClientWidth - left, status.top}, dpi);
}

UniqueBitmap PaintPicturePanel(HINSTANCE instance, int dpi) {
  const LayoutRect panel = PicturePanel(dpi);
  void* bits = nullptr;
  UniqueBitmap bitmap = CreateDib(panel.width, panel.height, &bits);
  if (!bitmap) return bitmap;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::fill_n(static_cast<std::uint32_t*>(bits),
              static_cast<std::size_t>(panel.width) * panel.height, Bgr(face));
  {
    const os::win32::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    SelectInDc select(dc.get(), bitmap.get());
    const LayoutRect image = ScaleForDpi(FindControl(L"Image1")->bounds, dpi);
    DrawIllustration(instance, dc.get(), dpi, face, image.left - panel.left, image.top - panel.top);
  }
  GdiFlush();
  return bitmap;
}

MenuIcons::MenuIcons(HINSTANCE instance) {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> strip = ReadPixels(instance, IDB_MENU_ICONS, width, height);
  list_.reset(ImageList_Create(24, 24, ILC_COLOR32, kMenuIconCount, 0));
  if (strip.empty() || height != 24) return;
  {
    UniqueBitmap whole(static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_MENU_ICONS),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ImageList_Add(list_.get(), whole.get(), nullptr);
  }
  for (int index = 0; index < kMenuIconCount && (index + 1) * 24 <= width; ++index) {
    void* bits = nullptr;
    UniqueBitmap item = CreateDib(24, 24, &bits);
    if (!item) continue;
    auto* out = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 24; ++x) {
        const std::uint32_t pixel = strip[static_cast<std::size_t>(y) * width + index * 24 + x];
        const std::uint32_t alpha = pixel >> 24;
        auto channel = [&](int shift) {
          return ((pixel >> shift & 0xFFu) * alpha / 255u) << shift;
        };
        out[y * 24 + x] = alpha << 24 | channel(16) | channel(8) | channel(0);
      }
    }
    items_[index] = std::move(item);
  }
}

HBITMAP MenuIcons::ItemBitmap(int index) const {
  if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
  return items_[index].get();
}

}  // namespace quillet::app::win32
