#include "app/monitor_form.h"

#include <algorithm>
#include <climits>

#include "config/ini_file.h"

namespace quillet::app {

namespace {

const std::wstring kSection = L"Monitor";

}  // namespace

MonitorPlace LoadMonitorPlace(config::TIniFile& ini) {
  // INT_MIN marks a key that is missing or holds no number.
  const int left = ini.ReadInteger(kSection, L"Left", INT_MIN);
  const int top = ini.ReadInteger(kSection, L"Top", INT_MIN);
  const int width = ini.ReadInteger(kSection, L"Width", INT_MIN);
  const int height = ini.ReadInteger(kSection, L"Height", INT_MIN);
  MonitorPlace place;
  if (left == INT_MIN || top == INT_MIN || width <= 0 || height <= 0) return place;
  place.known = true;
  place.rect = {left, top, std::max(width, kMonitorMinWidth), std::max(height, kMonitorMinHeight)};
  return place;
}

void SaveMonitorPlace(config::TIniFile& ini, const LayoutRect& rect) {
  ini.WriteInteger(kSection, L"Left", rect.left);
  ini.WriteInteger(kSection, L"Top", rect.top);
  ini.WriteInteger(kSection, L"Width", rect.width);
  ini.WriteInteger(kSection, L"Height", rect.height);
}

LayoutRect KeepInside(const LayoutRect& rect, const LayoutRect& work_area) {
  LayoutRect out = rect;
  out.width = std::clamp(rect.width, 1, std::max(work_area.width, 1));
  out.height = std::clamp(rect.height, 1, std::max(work_area.height, 1));
  // 64-bit sums: a stored left near INT_MAX must not overflow.
  const long long right_most = static_cast<long long>(work_area.left) + work_area.width - out.width;
  const long long bottom_most =
      static_cast<long long>(work_area.top) + work_area.height - out.height;
  out.left = static_cast<int>(std::clamp<long long>(rect.left, work_area.left, right_most));
  out.top = static_cast<int>(std::clamp<long long>(rect.top, work_area.top, bottom_most));
  return out;
}

bool ShowsNewest(int top_index, int per_page, int count) {
  return count == 0 || top_index + std::max(per_page, 1) >= count;
}

}  // namespace quillet::app
