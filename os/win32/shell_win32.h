// The shell seam on real shell32/kernel32: a thin pass-through.
#pragma once

#include "os/shell_api.h"

namespace quillet::os::win32 {

class Win32ShellApi final : public ShellApi {
 public:
  std::wstring AppDataFolder() override;
  bool DirectoryExists(const std::wstring& path) override;
  bool MakeDirectory(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;
};

}  // namespace quillet::os::win32
