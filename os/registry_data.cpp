#include "os/registry_api.h"

namespace quillet::os {

std::vector<Byte> RegistryStringData(const std::wstring& text) {
  std::vector<Byte> data;
  auto put = [&data](std::uint32_t unit) {
    data.push_back(static_cast<Byte>(unit & 0xFF));
    data.push_back(static_cast<Byte>(unit >> 8));
  };
  for (wchar_t ch : text) {
    const auto code = static_cast<std::uint32_t>(ch);
    if (code > 0xFFFF) {  // only where wchar_t has 32 bits
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  put(0);
  return data;
}

std::wstring RegistryStringText(const std::vector<Byte>& data) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    std::uint32_t unit = data[i] | (std::uint32_t{data[i + 1]} << 8);
    if (unit == 0) break;
    if constexpr (sizeof(wchar_t) == 4) {
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < data.size()) {
        const std::uint32_t low = data[i + 2] | (std::uint32_t{data[i + 3]} << 8);
        if (low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
    }
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

}  // namespace quillet::os
