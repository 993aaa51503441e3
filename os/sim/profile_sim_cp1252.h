// Windows-1252 conversion as the system does it for ANSI profile files.
#pragma once

namespace quillet::os::sim {

char16_t Cp1252ToUnicode(unsigned char byte);
// Best fit where the code page has no such character, '?' where nothing fits.
unsigned char UnicodeToCp1252(char16_t ch);

}  // namespace quillet::os::sim
