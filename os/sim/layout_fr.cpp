// French (0000040C), AZERTY, the layout Windows installs as "French".
//
// Follows kbdfr, the French table Microsoft publishes with its driver
// samples, and agrees with it on every plain, Shift and AltGr character (the
// digits need Shift; AltGr ~ # { [ | ` \ ^ @ ] } on the top row, € on E, ¤ on
// $), on the dead keys (^ and, with Shift, ¨ right of P; AltGr ~ and ` on 2
// and 7, while AltGr+9 is a plain ^) and on Caps Lock, which acts as Shift on
// the letters, the digit row and ) =, on ^ $ ù * and on the comma, ; : and !
// keys, but not on ² or <: with Caps Lock é gives 2 and Shift+é gives é.
// Control characters: Ctrl+^ and Ctrl+Shift+5 0x1B, Ctrl+$ 0x1D, Ctrl+* and
// Ctrl+< and Ctrl+Shift+8 0x1C, Ctrl+Shift+9 0x1E, Ctrl+Shift+6 0x1F, Ctrl+0
// 0x00; plain Ctrl+8 and Ctrl+9 give nothing.
//
// Search order: the lookup finds the dead key for "^" before AltGr+9, and
// Ctrl+* for 0x1C before Ctrl+Shift+8 (Windows keeps the keys with nothing
// beyond a Ctrl character in a table of their own and searches it first).
// Here those keys stand first, then the rest in scan-code order, control
// keys last (see layout_us.cpp). Not checked: which of Ctrl+^, Ctrl+Shift+5
// and Escape the lookup reports for 0x1B (here Ctrl+^).
#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

KeyboardLayoutTable MakeFrench() {
  KeyboardLayoutTable t;
  t.hkl = 0x040C040C;
  t.name = "French";
  t.hasAltGr = true;
  auto& k = t.keys;
  // Plain, Shift and Ctrl characters only.
  k.push_back(
      {0xDD, kCapLok, {.plain = Dead(u'^'), .shift = Dead(0xA8), .ctrl = 0x1B}});  // VK_OEM_6
  k.push_back({0xDC, kCapLok, {.plain = u'*', .shift = 0xB5, .ctrl = 0x1C}});      // VK_OEM_5
  k.push_back({0xE2, 0, {.plain = u'<', .shift = u'>', .ctrl = 0x1C}});            // VK_OEM_102
  // The rest of the keys.
  k.push_back({0xDE, 0, {.plain = 0xB2}});  // VK_OEM_7: ²
  k.push_back({'1', kCapLok, {.plain = u'&', .shift = u'1'}});
  k.push_back({'2', kCapLok, {.plain = 0xE9, .shift = u'2', .altGr = Dead(u'~')}});
  k.push_back({'3', kCapLok, {.plain = u'"', .shift = u'3', .altGr = u'#'}});
  k.push_back({'4', kCapLok, {.plain = u'\'', .shift = u'4', .altGr = u'{'}});
  k.push_back({'5', kCapLok, {.plain = u'(', .shift = u'5', .shiftCtrl = 0x1B, .altGr = u'['}});
  k.push_back({'6', kCapLok, {.plain = u'-', .shift = u'6', .shiftCtrl = 0x1F, .altGr = u'|'}});
  k.push_back({'7', kCapLok, {.plain = 0xE8, .shift = u'7', .altGr = Dead(u'`')}});
  k.push_back({'8', kCapLok, {.plain = u'_', .shift = u'8', .shiftCtrl = 0x1C, .altGr = u'\\'}});
  k.push_back({'9', kCapLok, {.plain = 0xE7, .shift = u'9', .shiftCtrl = 0x1E, .altGr = u'^'}});
  k.push_back({'0', kCapLok, {.plain = 0xE0, .shift = u'0', .ctrl = 0x00, .altGr = u'@'}});
  k.push_back({0xDB, kCapLok, {.plain = u')', .shift = 0xB0, .altGr = u']'}});  // VK_OEM_4
  k.push_back({0xBB, kCapLok, {.plain = u'=', .shift = u'+', .altGr = u'}'}});  // VK_OEM_PLUS
  k.push_back({'A', kCapLok, {.plain = u'a', .shift = u'A'}});
  k.push_back({'Z', kCapLok, {.plain = u'z', .shift = u'Z'}});
  k.push_back({'E', kCapLok, {.plain = u'e', .shift = u'E', .altGr = 0x20AC}});
  AddLetterKeys(k, "RTYUIOP");
  k.push_back(
      {0xBA, kCapLok, {.plain = u'$', .shift = 0xA3, .ctrl = 0x1D, .altGr = 0xA4}});  // VK_OEM_1
  AddLetterKeys(k, "QSDFGHJKLM");
  k.push_back({0xC0, kCapLok, {.plain = 0xF9, .shift = u'%'}});  // VK_OEM_3: ù
  AddLetterKeys(k, "WXCVBN");
  k.push_back({0xBC, kCapLok, {.plain = u',', .shift = u'?'}});  // VK_OEM_COMMA
  k.push_back({0xBE, kCapLok, {.plain = u';', .shift = u'.'}});  // VK_OEM_PERIOD
  k.push_back({0xBF, kCapLok, {.plain = u':', .shift = u'/'}});  // VK_OEM_2
  k.push_back({0xDF, kCapLok, {.plain = u'!', .shift = 0xA7}});  // VK_OEM_8
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& FrenchLayout() {
  static const KeyboardLayoutTable table = MakeFrench();
  return table;
}

}  // namespace quillet::os::sim
