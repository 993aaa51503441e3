// French (0000040C), AZERTY, the layout Windows installs as "French".
//
// Source: the published Windows French layout (kbdfr) as the developer knows
// it from its documentation and daily use; no layout file was at hand.
// Sure of: the plain and Shift characters (digits need Shift); AltGr ~ # { [
// | ` \ ^ @ ] } on the top row, € on E, ¤ on $; the dead keys ^ and ¨ (the
// key right of P) and AltGr ~ and ` (on 2 and 7), while AltGr+9 gives a plain
// ^. Caps Lock: on Windows (unlike X11 and macOS) it also locks the digit row,
// so with Caps Lock é gives 2 and Shift+é gives é; the developer is fairly but
// not fully sure of that, and the typing routine does not depend on it (it
// checks every key against this table). ù is not affected by Caps Lock.
// Least sure of the control characters: Ctrl+^ (dead key) 0x1B, Ctrl+$ 0x1D,
// Ctrl+* and Ctrl+< 0x1C, and Ctrl+8 0x1C, Ctrl+9 0x1E.
//
// Search order: scan-code order, control keys last (see layout_us.cpp); it
// makes "^" resolve to AltGr+9 before the dead key and 0x1C to Ctrl+8.
#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

KeyboardLayoutTable MakeFrench() {
  KeyboardLayoutTable t;
  t.hkl = 0x040C040C;
  t.name = "French";
  t.hasAltGr = true;
  auto& k = t.keys;
  k.push_back({0xDE, 0, {.plain = 0xB2}});  // VK_OEM_7: ²
  k.push_back({'1', kCapLok, {.plain = u'&', .shift = u'1'}});
  k.push_back({'2', kCapLok, {.plain = 0xE9, .shift = u'2', .altGr = Dead(u'~')}});
  k.push_back({'3', kCapLok, {.plain = u'"', .shift = u'3', .altGr = u'#'}});
  k.push_back({'4', kCapLok, {.plain = u'\'', .shift = u'4', .altGr = u'{'}});
  k.push_back({'5', kCapLok, {.plain = u'(', .shift = u'5', .altGr = u'['}});
  k.push_back({'6', kCapLok, {.plain = u'-', .shift = u'6', .altGr = u'|'}});
  k.push_back({'7', kCapLok, {.plain = 0xE8, .shift = u'7', .altGr = Dead(u'`')}});
  k.push_back({'8', kCapLok, {.plain = u'_', .shift = u'8', .ctrl = 0x1C, .altGr = u'\\'}});
  k.push_back({'9', kCapLok, {.plain = 0xE7, .shift = u'9', .ctrl = 0x1E, .altGr = u'^'}});
  k.push_back({'0', kCapLok, {.plain = 0xE0, .shift = u'0', .altGr = u'@'}});
  k.push_back({0xDB, 0, {.plain = u')', .shift = 0xB0, .altGr = u']'}});  // VK_OEM_4
  k.push_back({0xBB, 0, {.plain = u'=', .shift = u'+', .altGr = u'}'}});  // VK_OEM_PLUS
  k.push_back({'A', kCapLok, {.plain = u'a', .shift = u'A'}});
  k.push_back({'Z', kCapLok, {.plain = u'z', .shift = u'Z'}});
  k.push_back({'E', kCapLok, {.plain = u'e', .shift = u'E', .altGr = 0x20AC}});
  AddLetterKeys(k, "RTYUIOP");
  k.push_back({0xDD, 0, {.plain = Dead(u'^'), .shift = Dead(0xA8), .ctrl = 0x1B}});     // VK_OEM_6
  k.push_back({0xBA, 0, {.plain = u'$', .shift = 0xA3, .ctrl = 0x1D, .altGr = 0xA4}});  // VK_OEM_1
  AddLetterKeys(k, "QSDFGHJKLM");
  k.push_back({0xC0, 0, {.plain = 0xF9, .shift = u'%'}});                // VK_OEM_3: ù
  k.push_back({0xDC, 0, {.plain = u'*', .shift = 0xB5, .ctrl = 0x1C}});  // VK_OEM_5
  AddLetterKeys(k, "WXCVBN");
  k.push_back({0xBC, 0, {.plain = u',', .shift = u'?'}});
  k.push_back({0xBE, 0, {.plain = u';', .shift = u'.'}});
  k.push_back({0xBF, 0, {.plain = u':', .shift = u'/'}});
  k.push_back({0xDF, 0, {.plain = u'!', .shift = 0xA7}});                // VK_OEM_8
  k.push_back({0xE2, 0, {.plain = u'<', .shift = u'>', .ctrl = 0x1C}});  // VK_OEM_102
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& FrenchLayout() {
  static const KeyboardLayoutTable table = MakeFrench();
  return table;
}

}  // namespace quillet::os::sim
