// Keyboard layout tables for the simulated keyboard, written the way Windows
// keyboard layout DLLs hold them: per key, the character of each shift state,
// Caps Lock attributes and dead keys. LayoutVkKeyScan and LayoutToUnicode
// answer from a table the way VkKeyScanExW and ToUnicodeEx do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/keyboard_api.h"

namespace quillet::os::sim {

// A cell of the table: a character, kNone, or Dead(c) for a dead key whose
// spacing form is c.
inline constexpr std::uint32_t kNone = 0xF000;  // WCH_NONE
inline constexpr std::uint32_t kDeadFlag = 0x10000;
constexpr std::uint32_t Dead(char16_t c) {
  return kDeadFlag | c;
}

// Key attributes (as in the layout DLLs).
inline constexpr Byte kCapLok = 0x01;       // Caps Lock acts as Shift on the plain and Shift levels
inline constexpr Byte kCapLokAltGr = 0x04;  // ... and on the AltGr levels

// Characters of one key per shift state, in the order VkKeyScanExW tries them.
struct KeyCells {
  std::uint32_t plain = kNone;
  std::uint32_t shift = kNone;
  std::uint32_t ctrl = kNone;
  std::uint32_t shiftCtrl = kNone;
  std::uint32_t altGr = kNone;       // Ctrl+Alt
  std::uint32_t shiftAltGr = kNone;  // Shift+Ctrl+Alt
};

struct LayoutKey {
  Byte vk = 0;
  Byte attributes = 0;
  KeyCells cells;
};

struct KeyboardLayoutTable {
  KeyboardLayout hkl = 0;
  std::string name;
  // Without AltGr, Ctrl+Alt types nothing.
  bool hasAltGr = false;
  // In the order Windows searches its character tables for VkKeyScanExW.
  std::vector<LayoutKey> keys;
};

// The published Windows layouts, as far as the typing routine needs them.
const KeyboardLayoutTable& UsLayout();      // 00000409 US
const KeyboardLayoutTable& GermanLayout();  // 00000407 German
const KeyboardLayoutTable& FrenchLayout();  // 0000040C French
const KeyboardLayoutTable& UkLayout();      // 00000809 United Kingdom

// Letter keys "A".."Z" with Caps Lock, lower case plain and upper case with
// Shift; for building tables.
void AddLetterKeys(std::vector<LayoutKey>& keys, const char* vks);

// Enter, Backspace, Escape, Space, Tab and Break with their control
// characters, as every Latin layout has them (appended after the other keys).
void AddControlKeys(std::vector<LayoutKey>& keys);

// VkKeyScanExW on a table: the first key and shift state, in search order,
// whose cell holds ch (dead keys count). Ctrl+letter gives 0x01..0x1A.
std::int16_t LayoutVkKeyScan(const KeyboardLayoutTable& layout, wchar_t ch);

// ToUnicodeEx on a table for one key with the given shift-state bits
// (kShiftStateShift | kShiftStateCtrl | kShiftStateAlt) and Caps Lock.
ToUnicodeResult LayoutToUnicode(const KeyboardLayoutTable& layout, Byte vk, Byte shiftState,
                                bool capsLock);

}  // namespace quillet::os::sim
