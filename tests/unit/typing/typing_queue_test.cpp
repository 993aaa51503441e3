// The typing queue against a hand-moved clock and the simulated keyboard:
// scans whole in completion order, the pace between keys, waits on the
// timer, refusals and failures, and closing with text still queued.
#include "app/reception/typing_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "os/sim/keyboard_sim.h"

namespace quillet::app::reception {
namespace {

using Clock = std::chrono::steady_clock;
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
  // each key went down (ms after the start).
  void Run(milliseconds limit = milliseconds(60000)) {
    Note();
    while (host.timer != 0 && host.now - host.start < limit) {
      host.now += milliseconds(host.timer);
      host.timer = 0;
      queue.Tick();
      Note();
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

TEST_F(TypingQueueTest, UnpacedScanTypesAtOnceExactlyAsTypeText) {
  std::wstring text;
  for (int i = 0; i < 150; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
  SimKeyboard reference;
  TypeText(text, reference);

  queue.Enqueue(Job(1, L"", text, L"", 0));
  EXPECT_EQ(host.keyboard.Events(), reference.Events());
  EXPECT_EQ(host.keyboard.Steps(), reference.Steps());  // the same batches and waits
  EXPECT_EQ(host.timer, 0u);
  EXPECT_TRUE(queue.Empty());
  EXPECT_EQ(started, std::vector<int>{1});
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].outcome, ReceptionOutcome::typed);
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
  EXPECT_EQ(host.keyboard.Steps().size(), 1u);
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
