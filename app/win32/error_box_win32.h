// The standard error box and the application title, on Win32.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::app::win32 {

// The program file's name up to its first full stop ("Quillet").
std::wstring ApplicationTitle();

// Error icon, OK button, the application title; the message with its full stop.
void ShowStandardErrorBox(HWND owner, const std::wstring& message);

// Inside a catch block: the message of the exception being handled, for the
// error box (a project exception's own text, a standard one's what(), else a
// fixed text). Window procedures use it so that no exception crosses them.
std::wstring CurrentExceptionMessage();

// Inside a catch block: the standard error box, owned by owner, for the
// exception being handled. What the window procedures' guard
// (os::win32::CallGuarded) reports with.
void ShowCurrentExceptionBox(HWND owner);

}  // namespace quillet::app::win32
