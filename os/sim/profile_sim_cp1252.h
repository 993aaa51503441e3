// Windows-1252 conversion as the system does it for ANSI profile files, and
// the UTF-8 encoder the doubles share.
#pragma once

#include <string>
#include <string_view>

namespace quillet::os::sim {

char16_t Cp1252ToUnicode(unsigned char byte);
// Best fit where the code page has no such character, '?' where nothing fits.
unsigned char UnicodeToCp1252(char16_t ch);
// Appends UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, std::u16string_view text);

}  // namespace quillet::os::sim
