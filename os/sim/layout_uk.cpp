// United Kingdom (00000809), the layout Windows installs as "United Kingdom".
//
// Follows the ReactOS reproduction of kbduk (Microsoft publishes no UK
// table) and agrees with it on every plain, Shift and AltGr character: " on
// 2, £ on 3, @ and ~ on the ' and # keys, ` ¬ left of 1, \ | on the extra key
// left of Z; AltGr € on 4, ¦ on `, and á é í ó ú (Shift+AltGr: upper case) on
// the vowels. No dead keys (UK Extended has them). Control characters:
// Ctrl+[ ] 0x1B 0x1D, Ctrl+# and Ctrl+\ 0x1C, Ctrl+Shift+' 0x00 (where @
// is), Ctrl+Shift+6 and Ctrl+Shift+- 0x1E 0x1F. Caps Lock acts as Shift on
// the letters; less sure that it does on the AltGr vowels too (modelled so).
//
// Search order: scan-code order, control keys last (see layout_us.cpp); it
// decides only which key the lookup reports for 0x1B (Ctrl+[ before Escape)
// and 0x1C (Ctrl+# before Ctrl+\); neither was checked.
#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

LayoutKey Vowel(char upper, std::uint32_t acuteLower, std::uint32_t acuteUpper) {
  const auto u = static_cast<std::uint32_t>(upper);
  return {static_cast<Byte>(u),
          kCapLok | kCapLokAltGr,
          {.plain = u + 0x20, .shift = u, .altGr = acuteLower, .shiftAltGr = acuteUpper}};
}

KeyboardLayoutTable MakeUk() {
  KeyboardLayoutTable t;
  t.hkl = 0x08090809;
  t.name = "United Kingdom";
  t.hasAltGr = true;
  auto& k = t.keys;
  k.push_back({'1', 0, {.plain = u'1', .shift = u'!'}});
  k.push_back({'2', 0, {.plain = u'2', .shift = u'"'}});
  k.push_back({'3', 0, {.plain = u'3', .shift = 0xA3}});
  k.push_back({'4', 0, {.plain = u'4', .shift = u'$', .altGr = 0x20AC}});
  k.push_back({'5', 0, {.plain = u'5', .shift = u'%'}});
  k.push_back({'6', 0, {.plain = u'6', .shift = u'^', .shiftCtrl = 0x1E}});
  k.push_back({'7', 0, {.plain = u'7', .shift = u'&'}});
  k.push_back({'8', 0, {.plain = u'8', .shift = u'*'}});
  k.push_back({'9', 0, {.plain = u'9', .shift = u'('}});
  k.push_back({'0', 0, {.plain = u'0', .shift = u')'}});
  k.push_back({0xBD, 0, {.plain = u'-', .shift = u'_', .shiftCtrl = 0x1F}});
  k.push_back({0xBB, 0, {.plain = u'=', .shift = u'+'}});
  AddLetterKeys(k, "QW");
  k.push_back(Vowel('E', 0xE9, 0xC9));
  AddLetterKeys(k, "RTY");
  k.push_back(Vowel('U', 0xFA, 0xDA));
  k.push_back(Vowel('I', 0xED, 0xCD));
  k.push_back(Vowel('O', 0xF3, 0xD3));
  AddLetterKeys(k, "P");
  k.push_back({0xDB, 0, {.plain = u'[', .shift = u'{', .ctrl = 0x1B}});  // VK_OEM_4
  k.push_back({0xDD, 0, {.plain = u']', .shift = u'}', .ctrl = 0x1D}});  // VK_OEM_6
  k.push_back(Vowel('A', 0xE1, 0xC1));
  AddLetterKeys(k, "SDFGHJKL");
  k.push_back({0xBA, 0, {.plain = u';', .shift = u':'}});                      // VK_OEM_1
  k.push_back({0xC0, 0, {.plain = u'\'', .shift = u'@', .shiftCtrl = 0x00}});  // VK_OEM_3
  k.push_back({0xDF, 0, {.plain = u'`', .shift = 0xAC, .altGr = 0xA6}});       // VK_OEM_8: ` ¬ ¦
  k.push_back({0xDE, 0, {.plain = u'#', .shift = u'~', .ctrl = 0x1C}});        // VK_OEM_7
  AddLetterKeys(k, "ZXCVBNM");
  k.push_back({0xBC, 0, {.plain = u',', .shift = u'<'}});
  k.push_back({0xBE, 0, {.plain = u'.', .shift = u'>'}});
  k.push_back({0xBF, 0, {.plain = u'/', .shift = u'?'}});
  k.push_back({0xDC, 0, {.plain = u'\\', .shift = u'|', .ctrl = 0x1C}});  // VK_OEM_5, left of Z
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& UkLayout() {
  static const KeyboardLayoutTable table = MakeUk();
  return table;
}

}  // namespace quillet::os::sim
