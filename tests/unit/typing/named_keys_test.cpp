// Named keys and chords as key events: real key presses with scan codes,
// modifiers down before the key and up after it, also when sending fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

#include "app/typing.h"
#include "os/sim/keyboard_sim.h"

namespace quillet::app {
namespace {

using os::sim::SimKeyboard;

KeyEvent Key(os::Byte vk, os::Byte scan, bool down, bool extended = false) {
  KeyEvent e = down ? KeyEvent::KeyDown(vk) : KeyEvent::KeyUp(vk);
  e.scan = scan;
  e.extended = extended;
  return e;
}

TEST(NamedKeys, PlansRealPressesWithModifiersAroundEachRepeat) {
  constexpr os::Byte kShift = os::kShiftStateShift, kCtrl = os::kShiftStateCtrl,
                     kAlt = os::kShiftStateAlt;
  const struct {
    const char* what;
    os::Byte vk, shiftState;
    int repeat;
    std::vector<KeyEvent> events;
  } cases[] = {
      {"tab", 0x09, 0, 1, {Key(0x09, 0x0F, true), Key(0x09, 0x0F, false)}},
      {"delete is an extended key",
       0x2E,
       0,
       1,
       {Key(0x2E, 0x53, true, true), Key(0x2E, 0x53, false, true)}},
      {"enter twice",
       0x0D,
       0,
       2,
       {Key(0x0D, 0x1C, true), Key(0x0D, 0x1C, false), Key(0x0D, 0x1C, true),
        Key(0x0D, 0x1C, false)}},
      {"ctrl+shift+f5: ctrl, shift down; key; shift, ctrl up",
       0x74,
       kCtrl | kShift,
       1,
       {Key(0x11, 0x1D, true), Key(0x10, 0x2A, true), Key(0x74, 0x3F, true), Key(0x74, 0x3F, false),
        Key(0x10, 0x2A, false), Key(0x11, 0x1D, false)}},
      {"alt+f4",
       0x73,
       kAlt,
       1,
       {Key(0x12, 0x38, true), Key(0x73, 0x3E, true), Key(0x73, 0x3E, false),
        Key(0x12, 0x38, false)}},
      {"ctrl+alt+shift+s",
       'S',
       kCtrl | kAlt | kShift,
       1,
       {Key(0x11, 0x1D, true), Key(0x12, 0x38, true), Key(0x10, 0x2A, true), Key('S', 0x1F, true),
        Key('S', 0x1F, false), Key(0x10, 0x2A, false), Key(0x12, 0x38, false),
        Key(0x11, 0x1D, false)}},
      {"shift+tab twice: shift released between",
       0x09,
       kShift,
       2,
       {Key(0x10, 0x2A, true), Key(0x09, 0x0F, true), Key(0x09, 0x0F, false),
        Key(0x10, 0x2A, false), Key(0x10, 0x2A, true), Key(0x09, 0x0F, true),
        Key(0x09, 0x0F, false), Key(0x10, 0x2A, false)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimKeyboard keyboard;
    EXPECT_EQ(PlanNamedKey(c.vk, c.shiftState, c.repeat, keyboard), c.events);
  }
}

TEST(NamedKeys, GoInOneCallWithScanCodeAndExtendedFlag) {
  SimKeyboard keyboard;
  const std::vector<KeyEvent> events = PlanNamedKey(0x26, os::kShiftStateShift, 1, keyboard);
  EXPECT_EQ(SendKeyEvents(events, keyboard), events.size());
  ASSERT_EQ(keyboard.Steps().size(), 1u);
  using os::sim::RecordedKeyEvent;
  const std::vector<RecordedKeyEvent> expected = {
      {false, 0x10, false, 0x2A, 0, 0},
      {false, 0x26, false, 0x48, os::kKeyeventfExtendedKey, 0},
      {false, 0x26, true, 0x48, os::kKeyeventfExtendedKey | os::kKeyeventfKeyup, 0},
      {false, 0x10, true, 0x2A, os::kKeyeventfKeyup, 0},
  };
  EXPECT_EQ(keyboard.Events(), expected);
}

// Keys down at the end of what the keyboard received.
std::vector<std::uint16_t> HeldKeys(const SimKeyboard& keyboard) {
  std::map<std::uint16_t, bool> down;
  for (const auto& e : keyboard.Events())
    if (!e.unicode) down[e.code] = !e.keyUp;
  std::vector<std::uint16_t> held;
  for (const auto& [vk, isDown] : down)
    if (isDown) held.push_back(vk);
  return held;
}

TEST(NamedKeys, NothingStaysDownWhenSendingStopsAnywhere) {
  SimKeyboard planner;
  const std::vector<KeyEvent> chord = PlanNamedKey(
      0x74, os::kShiftStateCtrl | os::kShiftStateAlt | os::kShiftStateShift, 2, planner);
  for (const bool throws : {false, true}) {
    for (std::size_t taken = 0; taken < chord.size(); ++taken) {
      SCOPED_TRACE(testing::Message() << "taken " << taken << (throws ? ", then throws" : ""));
      SimKeyboard keyboard;
      keyboard.FailNextSend(taken, throws);
      if (throws) {
        EXPECT_THROW(SendKeyEvents(chord, keyboard), std::runtime_error);
      } else {
        EXPECT_EQ(SendKeyEvents(chord, keyboard), taken);
      }
      EXPECT_EQ(HeldKeys(keyboard), std::vector<std::uint16_t>{});
      // Released last pressed first: Shift, then Alt, then Ctrl.
      std::vector<std::uint16_t> modifiersReleased;
      for (std::size_t i = taken; i < keyboard.Events().size(); ++i) {
        const std::uint16_t code = keyboard.Events()[i].code;
        if (code == os::kVkShift || code == os::kVkMenu || code == os::kVkControl)
          modifiersReleased.push_back(code);
      }
      std::vector<std::uint16_t> inOrder = modifiersReleased;
      std::stable_sort(inOrder.begin(), inOrder.end(), [](std::uint16_t a, std::uint16_t b) {
        const auto rank = [](std::uint16_t vk) {
          return vk == os::kVkShift ? 0 : vk == os::kVkMenu ? 1 : 2;
        };
        return rank(a) < rank(b);
      });
      EXPECT_EQ(modifiersReleased, inOrder);
    }
  }
}

TEST(NamedKeys, TypedTextKeepsNoShiftDownWhenSendingStops) {
  // "Aa" with Caps Lock off: Shift down, A, Shift up, A. Stopped after the
  // Shift went down, the Shift is released.
  SimKeyboard keyboard;
  keyboard.FailNextSend(2);
  const TypeOutcome outcome = TypeText(L"Aa", keyboard);
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.typed, 0u);
  EXPECT_EQ(HeldKeys(keyboard), std::vector<std::uint16_t>{});
}

}  // namespace
}  // namespace quillet::app
