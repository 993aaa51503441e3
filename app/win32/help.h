// Help > Help: opens quillet.chm from the program's folder through the shell.
#pragma once

#include <windows.h>

namespace quillet::app::win32 {

// The shell's answer is not examined: a missing help file shows nothing.
void OpenHelpFile(HWND owner);

}  // namespace quillet::app::win32
