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
      {FrenchLayout(), L'^', 0x00DD},   {UkLayout(), L'@', 0x01C0},
      {UkLayout(), L'"', 0x0132},       {UkLayout(), 0xA3, 0x0133},
      {UkLayout(), 0x20AC, 0x0634},     {UkLayout(), 0xC9, 0x0745},
      {UkLayout(), L'\\', 0x00DC},
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

// The control characters of each layout: what the lookup reports, and that
// the key types the character whatever Caps Lock (it never acts on Ctrl).
TEST(LayoutTables, ControlCharactersSitWhereThePublishedTablesPutThem) {
  struct Case {
    const KeyboardLayoutTable& layout;
    wchar_t ch;
    std::int16_t expected;
  };
  const Case cases[] = {
      {UsLayout(), 0x00, 0x0332},
      {UsLayout(), 0x1B, 0x02DB},
      {UsLayout(), 0x1C, 0x02DC},
      {UsLayout(), 0x1D, 0x02DD},
      {UsLayout(), 0x1E, 0x0336},
      {UsLayout(), 0x1F, 0x03BD},
      {UsLayout(), 0x7F, 0x0208},
      {UsLayout(), L'\n', 0x020D},
      // German: Ctrl+Shift+2 0x00, 0x1C from Ctrl+# only.
      {GermanLayout(), 0x00, 0x0332},
      {GermanLayout(), 0x1B, 0x02BA},
      {GermanLayout(), 0x1C, 0x02BF},
      {GermanLayout(), 0x1D, 0x02BB},
      {GermanLayout(), 0x1E, 0x0336},
      {GermanLayout(), 0x1F, 0x03BD},
      {GermanLayout(), 0x7F, 0x0208},
      {GermanLayout(), L'\n', 0x020D},
      // French: Ctrl+0 0x00, Ctrl+* found before Ctrl+< and Ctrl+Shift+8.
      {FrenchLayout(), 0x00, 0x0230},
      {FrenchLayout(), 0x1B, 0x02DD},
      {FrenchLayout(), 0x1C, 0x02DC},
      {FrenchLayout(), 0x1D, 0x02BA},
      {FrenchLayout(), 0x1E, 0x0339},
      {FrenchLayout(), 0x1F, 0x0336},
      {FrenchLayout(), 0x7F, 0x0208},
      {FrenchLayout(), L'\n', 0x020D},
      // UK: Ctrl+Shift+' 0x00, where @ is.
      {UkLayout(), 0x00, 0x03C0},
      {UkLayout(), 0x1B, 0x02DB},
      {UkLayout(), 0x1C, 0x02DE},
      {UkLayout(), 0x1D, 0x02DD},
      {UkLayout(), 0x1E, 0x0336},
      {UkLayout(), 0x1F, 0x03BD},
      {UkLayout(), 0x7F, 0x0208},
      {UkLayout(), L'\n', 0x020D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.layout.name << " U+" << std::hex << int(c.ch));
    EXPECT_EQ(LayoutVkKeyScan(c.layout, c.ch), c.expected);
    for (const bool caps : {false, true})
      EXPECT_EQ(LayoutToUnicode(c.layout, static_cast<Byte>(c.expected & 0xFF),
                                static_cast<Byte>(c.expected >> 8), caps)
                    .text,
                std::wstring(1, c.ch))
          << (caps ? "with Caps Lock" : "");
  }
  // The other keys that share one of those characters, and Ctrl
  // combinations that type nothing.
  struct KeyCase {
    const KeyboardLayoutTable& layout;
    Byte vk;
    Byte shiftState;
    const wchar_t* text;  // nullptr: types nothing
  };
  const KeyCase keys[] = {
      {GermanLayout(), 0xE2, kShiftStateCtrl, nullptr},  // Ctrl+<
      {FrenchLayout(), '5', kShiftStateShift | kShiftStateCtrl, L"\x1B"},
      {FrenchLayout(), '8', kShiftStateShift | kShiftStateCtrl, L"\x1C"},
      {FrenchLayout(), 0xE2, kShiftStateCtrl, L"\x1C"},
      {FrenchLayout(), '8', kShiftStateCtrl, nullptr},
      {FrenchLayout(), '9', kShiftStateCtrl, nullptr},
      {UkLayout(), 0xDC, kShiftStateCtrl, L"\x1C"},
  };
  for (const KeyCase& k : keys) {
    const ToUnicodeResult r = LayoutToUnicode(k.layout, k.vk, k.shiftState, false);
    if (k.text)
      EXPECT_EQ(r.text, k.text) << k.layout.name << " vk " << std::hex << int(k.vk);
    else
      EXPECT_EQ(r.result, 0) << k.layout.name << " vk " << std::hex << int(k.vk);
  }
}

// Caps Lock acts as Shift on the plain and Shift levels of the keys the
// published tables mark, dead keys included, and on no other key.
TEST(LayoutTables, CapsLockActsOnTheKeysThePublishedTablesMark) {
  struct Case {
    const KeyboardLayoutTable& layout;
    const char* name;
    Byte vk;
    bool capsLockActs;
  };
  const Case cases[] = {
      {GermanLayout(), "1", '1', true},   {GermanLayout(), "7", '7', true},
      {GermanLayout(), "0", '0', true},   {GermanLayout(), "ß", 0xDB, true},
      {GermanLayout(), "+", 0xBB, true},  {GermanLayout(), "#", 0xBF, true},
      {GermanLayout(), ",", 0xBC, true},  {GermanLayout(), ".", 0xBE, true},
      {GermanLayout(), "ü", 0xBA, true},  {GermanLayout(), "ö", 0xC0, true},
      {GermanLayout(), "ä", 0xDE, true},  {GermanLayout(), "^", 0xDC, false},
      {GermanLayout(), "´", 0xDD, false}, {GermanLayout(), "<", 0xE2, false},
      {GermanLayout(), "-", 0xBD, false}, {FrenchLayout(), "&", '1', true},
      {FrenchLayout(), "é", '2', true},   {FrenchLayout(), "à", '0', true},
      {FrenchLayout(), "ù", 0xC0, true},  {FrenchLayout(), "$", 0xBA, true},
      {FrenchLayout(), "^", 0xDD, true},  {FrenchLayout(), ")", 0xDB, true},
      {FrenchLayout(), "=", 0xBB, true},  {FrenchLayout(), "*", 0xDC, true},
      {FrenchLayout(), ",", 0xBC, true},  {FrenchLayout(), ";", 0xBE, true},
      {FrenchLayout(), ":", 0xBF, true},  {FrenchLayout(), "!", 0xDF, true},
      {FrenchLayout(), "²", 0xDE, false}, {FrenchLayout(), "<", 0xE2, false},
      {UsLayout(), "1", '1', false},      {UsLayout(), "'", 0xDE, false},
      {UkLayout(), "1", '1', false},      {UkLayout(), "#", 0xDE, false},
      {UkLayout(), "a", 'A', true},
  };
  const auto same = [](const ToUnicodeResult& a, const ToUnicodeResult& b) {
    return a.result == b.result && a.text == b.text;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.layout.name << " key " << c.name);
    const ToUnicodeResult plain = LayoutToUnicode(c.layout, c.vk, 0, false);
    const ToUnicodeResult shifted = LayoutToUnicode(c.layout, c.vk, kShiftStateShift, false);
    ASSERT_FALSE(same(plain, shifted));
    EXPECT_TRUE(same(LayoutToUnicode(c.layout, c.vk, 0, true), c.capsLockActs ? shifted : plain));
    EXPECT_TRUE(same(LayoutToUnicode(c.layout, c.vk, kShiftStateShift, true),
                     c.capsLockActs ? plain : shifted));
  }
  // Not on AltGr: Caps Lock and AltGr+7 still give "{".
  EXPECT_EQ(LayoutToUnicode(GermanLayout(), '7', kShiftStateCtrl | kShiftStateAlt, true).text,
            L"{");
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
