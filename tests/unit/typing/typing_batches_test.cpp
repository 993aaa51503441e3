// TypeText on the simulated desktop: long text in batches, the paint probe
// armed on the foreground window after every second, the focus moving between
// batches, and a window whose process runs with higher rights. (The queue's
// own test covers windows slower than the keys and hung ones.)
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/typing.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/layouts.h"

namespace quillet::os::sim {
void PrintTo(const KeyboardStep& step, std::ostream* os) {
  if (step.kind == KeyboardStep::Kind::Send)
    *os << "send " << step.events;
  else if (step.kind == KeyboardStep::Kind::Invalidate)
    *os << "invalidate " << step.window << " flags " << step.flags;
  else
    *os << "wait " << step.window << " flags " << step.flags << " " << step.timeoutMs << " ms";
}
}  // namespace quillet::os::sim

namespace quillet::app {
namespace {

using os::sim::KeyboardStep;
using os::sim::SimKeyboard;

constexpr unsigned kProbeFlags = os::kRdwInvalidate | os::kRdwNoErase;

// Lower-case letters and digits: two key events a character.
std::wstring Text(std::size_t length) {
  static const wchar_t kChars[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
  std::wstring text;
  for (std::size_t i = 0; i < length; ++i) text += kChars[(i * 7) % 36];
  return text;
}

KeyboardStep Send(std::size_t events) {
  return {KeyboardStep::Kind::Send, events};
}
KeyboardStep Probe(os::WindowHandle window = SimKeyboard::kForegroundWindow) {
  return {KeyboardStep::Kind::Invalidate, 0, window, kProbeFlags, 0};
}

// The steps for batches of these sizes (characters of two events each) into
// a window that takes them at once: a probe after two batches and after the
// last, and the painted probe lets the next two go.
std::vector<KeyboardStep> Batches(const std::vector<std::size_t>& sizes) {
  std::vector<KeyboardStep> steps;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    steps.push_back(Send(2 * sizes[i]));
    if (i % 2 == 1 || i + 1 == sizes.size()) steps.push_back(Probe());
  }
  return steps;
}

TEST(TypingBatches, BatchesUpToTheLimitTwoForEachPaintedProbe) {
  struct Case {
    std::size_t length;
    std::vector<std::size_t> batches;
  };
  std::vector<std::size_t> longScan(46, 64);
  longScan.push_back(3000 - 46 * 64);
  const Case cases[] = {
      {20, {20}},
      {64, {64}},
      {65, {64, 1}},
      {3000, longScan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    SimKeyboard keyboard;
    const std::wstring text = Text(c.length);
    const TypeOutcome outcome = TypeText(text, keyboard);
    EXPECT_FALSE(outcome.refused);
    EXPECT_EQ(keyboard.Steps(), Batches(c.batches));
    EXPECT_EQ(keyboard.TypedText(), text);
  }
}

TEST(TypingBatches, ASurrogatePairIsNeverSplitBetweenBatches) {
  SimKeyboard keyboard;
  const std::wstring text = Text(63) +
                            L"\xD83D\xDE00"
                            L"b";
  TypeText(text, keyboard);
  // 63 characters, then the pair (two Unicode events each half) and "b".
  EXPECT_EQ(keyboard.Steps(), (std::vector<KeyboardStep>{Send(126), Send(6), Probe()}));
  EXPECT_EQ(keyboard.TypedText(), text);
}

TEST(TypingBatches, WithNoForegroundWindowTheBatchesGoWithoutAProbe) {
  SimKeyboard keyboard;
  keyboard.SetForegroundWindow(0);
  TypeText(Text(130), keyboard);
  EXPECT_EQ(keyboard.Steps(), (std::vector<KeyboardStep>{Send(128), Send(128), Send(4)}));
}

// Between batches the user moves to another program, on a German layout
// (where "@" is AltGr+Q), and turns Caps Lock on: the rest goes there, as
// the keyboard would send it, and every character still arrives as itself.
TEST(TypingBatches, WhenTheFocusMovesBetweenBatchesTheRestFollowsTheNewWindowAndLayout) {
  SimKeyboard keyboard;
  constexpr os::WindowHandle kEditor = 0x2000;
  keyboard.AddWindow(kEditor, 5000, L"Editor");
  keyboard.SetIntegrityLevel(5000, os::kIntegrityMedium);
  int waits = 0;
  keyboard.OnWait([&] {
    if (++waits > 1) return;
    keyboard.SetForegroundWindow(kEditor);
    keyboard.SetLayout(os::sim::GermanLayout());
    keyboard.SetCapsLock(true);
  });
  std::wstring text;
  for (int i = 0; i < 75; ++i) text += L"a@";
  TypeText(text, keyboard);
  EXPECT_EQ(keyboard.TypedText(), text);
  // Two batches and the probe to the first window, the rest and its probe
  // to the editor.
  ASSERT_EQ(keyboard.Steps().size(), 5u);
  EXPECT_EQ(keyboard.Steps()[2], Probe(SimKeyboard::kForegroundWindow));
  EXPECT_EQ(keyboard.Steps()[4], Probe(kEditor));
  // US: "a" its key, "@" Shift+2; then German under Caps Lock: Shift+A and
  // Ctrl+Alt+Q.
  const auto& events = keyboard.Events();
  ASSERT_EQ(events.size(), 64u * 6 + 11u * 10);
  const auto codes = [&](std::size_t from, std::size_t n) {
    std::vector<int> out;
    for (std::size_t i = from; i < from + n; ++i) out.push_back(events[i].code);
    return out;
  };
  EXPECT_EQ(codes(0, 6), (std::vector<int>{'A', 'A', 0x10, '2', '2', 0x10}));
  EXPECT_EQ(codes(384, 10),
            (std::vector<int>{0x10, 'A', 'A', 0x10, 0x11, 0x12, 'Q', 'Q', 0x12, 0x11}));
  EXPECT_EQ(keyboard.LayoutReads(), 3);
  EXPECT_EQ(keyboard.CapsLockReads(), 3);
}

TEST(TypingRights, AWindowOfAProcessWithHigherRightsGetsNothingAndIsReported) {
  struct Case {
    const char* what;
    std::optional<os::Dword> theirs, ours;
    bool refused;
  };
  const Case cases[] = {
      {"higher", os::kIntegrityHigh, os::kIntegrityMedium, true},
      {"system over high", os::kIntegritySystem, os::kIntegrityHigh, true},
      {"equal", os::kIntegrityMedium, os::kIntegrityMedium, false},
      {"lower", os::kIntegrityLow, os::kIntegrityMedium, false},
      {"their query fails", std::nullopt, os::kIntegrityMedium, false},
      {"our query fails", os::kIntegrityHigh, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimKeyboard keyboard;
    keyboard.AddWindow(SimKeyboard::kForegroundWindow, SimKeyboard::kForegroundProcess,
                       L"Administrator: Command Prompt");
    keyboard.SetIntegrityLevel(SimKeyboard::kForegroundProcess, c.theirs);
    keyboard.SetIntegrityLevel(SimKeyboard::kOwnProcess, c.ours);
    const TypeOutcome outcome = TypeText(L"0123456789", keyboard);
    EXPECT_EQ(outcome.refused, c.refused);
    if (c.refused) {
      EXPECT_EQ(outcome.window_title, L"Administrator: Command Prompt");
      EXPECT_TRUE(keyboard.Events().empty());
    } else {
      EXPECT_EQ(outcome.window_title, L"");
      EXPECT_EQ(keyboard.TypedText(), L"0123456789");
    }
  }
}

TEST(TypingRights, OurOwnWindowInTheForegroundIsTypedIntoWithoutAQuery) {
  SimKeyboard keyboard;
  keyboard.AddWindow(0x3000, SimKeyboard::kOwnProcess, L"Quillet");
  keyboard.SetForegroundWindow(0x3000);
  keyboard.SetIntegrityLevel(SimKeyboard::kOwnProcess, std::nullopt);
  EXPECT_FALSE(TypeText(L"abc", keyboard).refused);
  EXPECT_EQ(keyboard.IntegrityQueries(), 0);
  EXPECT_EQ(keyboard.TypedText(), L"abc");
}

// The focus moves to an elevated program between batches: what went before
// stays typed, nothing more is sent, and that program is named.
TEST(TypingRights, TheFocusMovingToAWindowWithHigherRightsStopsTheRest) {
  SimKeyboard keyboard;
  constexpr os::WindowHandle kElevated = 0x4000;
  keyboard.AddWindow(kElevated, 6000, L"Registry Editor");
  keyboard.SetIntegrityLevel(6000, os::kIntegrityHigh);
  keyboard.OnWait([&] { keyboard.SetForegroundWindow(kElevated); });
  const std::wstring text = Text(200);
  const TypeOutcome outcome = TypeText(text, keyboard);
  EXPECT_TRUE(outcome.refused);
  EXPECT_EQ(outcome.window_title, L"Registry Editor");
  EXPECT_EQ(keyboard.TypedText(), text.substr(0, 128));
  EXPECT_EQ(keyboard.Steps(), (std::vector<KeyboardStep>{Send(128), Send(128), Probe()}));
}

TEST(TypingRights, TheRightsAreAskedOncePerWindowNotPerBatch) {
  SimKeyboard keyboard;
  TypeText(Text(300), keyboard);
  // Theirs and ours, once.
  EXPECT_EQ(keyboard.IntegrityQueries(), 2);
}

}  // namespace
}  // namespace quillet::app
