// German (00000407), QWERTZ, the layout Windows installs as "German".
//
// Follows kbdgr, the German table Microsoft publishes with its driver
// samples, and agrees with it on every plain, Shift and AltGr character, on
// the dead keys (^ left of 1, Shift there a plain °; ´ and, with Shift, ` on
// the key right of ß) and on Caps Lock, which acts as Shift on the letters,
// ä ö ü, the digits 1 to 0, ß, +, # and the comma and full stop keys (Caps
// Lock then 7 gives "/"), but not on ^, ´, < or -. Control characters:
// Ctrl+ü 0x1B, Ctrl++ 0x1D, Ctrl+# 0x1C (Ctrl+< gives nothing), Ctrl+Shift+2
// 0x00, Ctrl+Shift+6 0x1E, Ctrl+Shift+- 0x1F, Ctrl+Backspace 0x7F, Ctrl+Enter
// LF.
//
// Search order: scan-code order, control keys last (see layout_us.cpp); it
// decides only which key the lookup reports for 0x1B, here Ctrl+ü before
// Escape (not checked).
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
  k.push_back({'1', kCapLok, {.plain = u'1', .shift = u'!'}});
  k.push_back({'2', kCapLok, {.plain = u'2', .shift = u'"', .shiftCtrl = 0x00, .altGr = 0xB2}});
  k.push_back({'3', kCapLok, {.plain = u'3', .shift = 0xA7, .altGr = 0xB3}});
  k.push_back({'4', kCapLok, {.plain = u'4', .shift = u'$'}});
  k.push_back({'5', kCapLok, {.plain = u'5', .shift = u'%'}});
  k.push_back({'6', kCapLok, {.plain = u'6', .shift = u'&', .shiftCtrl = 0x1E}});
  k.push_back({'7', kCapLok, {.plain = u'7', .shift = u'/', .altGr = u'{'}});
  k.push_back({'8', kCapLok, {.plain = u'8', .shift = u'(', .altGr = u'['}});
  k.push_back({'9', kCapLok, {.plain = u'9', .shift = u')', .altGr = u']'}});
  k.push_back({'0', kCapLok, {.plain = u'0', .shift = u'=', .altGr = u'}'}});
  k.push_back({0xDB, kCapLok, {.plain = 0xDF, .shift = u'?', .altGr = u'\\'}});  // VK_OEM_4: ß
  k.push_back({0xDD, 0, {.plain = Dead(0xB4), .shift = Dead(u'`')}});            // VK_OEM_6: ´ `
  k.push_back({'Q', kCapLok, {.plain = u'q', .shift = u'Q', .altGr = u'@'}});
  k.push_back({'W', kCapLok, {.plain = u'w', .shift = u'W'}});
  k.push_back({'E', kCapLok, {.plain = u'e', .shift = u'E', .altGr = 0x20AC}});
  AddLetterKeys(k, "RTZUIOP");
  k.push_back({0xBA, kCapLok, {.plain = 0xFC, .shift = 0xDC, .ctrl = 0x1B}});  // VK_OEM_1: ü Ü
  k.push_back(
      {0xBB, kCapLok, {.plain = u'+', .shift = u'*', .ctrl = 0x1D, .altGr = u'~'}});  // VK_OEM_PLUS
  AddLetterKeys(k, "ASDFGHJKL");
  k.push_back({0xC0, kCapLok, {.plain = 0xF6, .shift = 0xD6}});                 // VK_OEM_3: ö Ö
  k.push_back({0xDE, kCapLok, {.plain = 0xE4, .shift = 0xC4}});                 // VK_OEM_7: ä Ä
  k.push_back({0xBF, kCapLok, {.plain = u'#', .shift = u'\'', .ctrl = 0x1C}});  // VK_OEM_2
  AddLetterKeys(k, "YXCVBN");
  k.push_back({'M', kCapLok, {.plain = u'm', .shift = u'M', .altGr = 0xB5}});
  k.push_back({0xBC, kCapLok, {.plain = u',', .shift = u';'}});               // VK_OEM_COMMA
  k.push_back({0xBE, kCapLok, {.plain = u'.', .shift = u':'}});               // VK_OEM_PERIOD
  k.push_back({0xBD, 0, {.plain = u'-', .shift = u'_', .shiftCtrl = 0x1F}});  // VK_OEM_MINUS
  k.push_back({0xE2, 0, {.plain = u'<', .shift = u'>', .altGr = u'|'}});      // VK_OEM_102
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& GermanLayout() {
  static const KeyboardLayoutTable table = MakeGerman();
  return table;
}

}  // namespace quillet::os::sim
