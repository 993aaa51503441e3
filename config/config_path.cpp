#include "config/config_path.h"

namespace quillet::config {

std::wstring ConfigFolder(os::ShellApi& shell) {
  return shell.AppDataFolder() + L"\\Brovana\\Quillet";
}

std::wstring ConfigFilePath(os::ShellApi& shell) {
  return ConfigFolder(shell) + L"\\skeneri.ini";
}

void EnsureConfigFolder(os::ShellApi& shell) {
  const std::wstring folder = ConfigFolder(shell);
  if (shell.DirectoryExists(folder)) return;
  // Walk down from the top, creating each missing level. A drive ("C:") or
  // the root itself is never created.
  for (std::size_t end = folder.find(L'\\', 1);; end = folder.find(L'\\', end + 1)) {
    const std::wstring level = folder.substr(0, end);
    const bool isDrive = level.size() == 2 && level[1] == L':';
    if (!level.empty() && level.back() != L'\\' && !isDrive && !shell.DirectoryExists(level)) {
      shell.MakeDirectory(level);
    }
    if (end == std::wstring::npos) break;
  }
}

}  // namespace quillet::config
