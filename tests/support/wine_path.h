// CTest and the scripts hand Linux paths; under Wine they are on drive Z:.
#pragma once

#include <string>
#include <string_view>

namespace quillet::testsupport {

// "/work/x/y.exe" -> "Z:\work\x\y.exe"; a path that is not absolute is kept.
inline std::wstring WindowsPath(std::string_view path) {
  std::wstring out;
  for (const char ch : path) out.push_back(static_cast<unsigned char>(ch));
  if (out.empty() || out[0] != L'/') return out;
  for (wchar_t& ch : out) {
    if (ch == L'/') ch = L'\\';
  }
  return L"Z:" + out;
}

}  // namespace quillet::testsupport
