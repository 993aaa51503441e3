// A registry double: an in-memory tree of keys under the two roots the
// program uses. Key and value names match ignoring ASCII letter case, values
// enumerate in the order they were first set, and every open handle must be
// closed (OpenHandles tells a test whether one leaked).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "os/registry_api.h"

namespace quillet::os::sim {

class SimRegistry final : public RegistryApi {
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

  // The test's side: paths are "HKLM\..." or "HKCU\...".
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& value);
  void SetValue(const std::wstring& path, const std::wstring& name, Dword type,
                std::vector<Byte> data);
  bool KeyExists(const std::wstring& path) const;
  // The value, or one with error ERROR_FILE_NOT_FOUND.
  RegistryValue Value(const std::wstring& path, const std::wstring& name) const;
  // Every later create, set or delete fails with this error (0: none).
  void FailWrites(Dword error) { failWrites_ = error; }
  std::size_t OpenHandles() const { return handles_.size(); }

 private:
  struct StoredValue {
    std::wstring name;
    Dword type = 0;
    std::vector<Byte> data;
  };
  struct Key {
    std::vector<StoredValue> values;
  };

  std::wstring PathOf(RegistryKey parent, const std::wstring& subKey) const;
  RegistryKey NewHandle(const std::wstring& path);
  Key* Find(RegistryKey key);

  std::map<std::wstring, Key> keys_;  // by upper-cased full path
  std::map<RegistryKey, std::wstring> handles_;
  RegistryKey next_ = 0x1000;
  Dword failWrites_ = 0;
};

}  // namespace quillet::os::sim
