// The shell and file-system calls the configuration location needs: the
// user's roaming application-data folder and a few folder/file checks.
#pragma once

#include <string>

namespace quillet::os {

// CSIDL_APPDATA: the per-user roaming application-data folder.
inline constexpr int kCsidlAppData = 26;

class ShellApi {
 public:
  virtual ~ShellApi() = default;

  // SHGetSpecialFolderLocation(CSIDL_APPDATA) + SHGetPathFromIDListW: the
  // folder without a trailing separator, or empty when the shell cannot say.
  virtual std::wstring AppDataFolder() = 0;
  virtual bool DirectoryExists(const std::wstring& path) = 0;
  // Creates one folder; its parent must exist. CreateDirectoryW.
  virtual bool MakeDirectory(const std::wstring& path) = 0;
  virtual bool FileExists(const std::wstring& path) = 0;
};

}  // namespace quillet::os
