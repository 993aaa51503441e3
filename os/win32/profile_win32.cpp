#include "os/win32/profile_win32.h"

#include <windows.h>

#include <vector>

namespace quillet::os::win32 {

ProfileString Win32ProfileApi::GetPrivateProfileStringW(const std::wstring& section,
                                                        const std::wstring& key,
                                                        const std::wstring& defaultValue,
                                                        Dword bufferSize,
                                                        const std::wstring& file) {
  if (bufferSize == 0) return {};
  std::vector<wchar_t> buffer(bufferSize, L'\0');
  const DWORD count = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(),
                                                 buffer.data(), bufferSize, file.c_str());
  // The count is what callers of the real function use; never trust it past
  // the buffer.
  const DWORD length = count < bufferSize ? count : bufferSize - 1;
  return {std::wstring(buffer.data(), length), count};
}

ProfileWriteResult Win32ProfileApi::WritePrivateProfileStringW(const std::wstring& section,
                                                               const std::wstring& key,
                                                               const std::wstring& value,
                                                               const std::wstring& file) {
  const BOOL ok =
      ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
  return {ok != FALSE, ok ? Dword{kErrorSuccess} : Dword{::GetLastError()}};
}

ProfileWriteResult Win32ProfileApi::DeletePrivateProfileSection(const std::wstring& section,
                                                                const std::wstring& file) {
  const BOOL ok = ::WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, file.c_str());
  return {ok != FALSE, ok ? Dword{kErrorSuccess} : Dword{::GetLastError()}};
}

}  // namespace quillet::os::win32
