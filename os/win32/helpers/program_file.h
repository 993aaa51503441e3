// The running program file's full path.
#pragma once

#include <string>

namespace quillet::os::win32 {

// As GetModuleFileNameW(nullptr) gives it, however long (the buffer grows
// past MAX_PATH until the path fits); empty when the system cannot say.
std::wstring ProgramFilePath();

}  // namespace quillet::os::win32
