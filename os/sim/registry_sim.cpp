#include "os/sim/registry_sim.h"

#include <algorithm>

namespace quillet::os::sim {

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& ch : text) {
    if (ch >= L'a' && ch <= L'z') ch = static_cast<wchar_t>(ch - 32);
  }
  return text;
}

std::wstring Trimmed(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  while (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  return path;
}

std::wstring RootName(RegistryKey key) {
  if (key == kHkeyLocalMachine) return L"HKLM";
  if (key == kHkeyCurrentUser) return L"HKCU";
  return L"";
}

}  // namespace

std::wstring SimRegistry::PathOf(RegistryKey parent, const std::wstring& subKey) const {
  std::wstring base = RootName(parent);
  if (base.empty()) {
    const auto it = handles_.find(parent);
    if (it == handles_.end()) return L"";
    base = it->second;
  }
  const std::wstring rest = Trimmed(subKey);
  return Upper(rest.empty() ? base : base + L"\\" + rest);
}

RegistryKey SimRegistry::NewHandle(const std::wstring& path) {
  const RegistryKey handle = next_;
  next_ += 4;
  handles_[handle] = path;
  return handle;
}

SimRegistry::Key* SimRegistry::Find(RegistryKey key) {
  const auto handle = handles_.find(key);
  if (handle == handles_.end()) return nullptr;
  const auto it = keys_.find(handle->second);
  return it == keys_.end() ? nullptr : &it->second;
}

RegistryOpenResult SimRegistry::RegOpenKeyExW(RegistryKey parent, const std::wstring& subKey,
                                              Dword) {
  const std::wstring path = PathOf(parent, subKey);
  if (path.empty()) return {kErrorInvalidHandle, 0};
  if (keys_.find(path) == keys_.end()) return {kErrorFileNotFound, 0};
  return {kErrorSuccess, NewHandle(path)};
}

RegistryOpenResult SimRegistry::RegCreateKeyExW(RegistryKey parent, const std::wstring& subKey,
                                                Dword, Dword) {
  const std::wstring path = PathOf(parent, subKey);
  if (path.empty()) return {kErrorInvalidHandle, 0};
  if (failWrites_ != 0) return {failWrites_, 0};
  // Every level on the way exists afterwards, as with the real call.
  for (std::size_t end = path.find(L'\\'); end != std::wstring::npos;
       end = path.find(L'\\', end + 1)) {
    keys_.try_emplace(path.substr(0, end));
  }
  keys_.try_emplace(path);
  return {kErrorSuccess, NewHandle(path)};
}

Dword SimRegistry::RegCloseKey(RegistryKey key) {
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

Dword SimRegistry::RegSetValueExW(RegistryKey key, const std::wstring& name, Dword type,
                                  const std::vector<Byte>& data) {
  Key* k = Find(key);
  if (k == nullptr) return kErrorInvalidHandle;
  if (failWrites_ != 0) return failWrites_;
  const std::wstring upper = Upper(name);
  const auto it = std::find_if(k->values.begin(), k->values.end(),
                               [&upper](const StoredValue& v) { return Upper(v.name) == upper; });
  if (it != k->values.end()) {
    it->type = type;
    it->data = data;
  } else {
    k->values.push_back({name, type, data});
  }
  return kErrorSuccess;
}

RegistryValue SimRegistry::RegQueryValueExW(RegistryKey key, const std::wstring& name,
                                            Dword dataRoom) {
  Key* k = Find(key);
  if (k == nullptr) return {kErrorInvalidHandle, 0, {}};
  const std::wstring upper = Upper(name);
  for (const StoredValue& v : k->values) {
    if (Upper(v.name) != upper) continue;
    if (v.data.size() > dataRoom) return {kErrorMoreData, v.type, {}};
    return {kErrorSuccess, v.type, v.data};
  }
  return {kErrorFileNotFound, 0, {}};
}

RegistryEnumValue SimRegistry::RegEnumValueW(RegistryKey key, Dword index, Dword nameRoom,
                                             Dword dataRoom) {
  Key* k = Find(key);
  if (k == nullptr) return {kErrorInvalidHandle, L"", 0, {}};
  if (index >= k->values.size()) return {kErrorNoMoreItems, L"", 0, {}};
  const StoredValue& v = k->values[index];
  if (v.name.size() + 1 > nameRoom || v.data.size() > dataRoom) return {kErrorMoreData, L"", 0, {}};
  return {kErrorSuccess, v.name, v.type, v.data};
}

Dword SimRegistry::RegDeleteValueW(RegistryKey key, const std::wstring& name) {
  Key* k = Find(key);
  if (k == nullptr) return kErrorInvalidHandle;
  if (failWrites_ != 0) return failWrites_;
  const std::wstring upper = Upper(name);
  const auto it = std::find_if(k->values.begin(), k->values.end(),
                               [&upper](const StoredValue& v) { return Upper(v.name) == upper; });
  if (it == k->values.end()) return kErrorFileNotFound;
  k->values.erase(it);
  return kErrorSuccess;
}

void SimRegistry::SetString(const std::wstring& path, const std::wstring& name,
                            const std::wstring& value) {
  SetValue(path, name, kRegSz, RegistryStringData(value));
}

void SimRegistry::SetValue(const std::wstring& path, const std::wstring& name, Dword type,
                           std::vector<Byte> data) {
  const std::wstring upper = Upper(Trimmed(path));
  for (std::size_t end = upper.find(L'\\'); end != std::wstring::npos;
       end = upper.find(L'\\', end + 1)) {
    keys_.try_emplace(upper.substr(0, end));
  }
  Key& k = keys_[upper];
  const std::wstring upperName = Upper(name);
  for (StoredValue& v : k.values) {
    if (Upper(v.name) == upperName) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  k.values.push_back({name, type, std::move(data)});
}

bool SimRegistry::KeyExists(const std::wstring& path) const {
  return keys_.count(Upper(Trimmed(path))) != 0;
}

RegistryValue SimRegistry::Value(const std::wstring& path, const std::wstring& name) const {
  const auto it = keys_.find(Upper(Trimmed(path)));
  if (it != keys_.end()) {
    const std::wstring upperName = Upper(name);
    for (const StoredValue& v : it->second.values) {
      if (Upper(v.name) == upperName) return {kErrorSuccess, v.type, v.data};
    }
  }
  return {kErrorFileNotFound, 0, {}};
}

}  // namespace quillet::os::sim
