// The key-name reader: what a stored prefix or suffix becomes.
#include "app/reception/key_script.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

namespace quillet::app::reception {

void PrintTo(const KeyStep& step, std::ostream* os) {
  switch (step.kind) {
    case KeyStep::Kind::Text:
      *os << "text(" << step.text.size() << " units)";
      break;
    case KeyStep::Kind::Key:
      *os << "key(" << (step.chord.ctrl ? "ctrl+" : "") << (step.chord.alt ? "alt+" : "")
          << (step.chord.shift ? "shift+" : "") << int(step.chord.vk) << " x" << step.repeat << ")";
      break;
    case KeyStep::Kind::Wait:
      *os << "wait(" << step.waitMs << ")";
      break;
  }
}

namespace {

KeyStep T(std::wstring text) {
  KeyStep step;
  step.text = std::move(text);
  return step;
}
KeyStep K(std::uint8_t vk, int repeat = 1, bool ctrl = false, bool alt = false,
          bool shift = false) {
  KeyStep step;
  step.kind = KeyStep::Kind::Key;
  step.chord = {ctrl, alt, shift, vk};
  step.repeat = repeat;
  return step;
}
KeyStep Chord(bool ctrl, bool alt, bool shift, std::uint8_t vk) {
  return K(vk, 1, ctrl, alt, shift);
}
KeyStep W(unsigned ms) {
  KeyStep step;
  step.kind = KeyStep::Kind::Wait;
  step.waitMs = ms;
  return step;
}

TEST(KeyScript, EveryNameInAnyCase) {
  const struct {
    const wchar_t* name;
    std::uint8_t vk;
  } names[] = {
      {L"TAB", 0x09},   {L"ENTER", 0x0D}, {L"ESC", 0x1B},  {L"BS", 0x08},   {L"BACKSPACE", 0x08},
      {L"DEL", 0x2E},   {L"INS", 0x2D},   {L"HOME", 0x24}, {L"END", 0x23},  {L"PGUP", 0x21},
      {L"PGDN", 0x22},  {L"UP", 0x26},    {L"DOWN", 0x28}, {L"LEFT", 0x25}, {L"RIGHT", 0x27},
      {L"SPACE", 0x20}, {L"F1", 0x70},    {L"F9", 0x78},   {L"F10", 0x79},  {L"F12", 0x7B},
      {L"F13", 0x7C},   {L"F24", 0x87},
  };
  for (const auto& n : names) {
    std::wstring lower = n.name;
    for (wchar_t& ch : lower) ch = static_cast<wchar_t>(std::towlower(ch));
    std::wstring mixed = lower;
    mixed[0] = n.name[0];
    for (const std::wstring& written : {std::wstring(n.name), lower, mixed}) {
      SCOPED_TRACE(std::string(written.begin(), written.end()));
      EXPECT_EQ(ParseKeyScript(L"{" + written + L"}"), std::vector<KeyStep>{K(n.vk)});
    }
  }
}

TEST(KeyScript, ScriptsBecomeTextKeysAndWaits) {
  const struct {
    const wchar_t* script;
    std::vector<KeyStep> steps;
  } cases[] = {
      {L"", {}},
      {L"ABC", {T(L"ABC")}},
      {L"{TAB}", {K(0x09)}},
      {L"ID:{TAB}", {T(L"ID:"), K(0x09)}},
      {L"{F2}X{ENTER}", {K(0x71), T(L"X"), K(0x0D)}},
      {L"{ENTER}{WAIT 300}{TAB}", {K(0x0D), W(300), K(0x09)}},
      // Chords: modifiers in any order, each once; letters and digits only after one.
      {L"{SHIFT+TAB}", {Chord(false, false, true, 0x09)}},
      {L"{CTRL+S}", {Chord(true, false, false, 'S')}},
      {L"{ctrl+s}", {Chord(true, false, false, 'S')}},
      {L"{ALT+F4}", {Chord(false, true, false, 0x73)}},
      {L"{CTRL+SHIFT+F5}", {Chord(true, false, true, 0x74)}},
      {L"{SHIFT+CTRL+F5}", {Chord(true, false, true, 0x74)}},
      {L"{CTRL+ALT+SHIFT+7}", {Chord(true, true, true, '7')}},
      {L"{CTRL+CTRL+S}", {T(L"{CTRL+CTRL+S}")}},
      {L"{S}", {T(L"{S}")}},
      {L"{SHIFT}", {T(L"{SHIFT}")}},
      {L"{SHIFT+}", {T(L"{SHIFT+}")}},
      {L"{+TAB}", {T(L"{+TAB}")}},
      {L"{CTRL+SS}", {T(L"{CTRL+SS}")}},
      {L"{WIN+R}", {T(L"{WIN+R}")}},
      // Repeats 1..99, on chords too.
      {L"{TAB 3}", {K(0x09, 3)}},
      {L"{TAB 1}", {K(0x09, 1)}},
      {L"{TAB 99}", {K(0x09, 99)}},
      {L"{SHIFT+TAB 2}", {K(0x09, 2, false, false, true)}},
      {L"{TAB 0}", {T(L"{TAB 0}")}},
      {L"{TAB 100}", {T(L"{TAB 100}")}},
      {L"{TAB -1}", {T(L"{TAB -1}")}},
      {L"{TAB  3}", {T(L"{TAB  3}")}},
      {L"{TAB 3 }", {T(L"{TAB 3 }")}},
      {L"{TAB x}", {T(L"{TAB x}")}},
      {L"{TAB 99999999999}", {T(L"{TAB 99999999999}")}},
      // Waits 0..5000.
      {L"{WAIT 0}", {W(0)}},
      {L"{wait 5000}", {W(5000)}},
      {L"{WAIT 5001}", {T(L"{WAIT 5001}")}},
      {L"{WAIT}", {T(L"{WAIT}")}},
      {L"{CTRL+WAIT 5}", {T(L"{CTRL+WAIT 5}")}},
      // Literal braces, merged with the text around them.
      {L"{{}", {T(L"{")}},
      {L"{}}", {T(L"}")}},
      {L"A{{}B{}}C", {T(L"A{B}C")}},
      {L"{{}TAB{}}", {T(L"{TAB}")}},
      // Unknown names, bad F-keys, unmatched and nested braces: text as written.
      {L"{NAME}", {T(L"{NAME}")}},
      {L"{F0}", {T(L"{F0}")}},
      {L"{F25}", {T(L"{F25}")}},
      {L"{F01}", {T(L"{F01}")}},
      {L"{ TAB}", {T(L"{ TAB}")}},
      {L"{}", {T(L"{}")}},
      {L"{", {T(L"{")}},
      {L"}", {T(L"}")}},
      {L"{TAB", {T(L"{TAB")}},
      {L"TAB}", {T(L"TAB}")}},
      {L"{{TAB}}", {T(L"{"), K(0x09), T(L"}")}},
      {L"{X{TAB}", {T(L"{X"), K(0x09)}},
      {L"{TAB}}", {K(0x09), T(L"}")}},
      {L"{{}}", {T(L"{}")}},
      {L"{\x00e9}", {T(L"{\x00e9}")}},
  };
  for (const auto& c : cases) {
    const std::wstring script = c.script;
    SCOPED_TRACE(std::string(script.begin(), script.end()));
    EXPECT_EQ(ParseKeyScript(script), c.steps);
  }
}

TEST(KeyScript, ReceivedTextAppendsAsCharactersEvenWithBraces) {
  std::vector<KeyStep> steps = ParseKeyScript(L"P{TAB}Q");
  AppendText(steps, L"{ENTER}");
  AppendText(steps, L"");
  const std::vector<KeyStep> suffix = ParseKeyScript(L"{ENTER}");
  steps.insert(steps.end(), suffix.begin(), suffix.end());
  EXPECT_EQ(steps, (std::vector<KeyStep>{T(L"P"), K(0x09), T(L"Q{ENTER}"), K(0x0D)}));
}

}  // namespace
}  // namespace quillet::app::reception
