// The shell seam on real shell32/kernel32: a thin pass-through, except that
// the application-data folder is asked for once (each answer costs the
// shell a registry walk, and the folder does not move while we run).
#pragma once

#include <mutex>

#include "os/shell_api.h"

namespace quillet::os::win32 {

class Win32ShellApi final : public ShellApi {
 public:
  std::wstring AppDataFolder() override;
  bool DirectoryExists(const std::wstring& path) override;
  bool MakeDirectory(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;

 private:
  std::mutex mutex_;
  std::wstring app_data_;  // empty until the shell has answered
};

}  // namespace quillet::os::win32
