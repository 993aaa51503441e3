#include <utility>

#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

constexpr Byte kCtrlAlt = kShiftStateCtrl | kShiftStateAlt;

// Shift states in the order VkKeyScanExW tries a key's cells.
constexpr std::pair<std::uint32_t KeyCells::*, Byte> kLevels[] = {
    {&KeyCells::plain, 0},
    {&KeyCells::shift, kShiftStateShift},
    {&KeyCells::ctrl, kShiftStateCtrl},
    {&KeyCells::shiftCtrl, kShiftStateShift | kShiftStateCtrl},
    {&KeyCells::altGr, kCtrlAlt},
    {&KeyCells::shiftAltGr, kShiftStateShift | kCtrlAlt},
};

std::uint32_t CellFor(const LayoutKey& key, Byte bits) {
  for (const auto& [cell, state] : kLevels)
    if (state == bits) return key.cells.*cell;
  return kNone;  // Alt without Ctrl types nothing
}

const LayoutKey* FindKey(const KeyboardLayoutTable& layout, Byte vk) {
  for (const LayoutKey& key : layout.keys)
    if (key.vk == vk) return &key;
  return nullptr;
}

}  // namespace

void AddLetterKeys(std::vector<LayoutKey>& keys, const char* vks) {
  for (const char* p = vks; *p; ++p) {
    const auto upper = static_cast<std::uint32_t>(*p);
    keys.push_back({static_cast<Byte>(upper), kCapLok, {.plain = upper + 0x20, .shift = upper}});
  }
}

void AddControlKeys(std::vector<LayoutKey>& keys) {
  keys.push_back({kVkBack, 0, {.plain = 0x08, .shift = 0x08, .ctrl = 0x7F}});
  keys.push_back({kVkEscape, 0, {.plain = 0x1B, .shift = 0x1B, .ctrl = 0x1B}});
  keys.push_back({kVkReturn, 0, {.plain = u'\r', .shift = u'\r', .ctrl = u'\n'}});
  keys.push_back({0x20, 0, {.plain = u' ', .shift = u' ', .ctrl = u' '}});
  keys.push_back(
      {0x03, 0, {.plain = 0x03, .shift = 0x03, .ctrl = 0x03}});  // VK_CANCEL (Ctrl+Break)
  keys.push_back({kVkTab, 0, {.plain = u'\t', .shift = u'\t'}});
}

std::int16_t LayoutVkKeyScan(const KeyboardLayoutTable& layout, wchar_t ch) {
  for (const LayoutKey& key : layout.keys) {
    for (const auto& [cell, state] : kLevels) {
      const std::uint32_t value = key.cells.*cell;
      if (value != kNone && (value & 0xFFFF) == static_cast<std::uint32_t>(ch))
        return static_cast<std::int16_t>((state << 8) | key.vk);
    }
  }
  // Ctrl+A..Ctrl+Z are no table entries; Windows makes them itself.
  if (ch >= 0x01 && ch <= 0x1A)
    return static_cast<std::int16_t>((kShiftStateCtrl << 8) | ('A' + ch - 1));
  return -1;
}

ToUnicodeResult LayoutToUnicode(const KeyboardLayoutTable& layout, Byte vk, Byte shiftState,
                                bool capsLock) {
  Byte bits = shiftState & (kShiftStateShift | kCtrlAlt);
  if (!layout.hasAltGr && (bits & kCtrlAlt) == kCtrlAlt) return {};
  if (const LayoutKey* key = FindKey(layout, vk)) {
    if (capsLock && (key->attributes & kCapLok) && (bits & ~kShiftStateShift) == 0)
      bits ^= kShiftStateShift;
    if (capsLock && (key->attributes & kCapLokAltGr) && (bits & kCtrlAlt) == kCtrlAlt)
      bits ^= kShiftStateShift;
    const std::uint32_t value = CellFor(*key, bits);
    if (value != kNone) {
      const std::wstring text(1, static_cast<wchar_t>(value & 0xFFFF));
      return {(value & kDeadFlag) ? -1 : 1, text};
    }
  }
  if ((bits & kCtrlAlt) == kShiftStateCtrl && vk >= 'A' && vk <= 'Z')
    return {1, std::wstring(1, static_cast<wchar_t>(vk - 'A' + 1))};
  return {};
}

}  // namespace quillet::os::sim
