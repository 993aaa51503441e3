// German (00000407), QWERTZ, the layout Windows installs as "German".
//
// Source: the published Windows German layout (kbdgr) as the developer knows
// it from its documentation and daily use; no layout file was at hand.
// Sure of: every plain and Shift character; AltGr ² ³ { [ ] } \ @ € ~ | µ;
// Caps Lock on the letters and on ä ö ü (not on ß); the dead keys ^ (plain,
// left of 1; Shift gives a plain °), ´ and ` (plain and Shift on the key
// right of ß). Less sure of the control characters: Ctrl+ü 0x1B, Ctrl++ 0x1D
// (the keys where US has [ and ]), Ctrl+# and Ctrl+< 0x1C; Ctrl+Shift+6 0x1E
// and Ctrl+Shift+- 0x1F are a guess and no test depends on them.
//
// Search order: scan-code order, control keys last (see layout_us.cpp); it
// decides only 0x1B (Ctrl+ü before Escape) and 0x1C (Ctrl+# before Ctrl+<).
#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

KeyboardLayoutTable MakeGerman() {
  KeyboardLayoutTable t;
  t.hkl = 0x04070407;
  t.name = "German";
  t.hasAltGr = true;
  auto& k = t.keys;
  k.push_back({0xDC, 0, {.plain = Dead(u'^'), .shift = 0xB0}});  // VK_OEM_5: ^ (dead) °
  k.push_back({'1', 0, {.plain = u'1', .shift = u'!'}});
  k.push_back({'2', 0, {.plain = u'2', .shift = u'"', .altGr = 0xB2}});
  k.push_back({'3', 0, {.plain = u'3', .shift = 0xA7, .altGr = 0xB3}});
  k.push_back({'4', 0, {.plain = u'4', .shift = u'$'}});
  k.push_back({'5', 0, {.plain = u'5', .shift = u'%'}});
  k.push_back({'6', 0, {.plain = u'6', .shift = u'&', .shiftCtrl = 0x1E}});
  k.push_back({'7', 0, {.plain = u'7', .shift = u'/', .altGr = u'{'}});
  k.push_back({'8', 0, {.plain = u'8', .shift = u'(', .altGr = u'['}});
  k.push_back({'9', 0, {.plain = u'9', .shift = u')', .altGr = u']'}});
  k.push_back({'0', 0, {.plain = u'0', .shift = u'=', .altGr = u'}'}});
  k.push_back({0xDB, 0, {.plain = 0xDF, .shift = u'?', .altGr = u'\\'}});  // VK_OEM_4: ß
  k.push_back({0xDD, 0, {.plain = Dead(0xB4), .shift = Dead(u'`')}});      // VK_OEM_6: ´ `
  k.push_back({'Q', kCapLok, {.plain = u'q', .shift = u'Q', .altGr = u'@'}});
  k.push_back({'W', kCapLok, {.plain = u'w', .shift = u'W'}});
  k.push_back({'E', kCapLok, {.plain = u'e', .shift = u'E', .altGr = 0x20AC}});
  AddLetterKeys(k, "RTZUIOP");
  k.push_back({0xBA, kCapLok, {.plain = 0xFC, .shift = 0xDC, .ctrl = 0x1B}});  // VK_OEM_1: ü Ü
  k.push_back(
      {0xBB, 0, {.plain = u'+', .shift = u'*', .ctrl = 0x1D, .altGr = u'~'}});  // VK_OEM_PLUS
  AddLetterKeys(k, "ASDFGHJKL");
  k.push_back({0xC0, kCapLok, {.plain = 0xF6, .shift = 0xD6}});           // VK_OEM_3: ö Ö
  k.push_back({0xDE, kCapLok, {.plain = 0xE4, .shift = 0xC4}});           // VK_OEM_7: ä Ä
  k.push_back({0xBF, 0, {.plain = u'#', .shift = u'\'', .ctrl = 0x1C}});  // VK_OEM_2
  AddLetterKeys(k, "YXCVBN");
  k.push_back({'M', kCapLok, {.plain = u'm', .shift = u'M', .altGr = 0xB5}});
  k.push_back({0xBC, 0, {.plain = u',', .shift = u';'}});
  k.push_back({0xBE, 0, {.plain = u'.', .shift = u':'}});
  k.push_back({0xBD, 0, {.plain = u'-', .shift = u'_', .shiftCtrl = 0x1F}});
  k.push_back(
      {0xE2, 0, {.plain = u'<', .shift = u'>', .ctrl = 0x1C, .altGr = u'|'}});  // VK_OEM_102
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& GermanLayout() {
  static const KeyboardLayoutTable table = MakeGerman();
  return table;
}

}  // namespace quillet::os::sim
