#include "app/win32/help.h"

#include <shellapi.h>

#include <string>

#include "app/about_box.h"

namespace quillet::app::win32 {

void OpenHelpFile(HWND owner) {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (length < exe.size()) {
      exe.resize(length);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const std::wstring path = HelpFilePath(exe);
  ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace quillet::app::win32
