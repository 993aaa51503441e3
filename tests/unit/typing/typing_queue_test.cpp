// The typing queue against a hand-moved clock and the simulated keyboard:
// scans whole in completion order, long scans batch by batch from the timer
// and never far ahead of a slow window, a hung or vanishing window, the pace
// between keys, waits on the timer, refusals and failures, and closing with
// text still queued.
#include "app/reception/typing_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "os/sim/keyboard_sim.h"

namespace quillet::app::reception {
namespace {

using Clock = std::chrono::steady_clock;
using os::sim::KeyboardStep;
using os::sim::SimKeyboard;
using std::chrono::milliseconds;

class FakeHost final : public TypingHost {
 public:
  Clock::time_point Now() const override { return now; }
  void SetTypingTimer(unsigned ms) override { timer = ms; }
  os::KeyboardApi& Keyboard() override { return keyboard; }
  void WaitWhileClosing(unsigned ms) override {
    closeWaits += ms;
    now += milliseconds(ms);
  }

  Clock::time_point start = Clock::time_point{} + std::chrono::hours(1);
  Clock::time_point now = start;
  unsigned timer = 0;  // armed one-shot, 0 when stopped
  unsigned closeWaits = 0;
  SimKeyboard keyboard;
};

struct Done {
  int row;
  ReceptionOutcome outcome;
  std::wstring reason;
  std::size_t untyped;
};

class TypingQueueTest : public testing::Test {
 protected:
  TypingQueueTest() {
    queue.OnJobStarted = [this](const TypeJob& job) { started.push_back(job.row); };
    queue.OnJobDone = [this](const TypeJob& job, const TypeJobResult& r) {
      done.push_back({job.row, r.outcome, r.reason, r.untypedCharacters});
    };
  }

  static TypeJob Job(int row, std::wstring_view prefix, std::wstring_view text,
                     std::wstring_view suffix, unsigned delayMs) {
    TypeJob job;
    job.row = row;
    job.port = L"COM" + std::to_wstring(row);
    job.steps = ParseKeyScript(prefix);
    AppendText(job.steps, text);
    const std::vector<KeyStep> tail = ParseKeyScript(suffix);
    job.steps.insert(job.steps.end(), tail.begin(), tail.end());
    job.charDelayMs = delayMs;
    return job;
  }

  // Runs the armed timer until it stops or `limit` has passed, noting when
  // each key went down (ms after the start). With `taking`, the target (made
  // to take keys only when asked) takes that many key events after each tick.
  void Run(milliseconds limit = milliseconds(60000), std::size_t taking = 0) {
    Note();
    while (host.timer != 0 && host.now - host.start < limit) {
      host.now += milliseconds(host.timer);
      host.timer = 0;
      queue.Tick();
      Note();
      if (taking) host.keyboard.TakeInput(taking);
    }
  }
  void Note() {
    const auto& events = host.keyboard.Events();
    for (; noted < events.size(); ++noted)
      if (!events[noted].keyUp)
        downs.push_back({events[noted].code,
                         std::chrono::duration_cast<milliseconds>(host.now - host.start).count()});
  }
  // Times of the key-downs that are not modifiers.
  std::vector<long long> KeyTimes() const {
    std::vector<long long> times;
    for (const auto& [code, ms] : downs)
      if (code != os::kVkShift && code != os::kVkControl && code != os::kVkMenu)
        times.push_back(ms);
    return times;
  }

  FakeHost host;
  TypingQueue queue{host};
  std::vector<int> started;
  std::vector<Done> done;
  std::size_t noted = 0;
  std::vector<std::pair<std::uint16_t, long long>> downs;
};

std::wstring Letters(std::size_t length) {
  std::wstring text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
  return text;
}

KeyboardStep Probe() {
  return {KeyboardStep::Kind::Invalidate, 0, SimKeyboard::kForegroundWindow,
          os::kRdwInvalidate | os::kRdwNoErase, 0};
}
KeyboardStep Send(std::size_t events) {
  return {KeyboardStep::Kind::Send, events};
}

// The first batch goes inside Enqueue; then the queue returns to the message
// loop with the timer armed, and each further batch goes from a tick.
TEST_F(TypingQueueTest, UnpacedScanTypesItsFirstBatchAtOnceAndTheRestFromTheTimer) {
  const std::wstring text = Letters(150);
  queue.Enqueue(Job(1, L"", text, L"", 0));
  EXPECT_EQ(host.keyboard.Steps(), (std::vector<KeyboardStep>{Send(128)}));
  EXPECT_NE(host.timer, 0u);
  EXPECT_EQ(queue.PendingCharacters(), 150u - 64u);
  EXPECT_EQ(started, std::vector<int>{1});
  EXPECT_TRUE(done.empty());
  Run();
  EXPECT_EQ(host.keyboard.Steps(),
            (std::vector<KeyboardStep>{Send(128), Send(128), Probe(), Send(44), Probe()}));
  EXPECT_EQ(host.keyboard.TypedText(), text);
  // Exactly the keys of the whole text planned at once.
  SimKeyboard reference;
  SendKeyEvents(PlanTyping(text, false, KeyboardLayoutQuery(reference, reference.Layout().hkl)),
                reference);
  EXPECT_EQ(host.keyboard.Events(), reference.Events());
  EXPECT_EQ(host.timer, 0u);
  EXPECT_TRUE(queue.Empty());
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::typed);
}

// A window slower than the keys: never more than two batches wait in it,
// and every character arrives, in order, across scans.
TEST_F(TypingQueueTest, ASlowWindowIsNeverMoreThanTwoBatchesBehind) {
  for (const std::size_t taking : {1u, 40u, 300u}) {
    SCOPED_TRACE(taking);
    SimKeyboard& keyboard = host.keyboard;
    keyboard = SimKeyboard();
    keyboard.TakeInputWhenAsked();
    done.clear();
    host.start = host.now;
    queue.Enqueue(Job(1, L"", Letters(3000), L"{ENTER}", 0));
    queue.Enqueue(Job(2, L"", L"SECOND", L"", 0));
    EXPECT_NE(host.timer, 0u);
    Run(milliseconds(600000), taking);
    keyboard.TakeInput(keyboard.QueuedEvents());
    EXPECT_EQ(keyboard.TypedText(), Letters(3000) + L"\rSECOND");
    // Two batches of letters, two events a letter.
    EXPECT_LE(keyboard.MostQueuedEvents(), 2 * 2 * kBatchCharacters);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].outcome, ReceptionOutcome::typed);
    EXPECT_EQ(done[1].outcome, ReceptionOutcome::typed);
  }
}

// A window that takes nothing: after the time-out the rest is not typed into
// it and is reported, and so are the scans after it while it still hangs;
// once it takes its keys again, typing goes on.
TEST_F(TypingQueueTest, AHungWindowGivesUpTheScanAfterTheTimeOutAndReportsIt) {
  host.keyboard.TakeInputWhenAsked();
  queue.Enqueue(Job(1, L"", Letters(1000), L"", 0));
  Run();
  const long long elapsed = std::chrono::duration_cast<milliseconds>(host.now - host.start).count();
  EXPECT_GE(elapsed, kHungWindowTime.count());
  EXPECT_LE(elapsed, kHungWindowTime.count() + 50);
  EXPECT_EQ(host.keyboard.TypedText(), Letters(2 * kBatchCharacters));
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::refused);
  EXPECT_EQ(done[0].reason,
            L"Receiver is not responding: it took no keys for 3 s; 872 characters not typed");
  EXPECT_EQ(done[0].untyped, 1000u - 2 * kBatchCharacters);
  EXPECT_TRUE(queue.Empty());

  // Still hung: the next scans, paced or not, are reported at once.
  queue.Enqueue(Job(2, L"", L"next", L"{TAB}", 0));
  queue.Enqueue(Job(3, L"", L"paced", L"", 20));
  ASSERT_EQ(done.size(), 3u);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ(done[i].outcome, ReceptionOutcome::refused);
    EXPECT_EQ(done[i].reason,
              L"Receiver is not responding: it took no keys for 3 s; 5 characters not typed");
  }
  EXPECT_EQ(done[1].untyped, 5u);
  EXPECT_EQ(done[2].untyped, 5u);
  EXPECT_EQ(host.keyboard.TypedText().size(), 2 * kBatchCharacters);

  // It has come back and taken its keys: typed again.
  host.keyboard.TakeInput(host.keyboard.QueuedEvents());
  queue.Enqueue(Job(4, L"", L"back", L"", 0));
  EXPECT_EQ(done.back().outcome, ReceptionOutcome::typed);
  EXPECT_EQ(host.keyboard.TypedText(), Letters(2 * kBatchCharacters) + L"back");
}

// A window whose thread still answers is slow, not hung (a loaded machine, a
// form that checks every key): its scan is typed whole although its paints
// come further apart than the hung time; one that answers but takes nothing
// is given up on after the longest wait.
TEST_F(TypingQueueTest, ASlowWindowThatStillAnswersIsNotTakenForHung) {
  SimKeyboard& keyboard = host.keyboard;
  keyboard.TakeInputWhenAsked();
  const auto runTaking = [&](std::size_t events) {
    int ticks = 0;
    while (host.timer != 0 && host.now - host.start < milliseconds(120000)) {
      host.now += milliseconds(host.timer);
      host.timer = 0;
      queue.Tick();
      if (++ticks % 25 == 0) keyboard.TakeInput(events);  // its thread runs now and then
    }
  };
  queue.Enqueue(Job(1, L"", Letters(400), L"", 0));
  runTaking(1);
  keyboard.TakeInput(keyboard.QueuedEvents());
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::typed);
  EXPECT_EQ(keyboard.TypedText(), Letters(400));
  EXPECT_GT(host.now - host.start, 2 * kHungWindowTime);

  host.start = host.now;
  queue.Enqueue(Job(2, L"", Letters(300), L"", 0));
  runTaking(0);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[1].outcome, ReceptionOutcome::refused);
  EXPECT_EQ(done[1].reason,
            L"Receiver is not responding: it took no keys for 30 s; 172 characters not typed");
  const auto waited = std::chrono::duration_cast<milliseconds>(host.now - host.start);
  EXPECT_GE(waited, kSlowWindowLongest);
  EXPECT_LE(waited, kSlowWindowLongest + milliseconds(50));
}

// The window goes away while keys wait in it: the rest goes to the window
// that has the focus then, with no time-out.
TEST_F(TypingQueueTest, AWindowThatVanishesHandsTheRestToTheNextFocusedWindow) {
  constexpr os::WindowHandle kNext = 0x2000;
  SimKeyboard& keyboard = host.keyboard;
  keyboard.AddWindow(kNext, 5000, L"Next");
  keyboard.SetIntegrityLevel(5000, os::kIntegrityMedium);
  keyboard.TakeInputWhenAsked();
  queue.Enqueue(Job(1, L"", Letters(1000), L"", 0));
  Run(milliseconds(500));
  EXPECT_TRUE(done.empty());
  const std::size_t sentBefore = keyboard.Events().size();
  keyboard.DestroyWindow(SimKeyboard::kForegroundWindow);
  keyboard.SetForegroundWindow(kNext);
  host.start = host.now;
  Run(milliseconds(60000), 100);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::typed);
  EXPECT_LT(host.now - host.start, kHungWindowTime);
  EXPECT_EQ(keyboard.Events().size() - sentBefore, 2 * (1000 - 2 * kBatchCharacters));
  EXPECT_EQ(keyboard.Steps().back(), (KeyboardStep{KeyboardStep::Kind::Invalidate, 0, kNext,
                                                   os::kRdwInvalidate | os::kRdwNoErase, 0}));
}

TEST_F(TypingQueueTest, NamedKeysBetweenTextKeepCapsLockRulesAndPressNoExtraModifier) {
  host.keyboard.SetCapsLock(true);
  queue.Enqueue(Job(1, L"{F2}", L"aB", L"{TAB}", 0));
  EXPECT_EQ(host.keyboard.TypedText(), L"aB\t");
  std::vector<std::uint16_t> codes;
  for (const auto& e : host.keyboard.Events()) codes.push_back(e.code);
  // F2; Shift+A for "a" under Caps Lock; B; Tab.
  EXPECT_EQ(codes,
            (std::vector<std::uint16_t>{0x71, 0x71, 0x10, 'A', 'A', 0x10, 'B', 'B', 0x09, 0x09}));
  // Keys and text in one call: nothing of the user's lands between them.
  const auto& steps = host.keyboard.Steps();
  EXPECT_EQ(std::count_if(steps.begin(), steps.end(),
                          [](const KeyboardStep& s) { return s.kind == KeyboardStep::Kind::Send; }),
            1);
}

TEST_F(TypingQueueTest, PaceSpacesEveryKeyPrefixAndSuffixIncluded) {
  for (const unsigned delay : {1u, 40u, 1000u}) {
    SCOPED_TRACE(delay);
    downs.clear();
    host.start = host.now;
    queue.Enqueue(Job(1, L"{F2}", L"A1", L"{SHIFT+TAB}", delay));
    EXPECT_EQ(host.timer, delay);  // the first key went at once, the next waits
    Run();
    const long long d = delay;
    EXPECT_EQ(KeyTimes(), (std::vector<long long>{0, d, 2 * d, 3 * d}));
    EXPECT_TRUE(queue.Empty());
    // Typed as it would be in one go.
    EXPECT_EQ(done.back().outcome, ReceptionOutcome::typed);
    host.now += milliseconds(2000);
  }
  EXPECT_EQ(host.keyboard.TypedText(), L"A1\tA1\tA1\t");
}

TEST_F(TypingQueueTest, WaitsPauseOnTheTimerAndAddToThePace) {
  const struct {
    unsigned delay;
    std::vector<long long> times;
  } cases[] = {{0, {0, 300, 300}}, {40, {0, 340, 380}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delay);
    downs.clear();
    host.start = host.now;
    queue.Enqueue(Job(1, L"", L"", L"{ENTER}{WAIT 300}{TAB}X", c.delay));
    EXPECT_NE(host.timer, 0u);  // Enqueue returned: the window is not blocked
    Run();
    EXPECT_EQ(KeyTimes(), c.times);
    host.now += milliseconds(2000);
  }
}

TEST_F(TypingQueueTest, ScansOfTwoPortsTypeWholeInCompletionOrder) {
  queue.Enqueue(Job(1, L"", L"AAAA", L"{ENTER}", 10));
  Note();
  host.now += milliseconds(15);
  queue.Tick();  // a late tick
  Note();
  queue.Enqueue(Job(2, L"", L"BB", L"", 0));  // unpaced, yet behind the paced scan
  queue.Enqueue(Job(1, L"", L"CC", L"", 10));
  EXPECT_EQ(queue.PendingCharacters(), 2u + 1u + 2u + 2u);
  EXPECT_EQ(queue.PendingCharacters(1), 2u + 1u + 2u);
  EXPECT_EQ(queue.PendingCharacters(2), 2u);
  Run();
  EXPECT_EQ(host.keyboard.TypedText(), L"AAAA\rBBCC");
  EXPECT_EQ(started, (std::vector<int>{1, 2, 1}));
  ASSERT_EQ(done.size(), 3u);
  EXPECT_EQ(done[1].row, 2);
  // The unpaced scan follows the paced key before it by that key's pace; the
  // paced scan after it keeps its own pace from it.
  const std::vector<long long> times = KeyTimes();
  ASSERT_EQ(times.size(), 9u);
  for (std::size_t i = 1; i < times.size(); ++i)
    EXPECT_GE(times[i] - times[i - 1], i == 6 ? 0 : 10) << "key " << i << " at " << times[i];
}

TEST_F(TypingQueueTest, AnEarlyTickSendsNothingAndRearmsForTheRest) {
  queue.Enqueue(Job(1, L"", L"AB", L"", 100));
  host.now += milliseconds(30);
  queue.Tick();
  EXPECT_EQ(host.keyboard.TypedText(), L"A");
  EXPECT_EQ(host.timer, 70u);
}

TEST_F(TypingQueueTest, PacedCharactersFollowCapsLockAndKeepSurrogatePairsWhole) {
  // Spelt as code units: wchar_t is wider than UTF-16 in a native build.
  const std::wstring text{L'a', L'b', wchar_t(0xD83D), wchar_t(0xDE00), L'c', L'd'};
  queue.Enqueue(Job(1, L"", text, L"", 20));
  Note();
  host.now += milliseconds(20);
  queue.Tick();
  Note();
  host.keyboard.SetCapsLock(true);  // the user presses Caps Lock mid-scan
  Run();
  EXPECT_EQ(host.keyboard.TypedText(), text);
  // Four letters and the emoji's two halves in one unit.
  EXPECT_EQ(KeyTimes(), (std::vector<long long>{0, 20, 40, 40, 60, 80}));
}

TEST_F(TypingQueueTest, RefusalStopsTheScanAndTheNextOneStillRuns) {
  constexpr os::WindowHandle kAdmin = 0x2000;
  host.keyboard.AddWindow(kAdmin, 5000, L"Admin console");
  host.keyboard.SetIntegrityLevel(5000, os::kIntegrityHigh);
  queue.Enqueue(Job(1, L"{F2}", L"ABCD", L"{TAB}", 10));
  host.now += milliseconds(10);
  queue.Tick();
  host.now += milliseconds(10);
  queue.Tick();  // F2, A, B typed
  host.keyboard.SetForegroundWindow(kAdmin);
  host.now += milliseconds(10);
  queue.Tick();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::refused);
  EXPECT_EQ(done[0].reason,
            L"Cannot type into Admin console: it runs with higher rights than Quillet");
  EXPECT_EQ(done[0].untyped, 3u);  // C, D, Tab

  // Unpaced text is refused as TypeText refuses it; back at the receiver, typed.
  queue.Enqueue(Job(2, L"", L"XY", L"{ENTER}", 0));
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[1].outcome, ReceptionOutcome::refused);
  EXPECT_EQ(done[1].untyped, 3u);
  host.keyboard.SetForegroundWindow(SimKeyboard::kForegroundWindow);
  queue.Enqueue(Job(3, L"", L"Z", L"", 0));
  EXPECT_EQ(done.back().outcome, ReceptionOutcome::typed);
  EXPECT_EQ(host.keyboard.TypedText(), L"ABZ");
}

TEST_F(TypingQueueTest, FailedSendEndsTheScanWithNoModifierDown) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws);
    host.keyboard.ClearEvents();
    done.clear();
    host.keyboard.FailNextSend(2, throws);  // after Ctrl and Shift went down
    queue.Enqueue(Job(1, L"{CTRL+SHIFT+F5}", L"AB", L"", 0));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].outcome, ReceptionOutcome::refused);
    EXPECT_EQ(done[0].untyped, 3u);
    const auto& events = host.keyboard.Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[events.size() - 2].code, os::kVkShift);
    EXPECT_TRUE(events[events.size() - 2].keyUp);
    EXPECT_EQ(events.back().code, os::kVkControl);
    EXPECT_TRUE(events.back().keyUp);
    // The next scan types normally, with no modifier down.
    queue.Enqueue(Job(2, L"", L"ab", L"", 0));
    EXPECT_EQ(done.back().outcome, ReceptionOutcome::typed);
  }
  EXPECT_EQ(host.keyboard.TypedText(), L"ab");
}

TEST_F(TypingQueueTest, CloseTypesWithinTheDeadlineAndSettlesTheRest) {
  queue.Enqueue(Job(1, L"", L"0123456789", L"", 1000));  // 0 ms, 1000 ms, ... 9000 ms
  queue.Enqueue(Job(2, L"", L"XY", L"{TAB}", 0));
  EXPECT_EQ(queue.PendingCharacters(), 9u + 3u);
  EXPECT_EQ(queue.UntypedAtClose(), 5u + 3u);  // from 5000 ms on
  EXPECT_EQ(queue.UntypedAtClose(milliseconds(20000)), 0u);

  EXPECT_EQ(queue.Close(), 8u);
  EXPECT_EQ(host.keyboard.TypedText(), L"01234");
  EXPECT_LE(host.closeWaits, 5000u);
  EXPECT_EQ(host.timer, 0u);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::portClosed);
  EXPECT_EQ(done[0].untyped, 5u);
  EXPECT_EQ(done[1].outcome, ReceptionOutcome::portClosed);
  EXPECT_EQ(done[1].untyped, 3u);
  EXPECT_TRUE(queue.Empty());

  // What comes in after the close is settled, never typed.
  queue.Enqueue(Job(3, L"", L"late", L"", 0));
  EXPECT_EQ(done.back().row, 3);
  EXPECT_EQ(done.back().outcome, ReceptionOutcome::portClosed);
  EXPECT_EQ(host.keyboard.TypedText(), L"01234");
}

// Closing while the window hangs: it ends within the deadline, the scan in
// the window and the one after it reported with what stays untyped.
TEST_F(TypingQueueTest, CloseWithAHungWindowEndsWithinTheDeadline) {
  host.keyboard.TakeInputWhenAsked();
  queue.Enqueue(Job(1, L"", Letters(500), L"", 0));
  queue.Enqueue(Job(2, L"", L"XY", L"", 0));
  EXPECT_EQ(queue.Close(), 500u - 2 * kBatchCharacters + 2u);
  EXPECT_LE(host.closeWaits, 5000u);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::refused);
  EXPECT_EQ(done[1].outcome, ReceptionOutcome::refused);
  EXPECT_TRUE(queue.Empty());
}

TEST_F(TypingQueueTest, CloseOfAShortPacedQueueTypesEverything) {
  queue.Enqueue(Job(1, L"", L"AB", L"{WAIT 500}{ENTER}", 40));
  EXPECT_EQ(queue.UntypedAtClose(), 0u);
  EXPECT_EQ(queue.Close(), 0u);
  EXPECT_EQ(host.keyboard.TypedText(), L"AB\r");
  EXPECT_EQ(done.back().outcome, ReceptionOutcome::typed);
}

TEST_F(TypingQueueTest, EmptyScanIsNotTypedAndOutOfRangeValuesAreBounded) {
  queue.Enqueue(Job(1, L"", L"", L"", 0));
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::notTyped);

  TypeJob job = Job(2, L"", L"AB", L"", 70000);
  job.steps.push_back(KeyStep{KeyStep::Kind::Key, {}, {false, false, false, 0x09}, 5000, 0});
  queue.Enqueue(std::move(job));
  EXPECT_EQ(host.timer, kMaxCharDelayMs);
  EXPECT_EQ(queue.PendingCharacters(), 1u + kMaxRepeat);
}

}  // namespace
}  // namespace quillet::app::reception
