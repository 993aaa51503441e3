// What the main window's two source files share: its timers and the width
// of a caption in a font.
#pragma once

#include <windows.h>

#include <string_view>

namespace quillet::app::win32 {

inline constexpr UINT_PTR kTimer1 = 1;
inline constexpr UINT_PTR kScanTimer = 2;
inline constexpr UINT_PTR kRetryTimer = 3;
inline constexpr UINT_PTR kTypingTimer = 4;

int TextWidth(HDC dc, HFONT font, std::wstring_view text);
int TextWidth(HWND control, HFONT font, std::wstring_view text);

}  // namespace quillet::app::win32
