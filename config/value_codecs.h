// The texts values take in the configuration file, beyond plain text.
//  integer: decimal, or hexadecimal after "0x"/"0X" or "$", with an optional
//           sign; a number that does not fit 32 bits is unreadable. A
//           hexadecimal number is a 32-bit pattern, so "$FFFFFFFF" is -1.
//  flag:    written "1"/"0"; read as an integer, non-zero is true.
//  yes/no:  written "Yes"/"No"; true exactly when the upper-cased text is "YES".
//  character: codes 33..127 as themselves, others as "#" + decimal code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::config {

std::optional<std::int32_t> ParseIniInteger(std::wstring_view text);

std::wstring YesNoText(bool value);
bool ParseYesNo(std::wstring_view text);

std::wstring CharText(std::uint8_t ch);
// Empty gives 0; "#" and at least one more character gives the number after
// it (0 when unreadable) cut to 8 bits; anything else its first character,
// cut to 8 bits as well.
std::uint8_t ParseCharText(std::wstring_view text);

}  // namespace quillet::config
