// Texts of the standard error box: the box every error that ends a handler
// goes to (error icon, OK button).
#pragma once

#include <string>
#include <string_view>

namespace quillet::app {

// The application's title from the program file's path: the file name up to
// its first full stop, every letter after the first in lower case
// ("C:\\Apps\\QUILLET.EXE" -> "Quillet").
std::wstring ApplicationTitle(std::wstring_view exe_path);

// The error's message with a full stop appended when its last character's
// code is above that of the full stop ("Port Not Open" -> "Port Not Open.",
// "Port status: Error!" unchanged).
std::wstring ErrorBoxText(std::wstring_view message);

}  // namespace quillet::app
