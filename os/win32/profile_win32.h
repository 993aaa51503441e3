// The profile-file seam on real kernel32: a thin pass-through.
#pragma once

#include "os/profile_api.h"

namespace quillet::os::win32 {

class Win32ProfileApi final : public ProfileApi {
 public:
  ProfileString GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                         const std::wstring& defaultValue, Dword bufferSize,
                                         const std::wstring& file) override;
  ProfileWriteResult WritePrivateProfileStringW(const std::wstring& section,
                                                const std::wstring& key, const std::wstring& value,
                                                const std::wstring& file) override;
  ProfileWriteResult DeletePrivateProfileSection(const std::wstring& section,
                                                 const std::wstring& file) override;
};

}  // namespace quillet::os::win32
