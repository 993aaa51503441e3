#include "os/win32/registry_win32.h"

#include <windows.h>

namespace quillet::os::win32 {

namespace {

HKEY AsHkey(RegistryKey key) {
  return reinterpret_cast<HKEY>(key);
}
RegistryKey AsKey(HKEY key) {
  return reinterpret_cast<RegistryKey>(key);
}

}  // namespace

RegistryOpenResult Win32RegistryApi::RegOpenKeyExW(RegistryKey parent, const std::wstring& subKey,
                                                   Dword access) {
  HKEY key = nullptr;
  const LONG error = ::RegOpenKeyExW(AsHkey(parent), subKey.c_str(), 0, access, &key);
  return {static_cast<Dword>(error), error == ERROR_SUCCESS ? AsKey(key) : 0};
}

RegistryOpenResult Win32RegistryApi::RegCreateKeyExW(RegistryKey parent, const std::wstring& subKey,
                                                     Dword options, Dword access) {
  HKEY key = nullptr;
  const LONG error = ::RegCreateKeyExW(AsHkey(parent), subKey.c_str(), 0, nullptr, options, access,
                                       nullptr, &key, nullptr);
  return {static_cast<Dword>(error), error == ERROR_SUCCESS ? AsKey(key) : 0};
}

Dword Win32RegistryApi::RegCloseKey(RegistryKey key) {
  return static_cast<Dword>(::RegCloseKey(AsHkey(key)));
}

Dword Win32RegistryApi::RegSetValueExW(RegistryKey key, const std::wstring& name, Dword type,
                                       const std::vector<Byte>& data) {
  return static_cast<Dword>(::RegSetValueExW(AsHkey(key), name.c_str(), 0, type, data.data(),
                                             static_cast<DWORD>(data.size())));
}

RegistryValue Win32RegistryApi::RegQueryValueExW(RegistryKey key, const std::wstring& name,
                                                 Dword dataRoom) {
  RegistryValue result;
  result.data.resize(dataRoom);
  DWORD type = 0;
  DWORD size = dataRoom;
  result.error = static_cast<Dword>(
      ::RegQueryValueExW(AsHkey(key), name.c_str(), nullptr, &type, result.data.data(), &size));
  result.type = type;
  result.data.resize(result.error == ERROR_SUCCESS && size <= dataRoom ? size : 0);
  return result;
}

RegistryEnumValue Win32RegistryApi::RegEnumValueW(RegistryKey key, Dword index, Dword nameRoom,
                                                  Dword dataRoom) {
  RegistryEnumValue result;
  std::wstring name(nameRoom + 1, L'\0');
  result.data.resize(dataRoom);
  DWORD nameLength = nameRoom;
  DWORD type = 0;
  DWORD size = dataRoom;
  result.error = static_cast<Dword>(::RegEnumValueW(AsHkey(key), index, name.data(), &nameLength,
                                                    nullptr, &type, result.data.data(), &size));
  if (result.error == ERROR_SUCCESS) {
    result.name.assign(name.data(), nameLength < nameRoom ? nameLength : nameRoom);
    result.type = type;
    result.data.resize(size <= dataRoom ? size : 0);
  } else {
    result.data.clear();
  }
  return result;
}

Dword Win32RegistryApi::RegDeleteValueW(RegistryKey key, const std::wstring& name) {
  return static_cast<Dword>(::RegDeleteValueW(AsHkey(key), name.c_str()));
}

}  // namespace quillet::os::win32
