// The registry seam on real advapi32: a thin pass-through.
#pragma once

#include "os/registry_api.h"

namespace quillet::os::win32 {

class Win32RegistryApi final : public RegistryApi {
 public:
  RegistryOpenResult RegOpenKeyExW(RegistryKey parent, const std::wstring& subKey,
                                   Dword access) override;
  RegistryOpenResult RegCreateKeyExW(RegistryKey parent, const std::wstring& subKey, Dword options,
                                     Dword access) override;
  Dword RegCloseKey(RegistryKey key) override;
  Dword RegSetValueExW(RegistryKey key, const std::wstring& name, Dword type,
                       const std::vector<Byte>& data) override;
  RegistryValue RegQueryValueExW(RegistryKey key, const std::wstring& name,
                                 Dword dataRoom) override;
  RegistryEnumValue RegEnumValueW(RegistryKey key, Dword index, Dword nameRoom,
                                  Dword dataRoom) override;
  Dword RegDeleteValueW(RegistryKey key, const std::wstring& name) override;
};

}  // namespace quillet::os::win32
