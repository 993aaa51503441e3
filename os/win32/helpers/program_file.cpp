#include "os/win32/helpers/program_file.h"

#include <windows.h>

namespace quillet::os::win32 {

std::wstring ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    // A path that filled the buffer may have been cut (and left without its
    // terminator): try again with room to spare.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace quillet::os::win32
