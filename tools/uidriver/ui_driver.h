// Drives another process's windows through window messages, as a user
// would: find windows and controls, read texts and rectangles, click, choose
// menu commands and answer message boxes. Used by uidriver.exe and the e2e
// tests. Controls of Quillet's main window are found by their names through
// app/main_window_layout.h; any control by its numeric id or class and text.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::uidriver {

// A visible top-level window with this caption (and class, when given);
// waits up to timeout_ms for it. nullptr when none appears.
HWND WaitWindow(std::wstring_view caption, std::wstring_view window_class, DWORD timeout_ms);

// A descendant control by layout name ("cbotvori3") or decimal id ("1203").
HWND FindControl(HWND top, std::wstring_view name_or_id);
// A descendant control by window class and exact text.
HWND FindControlByClassText(HWND top, std::wstring_view window_class, std::wstring_view text);

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
// The control's rectangle in client coordinates of top.
RECT RectInClient(HWND top, HWND control);
RECT ClientRect(HWND window);
int Dpi();

// Presses a button or toggles a check box (BM_CLICK, posted: a click that
// opens a modal box must not block the driver).
void Click(HWND control);
bool IsChecked(HWND check_box);

// Top-level captions and item captions of a window's menu, "File|Close".
std::vector<std::wstring> MenuPaths(HWND top);
// Chooses a menu command by its path; false when there is no such item.
bool ChooseMenu(HWND top, std::wstring_view path);

std::wstring StatusBarText(HWND top);

struct MessageBox {
  HWND window = nullptr;
  std::wstring title;
  std::wstring text;
};
// A message box (dialog class #32770) of the given process, waiting for it.
std::optional<MessageBox> WaitMessageBox(DWORD process_id, DWORD timeout_ms);
// Presses IDYES, IDNO, IDOK, ... of a message box and waits (10 s at most)
// until the box has gone.
bool AnswerMessageBox(const MessageBox& box, int button_id);

// Asks the window to close (WM_CLOSE) or sends its system close command.
void Close(HWND top);
void SystemClose(HWND top);

// Copies the window as the screen shows it into a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& bmp_path);

DWORD ProcessOf(HWND window);

}  // namespace quillet::uidriver
