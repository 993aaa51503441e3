// Fuzz input as the program's texts: two bytes per UTF-16 code unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace quillet::fuzz {

inline std::wstring WideText(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

// A broken property ends the run, so the fuzzer keeps the input.
inline void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace quillet::fuzz
