// US (00000409), the layout Windows installs as "US".
//
// Follows kbdus, the US table Microsoft publishes with its driver samples,
// and agrees with it on every plain and Shift character; no dead keys, no
// AltGr, Caps Lock on the letters only. Control characters: Ctrl+[ ] \ give
// 0x1B 0x1D 0x1C, Ctrl+Shift+2 6 - give 0x00 0x1E 0x1F, Ctrl+Enter gives LF,
// Ctrl+Backspace gives DEL.
//
// Search order: Windows searches its character tables group by group; here
// keys stand in scan-code order with the control keys last, which decides
// only between keys that give the same character ("\" on the two backslash
// keys, 0x1B on Ctrl+[ before Escape, 0x1C on Ctrl+\). That Ctrl+[ wins for
// 0x1B over Escape is the least certain of these.
#include "os/sim/layouts.h"

namespace quillet::os::sim {

namespace {

KeyboardLayoutTable MakeUs() {
  KeyboardLayoutTable t;
  t.hkl = 0x04090409;
  t.name = "US";
  t.hasAltGr = false;
  auto& k = t.keys;
  k.push_back({'1', 0, {.plain = u'1', .shift = u'!'}});
  k.push_back({'2', 0, {.plain = u'2', .shift = u'@', .shiftCtrl = 0x00}});
  k.push_back({'3', 0, {.plain = u'3', .shift = u'#'}});
  k.push_back({'4', 0, {.plain = u'4', .shift = u'$'}});
  k.push_back({'5', 0, {.plain = u'5', .shift = u'%'}});
  k.push_back({'6', 0, {.plain = u'6', .shift = u'^', .shiftCtrl = 0x1E}});
  k.push_back({'7', 0, {.plain = u'7', .shift = u'&'}});
  k.push_back({'8', 0, {.plain = u'8', .shift = u'*'}});
  k.push_back({'9', 0, {.plain = u'9', .shift = u'('}});
  k.push_back({'0', 0, {.plain = u'0', .shift = u')'}});
  k.push_back({0xBD, 0, {.plain = u'-', .shift = u'_', .shiftCtrl = 0x1F}});  // VK_OEM_MINUS
  k.push_back({0xBB, 0, {.plain = u'=', .shift = u'+'}});                     // VK_OEM_PLUS
  AddLetterKeys(k, "QWERTYUIOP");
  k.push_back({0xDB, 0, {.plain = u'[', .shift = u'{', .ctrl = 0x1B}});  // VK_OEM_4
  k.push_back({0xDD, 0, {.plain = u']', .shift = u'}', .ctrl = 0x1D}});  // VK_OEM_6
  AddLetterKeys(k, "ASDFGHJKL");
  k.push_back({0xBA, 0, {.plain = u';', .shift = u':'}});                 // VK_OEM_1
  k.push_back({0xDE, 0, {.plain = u'\'', .shift = u'"'}});                // VK_OEM_7
  k.push_back({0xC0, 0, {.plain = u'`', .shift = u'~'}});                 // VK_OEM_3
  k.push_back({0xDC, 0, {.plain = u'\\', .shift = u'|', .ctrl = 0x1C}});  // VK_OEM_5
  AddLetterKeys(k, "ZXCVBNM");
  k.push_back({0xBC, 0, {.plain = u',', .shift = u'<'}});                 // VK_OEM_COMMA
  k.push_back({0xBE, 0, {.plain = u'.', .shift = u'>'}});                 // VK_OEM_PERIOD
  k.push_back({0xBF, 0, {.plain = u'/', .shift = u'?'}});                 // VK_OEM_2
  k.push_back({0xE2, 0, {.plain = u'\\', .shift = u'|', .ctrl = 0x1C}});  // VK_OEM_102
  AddControlKeys(k);
  return t;
}

}  // namespace

const KeyboardLayoutTable& UsLayout() {
  static const KeyboardLayoutTable table = MakeUs();
  return table;
}

}  // namespace quillet::os::sim
