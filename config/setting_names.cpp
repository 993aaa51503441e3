#include "config/setting_names.h"

namespace quillet::config {

namespace {

wchar_t AsciiUpper(wchar_t ch) {
  return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - 32) : ch;
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace

std::size_t ParseSettingName(const SettingNames& names, std::wstring_view text) {
  for (std::size_t i = 0; i < names.texts.size(); ++i) {
    if (EqualIgnoringCase(names.texts[i], text)) return i;
  }
  return names.fallback;
}

}  // namespace quillet::config
