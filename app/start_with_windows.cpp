#include "app/start_with_windows.h"

#include <cstdint>

#include "os/exception.h"

namespace quillet::app {

namespace {

constexpr os::Dword kKeyQueryValue = 0x0001;
constexpr os::Dword kKeySetValue = 0x0002;
constexpr os::Dword kRegExpandSz = 2;
// Values longer than this cannot be a path Windows starts.
constexpr os::Dword kLargestValue = 64 * 1024;

bool IsBlank(wchar_t ch) {
  return ch == L' ' || ch == L'\t';
}

// One letter case for the scripts paths are written in here: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Other letters compare as they are.
wchar_t FoldCase(wchar_t ch) {
  const auto c = static_cast<std::uint32_t>(ch);
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : ch;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 32);
  if (c >= 0x100 && c <= 0x137) return static_cast<wchar_t>(c & ~1u);
  if (c >= 0x139 && c <= 0x148) return static_cast<wchar_t>(c % 2 == 0 ? c - 1 : c);
  if (c >= 0x14A && c <= 0x177) return static_cast<wchar_t>(c & ~1u);
  if (c >= 0x179 && c <= 0x17E) return static_cast<wchar_t>(c % 2 == 0 ? c - 1 : c);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<wchar_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 80);
  return ch;
}

std::wstring RunKeyName() {
  return L"HKEY_CURRENT_USER\\" + std::wstring(kRunKeyPath) + L"\\" + std::wstring(kRunValueName);
}

[[noreturn]] void Refused(const wchar_t* what, os::Dword error) {
  throw Exception(std::wstring(what) + L" " + RunKeyName() + L" (Windows error " +
                  std::to_wstring(error) + L")");
}

}  // namespace

std::wstring RunValueProgram(std::wstring_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  if (!value.empty() && value.front() == L'"') {
    value.remove_prefix(1);
    return std::wstring(value.substr(0, value.find(L'"')));
  }
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  return std::wstring(value);
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

StartWithWindows::StartWithWindows(os::RegistryApi& registry, std::wstring program)
    : registry_(registry), program_(std::move(program)) {}

bool StartWithWindows::Enabled() const {
  const os::RegistryOpenResult opened =
      registry_.RegOpenKeyExW(os::kHkeyCurrentUser, std::wstring(kRunKeyPath), kKeyQueryValue);
  if (opened.error != os::kErrorSuccess) return false;
  const os::RegKey key(registry_, opened.key);
  for (os::Dword room = 1024; room <= kLargestValue; room *= 2) {
    const os::RegistryValue value =
        registry_.RegQueryValueExW(key.Get(), std::wstring(kRunValueName), room);
    if (value.error == os::kErrorMoreData) continue;
    if (value.error != os::kErrorSuccess) return false;
    if (value.type != os::kRegSz && value.type != kRegExpandSz) return false;
    return SamePath(RunValueProgram(os::RegistryStringText(value.data)), program_);
  }
  return false;
}

void StartWithWindows::Set(bool on) {
  if (on) {
    const os::RegistryOpenResult created =
        registry_.RegCreateKeyExW(os::kHkeyCurrentUser, std::wstring(kRunKeyPath),
                                  os::kRegOptionNonVolatile, kKeyQueryValue | kKeySetValue);
    if (created.error != os::kErrorSuccess) Refused(L"Unable to write to", created.error);
    const os::RegKey key(registry_, created.key);
    const os::Dword error =
        registry_.RegSetValueExW(key.Get(), std::wstring(kRunValueName), os::kRegSz,
                                 os::RegistryStringData(L"\"" + program_ + L"\""));
    if (error != os::kErrorSuccess) Refused(L"Unable to write to", error);
    return;
  }
  if (!Enabled()) return;  // nothing of ours to remove
  const os::RegistryOpenResult opened = registry_.RegOpenKeyExW(
      os::kHkeyCurrentUser, std::wstring(kRunKeyPath), kKeyQueryValue | kKeySetValue);
  if (opened.error != os::kErrorSuccess) Refused(L"Unable to remove", opened.error);
  const os::RegKey key(registry_, opened.key);
  const os::Dword error = registry_.RegDeleteValueW(key.Get(), std::wstring(kRunValueName));
  if (error != os::kErrorSuccess && error != os::kErrorFileNotFound)
    Refused(L"Unable to remove", error);
}

bool StartWithWindows::Toggle() {
  Set(!Enabled());
  return Enabled();
}

}  // namespace quillet::app
