#include "config/value_codecs.h"

#include <limits>

namespace quillet::config {

namespace {

int HexDigit(wchar_t ch) {
  if (ch >= L'0' && ch <= L'9') return ch - L'0';
  if (ch >= L'a' && ch <= L'f') return ch - L'a' + 10;
  if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::wstring_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (!text.empty() && text.front() == L'$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  // Decimal must fit the signed range; hexadecimal may use all 32 bits.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
  std::uint64_t magnitude = 0;
  for (wchar_t ch : text) {
    const int digit = base == 16 ? HexDigit(ch) : (ch >= L'0' && ch <= L'9' ? ch - L'0' : -1);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * base + static_cast<unsigned>(digit);
    if (magnitude > limit) return std::nullopt;
  }
  auto pattern = static_cast<std::uint32_t>(magnitude);
  if (negative) pattern = 0u - pattern;
  return static_cast<std::int32_t>(pattern);
}

std::wstring YesNoText(bool value) {
  return value ? L"Yes" : L"No";
}

bool ParseYesNo(std::wstring_view text) {
  if (text.size() != 3) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    const wchar_t upper = text[i] >= L'a' && text[i] <= L'z' ? text[i] - 32 : text[i];
    if (upper != L"YES"[i]) return false;
  }
  return true;
}

std::wstring CharText(std::uint8_t ch) {
  if (ch >= 33 && ch <= 127) return std::wstring(1, static_cast<wchar_t>(ch));
  return L"#" + std::to_wstring(ch);
}

std::uint8_t ParseCharText(std::wstring_view text) {
  if (text.empty()) return 0;
  if (text.front() == L'#' && text.size() > 1) {
    const auto number = ParseIniInteger(text.substr(1));
    return number ? static_cast<std::uint8_t>(static_cast<std::uint32_t>(*number) & 0xFF) : 0;
  }
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(text.front()) & 0xFF);
}

}  // namespace quillet::config
