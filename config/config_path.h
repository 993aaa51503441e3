// Where the configuration file lives: "<AppData>\Brovana\Quillet\skeneri.ini".
// Derived anew by every caller; nothing caches it.
#pragma once

#include <string>

#include "os/shell_api.h"

namespace quillet::config {

// "<AppData>\Brovana\Quillet"; "\Brovana\Quillet" (root of the current
// drive) when the shell cannot give the application-data folder.
std::wstring ConfigFolder(os::ShellApi& shell);
std::wstring ConfigFilePath(os::ShellApi& shell);
// Creates the folder with every missing parent. A failure is not reported:
// later reads then find no file and later writes fail on their own.
void EnsureConfigFolder(os::ShellApi& shell);

}  // namespace quillet::config
