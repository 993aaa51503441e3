#include "app/main_window_layout.h"

#include <cwctype>

namespace quillet::app {
namespace {

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<std::wint_t>(a[i])) !=
        std::towlower(static_cast<std::wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

const ControlSpec* FindControl(std::wstring_view name) {
  for (const auto& entry : kMainWindowControls) {
    if (SameName(entry.name, name)) return &entry;
  }
  return nullptr;
}

const ControlSpec* FindControlById(int id) {
  for (const auto& entry : kMainWindowControls) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

const MenuItemSpec* FindMenuItem(std::wstring_view name) {
  for (const auto& item : kTopMenus) {
    if (SameName(item.name, name)) return &item;
  }
  for (const auto& item : kMenuItems) {
    if (SameName(item.name, name)) return &item;
  }
  return nullptr;
}

int DeviceButtonId(int row) {
  return kDeviceButtonBase + row;
}
int StatusLabelId(int row) {
  return kStatusLabelBase + row;
}
int OpenCheckBoxId(int row) {
  return kOpenCheckBoxBase + row;
}

int ScaleForDpi(int value, int dpi) {
  // MulDiv(value, dpi, 96): rounds halves away from zero.
  const long long product = static_cast<long long>(value) * dpi;
  const long long half = 48;
  return static_cast<int>(product >= 0 ? (product + half) / 96 : -((-product + half) / 96));
}

LayoutRect ScaleForDpi(const LayoutRect& rect, int dpi) {
  return {ScaleForDpi(rect.left, dpi), ScaleForDpi(rect.top, dpi), ScaleForDpi(rect.width, dpi),
          ScaleForDpi(rect.height, dpi)};
}

}  // namespace quillet::app
