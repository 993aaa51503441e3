// Drives the modal settings dialog from a timer on the test's own thread:
// the action runs once the dialog is shown, inside its modal loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quillet::serial::test {

// Runs show() (which blocks in the dialog) and calls action with the dialog
// once it is visible. When the action leaves the dialog open, Cancel ends it.
void WithDialog(const std::function<void()>& show, const std::function<void(HWND)>& action);

// The user's actions and what the user sees.
void Press(HWND dialog, int id);
void CloseByTitleBar(HWND dialog);
void Choose(HWND dialog, int comboId, const std::wstring& text);
std::vector<std::wstring> Entries(HWND combo);
std::wstring Selected(HWND combo);  // empty when nothing is selected

// The rectangle of a control in the dialog's client coordinates.
RECT ClientRect(HWND dialog, HWND control);
// Saves the dialog as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::wstring& path);

}  // namespace quillet::serial::test
