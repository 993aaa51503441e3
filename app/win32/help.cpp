#include "app/win32/help.h"

#include <shellapi.h>

#include <string>

#include "app/about_box.h"
#include "os/win32/helpers/program_file.h"

namespace quillet::app::win32 {

void OpenHelpFile(HWND owner) {
  const std::wstring path = HelpFilePath(os::win32::ProgramFilePath());
  ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace quillet::app::win32
