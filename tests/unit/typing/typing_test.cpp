// The typing planner and TypeText against the simulated keyboard.
#include "app/typing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/sim/keyboard_sim.h"
#include "os/sim/layouts.h"

namespace quillet::app {
namespace {

using os::sim::SimKeyboard;
using K = KeyEvent;

constexpr os::Byte kShift = 0x10, kCtrl = 0x11, kAlt = 0x12;

std::vector<KeyEvent> Plan(std::wstring_view text, bool caps,
                           const os::sim::KeyboardLayoutTable& table) {
  SimKeyboard keyboard(table);
  return PlanTyping(text, caps, KeyboardLayoutQuery(keyboard, table.hkl));
}

std::vector<KeyEvent> Press(os::Byte vk) {
  return {K::KeyDown(vk), K::KeyUp(vk)};
}
std::vector<KeyEvent> Unicode(wchar_t ch) {
  return {K::CharDown(ch), K::CharUp(ch)};
}
std::vector<KeyEvent> Shifted(os::Byte vk) {
  return {K::KeyDown(kShift), K::KeyDown(vk), K::KeyUp(vk), K::KeyUp(kShift)};
}
std::vector<KeyEvent> AltGr(os::Byte vk) {
  return {K::KeyDown(kCtrl), K::KeyDown(kAlt), K::KeyDown(vk),
          K::KeyUp(vk),      K::KeyUp(kAlt),   K::KeyUp(kCtrl)};
}
std::vector<KeyEvent> operator+(std::vector<KeyEvent> a, const std::vector<KeyEvent>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(TypingPlan, LettersKeepTheirCaseWhateverCapsLockAndDigitsUseTheLookup) {
  const auto& us = os::sim::UsLayout();
  EXPECT_EQ(Plan(L"aB1", false, us), Press(0x41) + Shifted(0x42) + Press(0x31));
  EXPECT_EQ(Plan(L"aB1", true, us), Shifted(0x41) + Press(0x42) + Press(0x31));
}

TEST(TypingPlan, EmptyTextPlansNothing) {
  EXPECT_TRUE(Plan(L"", false, os::sim::UsLayout()).empty());
}

TEST(TypingPlan, LineAndControlKeysAreTheirBareKeys) {
  const auto& us = os::sim::UsLayout();
  // The lookup reports Ctrl+Enter for LF; only the bare key is pressed.
  EXPECT_EQ(Plan(L"\r\n\t\b", false, us), Press(0x0D) + Press(0x0D) + Press(0x09) + Press(0x08));
  EXPECT_EQ(Plan(L"\r\n\t\b", true, us), Press(0x0D) + Press(0x0D) + Press(0x09) + Press(0x08));
}

// US, except that the lookup for LF names another key that types LF, as
// Wine's does (0x00E4).
class WineLikeLineFeed final : public LayoutQuery {
 public:
  std::int16_t VkKeyScan(wchar_t ch) const override {
    return ch == L'\n' ? 0x00E4 : os::sim::LayoutVkKeyScan(os::sim::UsLayout(), ch);
  }
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte state, bool caps) const override {
    if (vk == 0xE4 && state == 0) return {1, L"\n"};
    return os::sim::LayoutToUnicode(os::sim::UsLayout(), vk, state, caps);
  }
};

TEST(TypingPlan, ControlCharactersUseTheirOwnKeysWhateverTheLookupReports) {
  // On US the lookup for ESC names Ctrl+[; its bare key would type "[".
  EXPECT_EQ(os::sim::LayoutVkKeyScan(os::sim::UsLayout(), 0x1B), 0x02DB);
  EXPECT_EQ(Plan(L"\x1B", false, os::sim::UsLayout()), Press(0x1B));
  EXPECT_EQ(PlanTyping(L"\n\r", false, WineLikeLineFeed()), Press(0x0D) + Press(0x0D));
  // Without a Tab key, the key the lookup reports.
  os::sim::KeyboardLayoutTable noTabKey;
  noTabKey.keys.push_back({0x92, 0, {.shift = u'\t'}});
  EXPECT_EQ(Plan(L"\t", false, noTabKey), Shifted(0x92));
}

TEST(TypingPlan, AltGrCharactersHoldCtrlAndAlt) {
  const auto& de = os::sim::GermanLayout();
  const auto& fr = os::sim::FrenchLayout();
  for (const bool caps : {false, true}) {
    SCOPED_TRACE(caps);
    EXPECT_EQ(Plan(L"@", caps, de), AltGr('Q'));
    EXPECT_EQ(Plan(L"\u20AC{", caps, de), AltGr('E') + AltGr('7'));
    EXPECT_EQ(Plan(L"@\u20AC{", caps, fr), AltGr('0') + AltGr('E') + AltGr('4'));
  }
}

// A control byte from a scanner (framing bytes, GS in GS1 codes, a
// misconfigured symbology) is the character, never the Ctrl chord the layout
// reports for it: Ctrl+A, Ctrl+V, Ctrl+X, Ctrl+W would select all, paste, cut
// or close a tab in the focused program. Only CR, LF, TAB, BS and ESC keep
// their own bare keys.
TEST(TypingPlan, ControlCharactersAreUnicodeEventsOnEveryLayoutAndNeverHoldCtrl) {
  std::wstring controls;
  for (wchar_t ch = 0; ch < 0x20; ++ch) controls += ch;
  controls += L'\x7F';
  const auto ownKey = [](wchar_t ch) -> std::vector<KeyEvent> {
    switch (ch) {
      case L'\r':
      case L'\n':
        return Press(0x0D);
      case L'\t':
        return Press(0x09);
      case 0x08:
        return Press(0x08);
      case 0x1B:
        return Press(0x1B);
      default:
        return Unicode(ch);
    }
  };
  for (const auto* layout : {&os::sim::UsLayout(), &os::sim::GermanLayout(),
                             &os::sim::FrenchLayout(), &os::sim::UkLayout()}) {
    SCOPED_TRACE(layout->name);
    // The layouts do report Ctrl chords for them: SOH, SYN, ETB, CAN, GS.
    for (const wchar_t ch : {L'\x01', L'\x16', L'\x17', L'\x18', L'\x1D'})
      EXPECT_EQ(os::sim::LayoutVkKeyScan(*layout, ch) >> 8, os::kShiftStateCtrl) << int(ch);
    for (const bool caps : {false, true}) {
      SCOPED_TRACE(caps);
      for (const wchar_t ch : controls)
        EXPECT_EQ(Plan(std::wstring(1, ch), caps, *layout), ownKey(ch)) << "U+" << int(ch);
      SimKeyboard keyboard(*layout);
      keyboard.SetCapsLock(caps);
      TypeText(controls, keyboard);
      for (const auto& e : keyboard.Events()) EXPECT_FALSE(!e.unicode && e.code == kCtrl);
      std::wstring expected = controls;
      expected[L'\n'] = L'\r';  // Enter
      EXPECT_EQ(keyboard.TypedText(), expected);
    }
  }
}

// A printable character whose only key needs Ctrl (no Alt), as a layout
// could define: pressing it would be a shortcut, so it goes as itself. The
// same character on Shift or AltGr keeps its key.
class CtrlOnlyCharacters final : public LayoutQuery {
 public:
  std::int16_t VkKeyScan(wchar_t ch) const override {
    if (ch == L'|') return 0x02DC;  // Ctrl+OEM_5
    if (ch == L'~') return 0x03C0;  // Shift+Ctrl+OEM_3
    if (ch == L'{') return 0x06DB;  // AltGr+OEM_4
    if (ch == L'}') return 0x01DD;  // Shift+OEM_6
    return -1;
  }
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte state, bool) const override {
    if (vk == 0xDC && state == 0x02) return {1, L"|"};
    if (vk == 0xC0 && state == 0x03) return {1, L"~"};
    if (vk == 0xDB && state == 0x06) return {1, L"{"};
    if (vk == 0xDD && state == 0x01) return {1, L"}"};
    return {};
  }
};

TEST(TypingPlan, ACharacterOnlyCtrlMakesIsAUnicodeEventWhileShiftAndAltGrKeysStay) {
  EXPECT_EQ(PlanTyping(L"|~{}", false, CtrlOnlyCharacters()),
            Unicode(L'|') + Unicode(L'~') + AltGr(0xDB) + Shifted(0xDD));
}

// Reports keys like a real layout but types nothing with Ctrl held, as Wine
// does for Ctrl+symbol keys.
class NoCtrlCharacters final : public LayoutQuery {
 public:
  std::int16_t VkKeyScan(wchar_t ch) const override {
    return os::sim::LayoutVkKeyScan(os::sim::UsLayout(), ch);
  }
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte state, bool caps) const override {
    if (state & os::kShiftStateCtrl) return {};
    return os::sim::LayoutToUnicode(os::sim::UsLayout(), vk, state, caps);
  }
};

TEST(TypingPlan, AKeyThatDoesNotTypeTheCharacterGivesWayToAUnicodeEvent) {
  EXPECT_EQ(PlanTyping(L"\x1D]", false, NoCtrlCharacters()), Unicode(0x1D) + Press(0xDD));
}

TEST(TypingPlan, DeadKeysAreNeverPressed) {
  const auto& de = os::sim::GermanLayout();
  EXPECT_EQ(os::sim::LayoutVkKeyScan(de, L'^'), 0x00DC);
  EXPECT_EQ(Plan(L"^\u00B4`", false, de), Unicode(L'^') + Unicode(0xB4) + Unicode(L'`'));
  const auto& fr = os::sim::FrenchLayout();
  EXPECT_EQ(Plan(L"~`\u00A8", false, fr), Unicode(L'~') + Unicode(L'`') + Unicode(0xA8));
  // "^" is both a dead key and AltGr+9 on French; the lookup finds the dead
  // key first, and Caps Lock (Shift on that key) makes it the dead diaeresis.
  EXPECT_EQ(os::sim::LayoutVkKeyScan(fr, L'^'), 0x00DD);
  EXPECT_EQ(Plan(L"^", false, fr), Unicode(L'^'));
  EXPECT_EQ(Plan(L"^\u00A8", true, fr), Unicode(L'^') + Unicode(0xA8));
  // The plain character on the same German key as the dead ^ is typed.
  EXPECT_EQ(Plan(L"\u00B0", false, de), Shifted(0xDC));
}

TEST(TypingPlan, CharactersNoKeyTypesAreUnicodeEvents) {
  EXPECT_EQ(Plan(L"\u20AC\u00E9", false, os::sim::UsLayout()), Unicode(0x20AC) + Unicode(0xE9));
  EXPECT_EQ(Plan(L"\u0416", false, os::sim::GermanLayout()), Unicode(0x416));
}

TEST(TypingPlan, CapsLockIsTakenIntoAccountForOtherCharacters) {
  const auto& de = os::sim::GermanLayout();
  EXPECT_EQ(Plan(L"\u00E4\u00C4", false, de), Press(0xDE) + Shifted(0xDE));
  // Under Caps Lock the key the lookup reports types the other case; the
  // same key with Shift the other way types the character.
  EXPECT_EQ(Plan(L"\u00E4\u00C4", true, de), Shifted(0xDE) + Press(0xDE));
  // Caps Lock acts on the ß key too (Shift there is "?"); not on "-".
  EXPECT_EQ(Plan(L"\u00DF?-", true, de), Shifted(0xDB) + Press(0xDB) + Press(0xBD));
}

// The characters whose keys Caps Lock changes go as real keys, never as
// Unicode events: German digits, French digits and accented letters.
TEST(TypingPlan, UnderCapsLockKeysCapsLockChangesArePressedWithShiftTheOtherWay) {
  struct Case {
    const os::sim::KeyboardLayoutTable& layout;
    const wchar_t* text;
    std::vector<KeyEvent> withCapsLock;
  };
  const Case cases[] = {
      {os::sim::GermanLayout(), L"17/0=",
       Shifted('1') + Shifted('7') + Press('7') + Shifted('0') + Press('0')},
      {os::sim::FrenchLayout(), L"\u00E9\u00E8\u00E7\u00E02",
       Shifted('2') + Shifted('7') + Shifted('9') + Shifted('0') + Press('2')},
      {os::sim::FrenchLayout(), L"09&\u00F9%",
       Press('0') + Press('9') + Shifted('1') + Shifted(0xC0) + Press(0xC0)},
      // Caps Lock on the UK AltGr vowels: Shift+AltGr+E types é.
      {os::sim::UkLayout(), L"\u00E9\u00C9",
       std::vector<KeyEvent>{K::KeyDown(kCtrl), K::KeyDown(kAlt), K::KeyDown(kShift),
                             K::KeyDown('E'), K::KeyUp('E'), K::KeyUp(kShift), K::KeyUp(kAlt),
                             K::KeyUp(kCtrl)} +
           AltGr('E')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout.name);
    EXPECT_EQ(Plan(c.text, true, c.layout), c.withCapsLock);
    SimKeyboard keyboard(c.layout);
    keyboard.SetCapsLock(true);
    TypeText(c.text, keyboard);
    EXPECT_EQ(keyboard.TypedText(), c.text);
  }
}

// A key Caps Lock changes other than as Shift, as on the Swiss German ü key
// (Caps Lock: Ü, Shift: è): with Shift the other way it would type another
// character, so the Unicode event stays.
class SwissUmlautKey final : public LayoutQuery {
 public:
  std::int16_t VkKeyScan(wchar_t ch) const override { return ch == 0xFC ? 0x00BA : -1; }
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte state, bool caps) const override {
    if (vk != 0xBA || (state & ~os::kShiftStateShift)) return {};
    if (state) return {1, caps ? L"\u00C8" : L"\u00E8"};
    return {1, caps ? L"\u00DC" : L"\u00FC"};
  }
};

TEST(TypingPlan, UnderCapsLockAKeyThatTypesSomethingElseEitherWayGivesWayToAUnicodeEvent) {
  EXPECT_EQ(PlanTyping(L"\u00FC", false, SwissUmlautKey()), Press(0xBA));
  EXPECT_EQ(PlanTyping(L"\u00FC", true, SwissUmlautKey()), Unicode(0xFC));
}

// A Cyrillic-like layout: the letter keys type Cyrillic; one key types a
// Latin "a" where Latin letters do not normally sit.
os::sim::KeyboardLayoutTable CyrillicLikeLayout() {
  os::sim::KeyboardLayoutTable t;
  t.hkl = 0x04190419;
  t.keys.push_back({'A', os::sim::kCapLok, {.plain = 0x444, .shift = 0x424}});  // ф Ф
  t.keys.push_back({'F', os::sim::kCapLok, {.plain = 0x430, .shift = 0x410}});  // а А
  t.keys.push_back({0xC0, 0, {.plain = u'a', .shift = u'A'}});
  os::sim::AddControlKeys(t.keys);
  return t;
}

TEST(TypingPlan, LettersOffTheirOwnKeysFollowTheOtherCharacterRule) {
  const auto layout = CyrillicLikeLayout();
  EXPECT_EQ(Plan(L"aA", false, layout), Press(0xC0) + Shifted(0xC0));
  EXPECT_EQ(Plan(L"aA", true, layout), Press(0xC0) + Shifted(0xC0));
  EXPECT_EQ(Plan(L"bZ", false, layout), Unicode(L'b') + Unicode(L'Z'));
  EXPECT_EQ(Plan(L"\u0430\u0410", false, layout), Press('F') + Shifted('F'));
  EXPECT_EQ(Plan(L"\u0430\u0410", true, layout), Shifted('F') + Press('F'));
}

TEST(TypeText, ReadsCapsLockAndLayoutOncePerStringAndSendsThePlan) {
  SimKeyboard keyboard(os::sim::GermanLayout());
  TypeText(L"aZ@^", keyboard);
  EXPECT_EQ(keyboard.CapsLockReads(), 1);
  EXPECT_EQ(keyboard.LayoutReads(), 1);
  EXPECT_EQ(keyboard.StateChangingToUnicodeCalls(), 0);
  using R = os::sim::RecordedKeyEvent;
  const std::vector<R> expected = {
      {false, 'A', false},       {false, 'A', true, 0, 2},  {false, kShift, false},
      {false, 'Z', false},       {false, 'Z', true, 0, 2},  {false, kShift, true, 0, 2},
      {false, kCtrl, false},     {false, kAlt, false},      {false, 'Q', false},
      {false, 'Q', true, 0, 2},  {false, kAlt, true, 0, 2}, {false, kCtrl, true, 0, 2},
      {true, L'^', false, 0, 4}, {true, L'^', true, 0, 6},
  };
  EXPECT_EQ(keyboard.Events(), expected);
  EXPECT_EQ(keyboard.TypedText(), L"aZ@^");
}

TEST(TypeText, EachStringUsesTheCapsLockStateAtItsStart) {
  SimKeyboard keyboard;
  TypeText(L"a", keyboard);
  keyboard.SetCapsLock(true);
  TypeText(L"a", keyboard);
  EXPECT_EQ(keyboard.CapsLockReads(), 2);
  EXPECT_EQ(keyboard.TypedText(), L"aa");
  EXPECT_EQ(keyboard.Events().size(), 6u);  // the second "a" needs Shift
}

TEST(TypeText, KeptAnswersSpareTheLayoutQuestionsUntilTheLayoutChanges) {
  SimKeyboard keyboard(os::sim::GermanLayout());
  LayoutAnswers answers;
  TypeText(L"Q-1@z", keyboard, answers);
  const int first = keyboard.LayoutQueries();
  EXPECT_GT(first, 0);
  // The same characters again, and under Caps Lock: the letters and the
  // lookups are known, only "-", "1" and "@" are asked for under Caps Lock,
  // "1" twice (Caps Lock acts on it, so Shift+1 is asked too).
  TypeText(L"Q-1@z", keyboard, answers);
  EXPECT_EQ(keyboard.LayoutQueries(), first);
  keyboard.SetCapsLock(true);
  TypeText(L"Q-1@z", keyboard, answers);
  const int withCaps = keyboard.LayoutQueries();
  EXPECT_EQ(withCaps, first + 4);
  EXPECT_EQ(keyboard.TypedText(), L"Q-1@zQ-1@zQ-1@z");
  // Another layout: nothing kept from the German one, where "z" is on the Y
  // key; on the US layout it is its own key again.
  keyboard.SetCapsLock(false);
  keyboard.SetLayout(os::sim::UsLayout());
  keyboard.ClearEvents();
  TypeText(L"z", keyboard, answers);
  EXPECT_EQ(keyboard.LayoutQueries(), withCaps + 1);
  using R = os::sim::RecordedKeyEvent;
  EXPECT_EQ(keyboard.Events(), (std::vector<R>{{false, 'Z', false}, {false, 'Z', true, 0, 2}}));
}

TEST(TypeText, ADeadKeyAnswerIsAskedAgainEachTime) {
  // "^" is a dead key on the German layout: it goes as a Unicode event, and
  // its key's answer is not kept.
  SimKeyboard keyboard(os::sim::GermanLayout());
  LayoutAnswers answers;
  TypeText(L"^", keyboard, answers);
  const int first = keyboard.LayoutQueries();
  TypeText(L"^", keyboard, answers);
  EXPECT_EQ(keyboard.LayoutQueries(), first + 1);
  EXPECT_EQ(keyboard.TypedText(), L"^^");
}

TEST(TypeText, EmptyTextSendsNothing) {
  SimKeyboard keyboard;
  TypeText(L"", keyboard);
  EXPECT_TRUE(keyboard.Events().empty());
}

}  // namespace
}  // namespace quillet::app
