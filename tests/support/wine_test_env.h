// What the Wine tests read from the harness and write back to it: the
// environment wine-run sets, the null-modem helper's control file, the COM
// links of the prefix, and texts as the receiver logs them.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/support/wine_path.h"

namespace quillet::testsupport {

// A variable of the environment, "" when unset.
inline std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// "unplug 2\n" / "plug 2\n" to the null-modem helper: the pair's second port
// goes (its pseudo-terminal ended) or comes back (a new one under its name).
inline bool Cable(const char* command) {
  HANDLE control = CreateFileW(Env(L"QUILLET_COM_CONTROL_WIN").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (control == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(control, command, static_cast<DWORD>(std::strlen(command)), &written,
                            nullptr) != FALSE;
  CloseHandle(control);
  return ok && written == std::strlen(command);
}

// Whether the prefix links `name` ("com8"). Listed, not asked for: a path
// ending in "com8" names the device itself.
inline bool ComLinked(const wchar_t* name) {
  const std::wstring prefix = Env(L"WINEPREFIX");
  if (prefix.empty()) return false;
  const std::wstring pattern =
      WindowsPath(std::string(prefix.begin(), prefix.end())) + L"\\dosdevices\\com*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool linked = false;
  do {
    linked = linked || _wcsicmp(found.cFileName, name) == 0;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return linked;
}

// Bytes as the receiver logs characters: four hex digits each.
inline std::string Hex4(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char ch : text)
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(ch >> shift) & 0xF];
  return out;
}

inline std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

}  // namespace quillet::testsupport
