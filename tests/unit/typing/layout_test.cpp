// The simulated layout tables: known lookups of the real layouts, internal
// consistency, and that every printable Latin-1 character (and the euro sign)
// arrives exactly as sent on each of them, with Caps Lock off and on.
#include <gtest/gtest.h>

#include <string>

#include "app/typing.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/layouts.h"

namespace quillet::os::sim {
namespace {

struct NamedLayout {
  const char* name;
  const KeyboardLayoutTable& (*table)();
};

const NamedLayout kLayouts[] = {
    {"US", &UsLayout}, {"German", &GermanLayout}, {"French", &FrenchLayout}, {"UK", &UkLayout}};

TEST(LayoutTables, AnswerLookupsAsTheRealLayoutsDo) {
  struct Case {
    const KeyboardLayoutTable& layout;
    wchar_t ch;
    std::int16_t expected;
  };
  const Case cases[] = {
      {UsLayout(), L'@', 0x0132},       {UsLayout(), L'a', 0x0041},
      {UsLayout(), L'A', 0x0141},       {UsLayout(), L'\n', 0x020D},
      {UsLayout(), L'\r', 0x000D},      {UsLayout(), L'\t', 0x0009},
      {UsLayout(), 0x1D, 0x02DD},       {UsLayout(), 0x00, 0x0332},
      {UsLayout(), 0xE9, -1},           {GermanLayout(), L'@', 0x0651},
      {GermanLayout(), L'z', 0x005A},   {GermanLayout(), L'y', 0x0059},
      {GermanLayout(), 0x20AC, 0x0645}, {GermanLayout(), L'\\', 0x06DB},
      {GermanLayout(), 0xE4, 0x00DE},   {GermanLayout(), L'^', 0x00DC},
      {GermanLayout(), L'`', 0x01DD},   {GermanLayout(), 0x1D, 0x02BB},
      {FrenchLayout(), L'a', 0x0041},   {FrenchLayout(), L'1', 0x0131},
      {FrenchLayout(), 0xE9, 0x0032},   {FrenchLayout(), L'@', 0x0630},
      {FrenchLayout(), L'~', 0x0632},   {FrenchLayout(), L'm', 0x004D},
      {UkLayout(), L'@', 0x01C0},       {UkLayout(), L'"', 0x0132},
      {UkLayout(), 0xA3, 0x0133},       {UkLayout(), 0x20AC, 0x0634},
      {UkLayout(), 0xC9, 0x0745},       {UkLayout(), L'\\', 0x00DC},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LayoutVkKeyScan(c.layout, c.ch), c.expected)
        << c.layout.name << " U+" << std::hex << int(c.ch);
}

TEST(LayoutTables, KeysTypeWhatTheLookupSays) {
  EXPECT_EQ(LayoutToUnicode(GermanLayout(), 0xDE, 0, true).text, L"\u00C4");
  EXPECT_EQ(LayoutToUnicode(GermanLayout(), 0xDC, 0, false).result, -1);
  EXPECT_EQ(LayoutToUnicode(FrenchLayout(), '2', 0, true).text, L"2");
  EXPECT_EQ(LayoutToUnicode(UkLayout(), 'E', kShiftStateCtrl | kShiftStateAlt, true).text,
            L"\u00C9");
  EXPECT_EQ(LayoutToUnicode(UsLayout(), 'Q', kShiftStateCtrl | kShiftStateAlt, false).result, 0);
  EXPECT_EQ(LayoutToUnicode(UsLayout(), 'C', kShiftStateCtrl, true).text, L"\x03");
}

// Every cell of a table, looked up, leads to a key that types that cell.
TEST(LayoutTables, EveryCharacterLooksUpToAKeyThatTypesIt) {
  for (const NamedLayout& named : kLayouts) {
    const KeyboardLayoutTable& layout = named.table();
    for (const LayoutKey& key : layout.keys) {
      for (const std::uint32_t cell :
           {key.cells.plain, key.cells.shift, key.cells.ctrl, key.cells.shiftCtrl, key.cells.altGr,
            key.cells.shiftAltGr}) {
        if (cell == kNone) continue;
        const auto ch = static_cast<wchar_t>(cell & 0xFFFF);
        const std::int16_t scan = LayoutVkKeyScan(layout, ch);
        ASSERT_NE(scan, -1) << named.name;
        const ToUnicodeResult r = LayoutToUnicode(layout, static_cast<Byte>(scan & 0xFF),
                                                  static_cast<Byte>(scan >> 8), false);
        EXPECT_EQ(r.text, std::wstring(1, ch)) << named.name << " U+" << std::hex << int(ch);
      }
    }
  }
}

std::wstring PrintableLatin1AndEuro() {
  std::wstring text;
  for (wchar_t ch = 0x20; ch <= 0x7E; ++ch) text += ch;
  for (wchar_t ch = 0xA0; ch <= 0xFF; ++ch) text += ch;
  text += L'\u20AC';
  return text;
}

TEST(LayoutTables, PrintableLatin1ArrivesExactlyOnEveryLayout) {
  const std::wstring text = PrintableLatin1AndEuro();
  for (const NamedLayout& named : kLayouts) {
    for (const bool caps : {false, true}) {
      SimKeyboard keyboard(named.table());
      keyboard.SetCapsLock(caps);
      app::TypeText(text, keyboard);
      EXPECT_EQ(keyboard.TypedText(), text) << named.name << (caps ? " with Caps Lock" : "");
    }
  }
}

}  // namespace
}  // namespace quillet::os::sim
