// The Monitor window's portable part: its controls' ids and captions, the
// place it keeps in the configuration file, and the rules for bringing a
// stored place back onto a screen. The Win32 window (app/win32/monitor_window)
// shows the reception record through these.
#pragma once

#include <string_view>

#include "app/main_window_layout.h"

namespace quillet::config {
class TIniFile;
}

namespace quillet::app {

inline constexpr std::wstring_view kMonitorCaption = L"Monitor";
inline constexpr std::wstring_view kMonitorClass = L"TMonitorForm";
inline constexpr int kMonitorList = 3201;
inline constexpr int kMonitorHex = 3202;
inline constexpr int kMonitorCopy = 3203;
inline constexpr int kMonitorClear = 3204;

// Sizes at 96 DPI.
inline constexpr int kMonitorDefaultWidth = 640;
inline constexpr int kMonitorDefaultHeight = 320;
inline constexpr int kMonitorMinWidth = 320;
inline constexpr int kMonitorMinHeight = 160;

// The window's outer rectangle as stored: Left and Top in screen pixels,
// Width and Height at 96 DPI, so it keeps its size on a screen of another DPI.
struct MonitorPlace {
  bool known = false;  // a whole place was stored
  LayoutRect rect{};
};

// [Monitor] Left, Top, Width, Height. A missing or unreadable key, or a size
// of 0 or less, gives an unknown place; a size below the minimum is raised
// to it.
MonitorPlace LoadMonitorPlace(config::TIniFile& ini);
// Throws quillet::Exception when a write fails.
void SaveMonitorPlace(config::TIniFile& ini, const LayoutRect& rect);

// A rectangle moved (and, if larger, shrunk) to lie wholly in the work area.
LayoutRect KeepInside(const LayoutRect& rect, const LayoutRect& work_area);

// Whether the list, showing `per_page` rows from `top_index` of `count`,
// shows its newest row: only then does it follow the rows that come.
bool ShowsNewest(int top_index, int per_page, int count);

// Handed to the main window's logic, which shows it on the menu command.
class ModelessForm {
 public:
  virtual ~ModelessForm() = default;
  // Shows the window (creating it when closed) and brings it forward.
  virtual void Show() = 0;
};

}  // namespace quillet::app
