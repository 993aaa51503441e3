#include "os/win32/shell_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

namespace quillet::os::win32 {

namespace {

struct PidlFree {
  void operator()(ITEMIDLIST* pidl) const noexcept { ::CoTaskMemFree(pidl); }
};
using UniquePidl = std::unique_ptr<ITEMIDLIST, PidlFree>;

DWORD Attributes(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str());
}

}  // namespace

std::wstring Win32ShellApi::AppDataFolder() {
  const std::lock_guard lock(mutex_);
  if (!app_data_.empty()) return app_data_;
  LPITEMIDLIST raw = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, kCsidlAppData, &raw)) || raw == nullptr)
    return {};
  UniquePidl pidl(raw);
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(pidl.get(), path)) return {};
  app_data_ = path;
  return app_data_;
}

bool Win32ShellApi::DirectoryExists(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32ShellApi::MakeDirectory(const std::wstring& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool Win32ShellApi::FileExists(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace quillet::os::win32
