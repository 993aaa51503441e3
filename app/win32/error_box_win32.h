// The standard error box and the application title, on Win32.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::app::win32 {

// The program file's name up to its first full stop ("Quillet").
std::wstring ApplicationTitle();

// Error icon, OK button, the application title; the message with its full stop.
void ShowStandardErrorBox(HWND owner, const std::wstring& message);

}  // namespace quillet::app::win32
