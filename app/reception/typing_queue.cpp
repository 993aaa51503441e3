#include "app/reception/typing_queue.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace quillet::app::reception {

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kClosedReason[] = L"Quillet closed before it was typed";
constexpr wchar_t kBlockedReason[] = L"Windows did not take the keys (input is blocked)";

std::wstring RefusedReason(const std::wstring& title) {
  return L"Cannot type into " + title + L": it runs with higher rights than Quillet";
}

std::wstring HungReason(const std::wstring& title, std::size_t untyped,
                        std::chrono::milliseconds waited) {
  return (title.empty() ? std::wstring(L"The window") : title) +
         L" is not responding: it took no keys for " + std::to_wstring(waited.count() / 1000) +
         L" s; " + std::to_wstring(untyped) + (untyped == 1 ? L" character" : L" characters") +
         L" not typed";
}

bool IsHighSurrogate(wchar_t ch) {
  return ch >= 0xD800 && ch <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t ch) {
  return ch >= 0xDC00 && ch <= 0xDFFF;
}

// Characters, a surrogate pair counting once.
std::size_t CountCharacters(std::wstring_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(i > 0 && IsLowSurrogate(text[i]) && IsHighSurrogate(text[i - 1]))) ++n;
  return n;
}

// The code units of the character at `offset`: both halves of a pair go
// together, so the layout and the target never see half a character.
std::size_t CharacterLength(std::wstring_view text, std::size_t offset) {
  return offset + 1 < text.size() && IsHighSurrogate(text[offset]) &&
                 IsLowSurrogate(text[offset + 1])
             ? 2
             : 1;
}

os::Byte ShiftStateOf(const KeyChord& chord) {
  return static_cast<os::Byte>((chord.shift ? os::kShiftStateShift : 0) |
                               (chord.ctrl ? os::kShiftStateCtrl : 0) |
                               (chord.alt ? os::kShiftStateAlt : 0));
}

// Whole milliseconds from `now` until `due`, at least 1: a timer armed for
// 0 would be a stopped one.
unsigned MsUntil(Clock::time_point now, Clock::time_point due) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  return static_cast<unsigned>(std::max<std::int64_t>(ms, 1));
}

// Keystrokes of the steps from `step`, the first of them from `offset`.
std::size_t KeystrokesFrom(const std::vector<KeyStep>& steps, std::size_t step,
                           std::size_t offset) {
  std::size_t n = 0;
  for (std::size_t i = step; i < steps.size(); ++i) {
    const std::size_t skip = i == step ? offset : 0;
    if (steps[i].kind == KeyStep::Kind::Text && skip < steps[i].text.size())
      n += CountCharacters(std::wstring_view(steps[i].text).substr(skip));
    if (steps[i].kind == KeyStep::Kind::Key && static_cast<int>(skip) < steps[i].repeat)
      n += static_cast<std::size_t>(steps[i].repeat) - skip;
  }
  return n;
}

// Code units and key presses of the next unpaced batch from `step`:
// kBatchCharacters at most, up to the next wait.
std::size_t BatchUnits(const TypeJob& job, std::size_t step, std::size_t offset) {
  std::size_t units = 0;
  for (std::size_t i = step; i < job.steps.size() && units < kBatchCharacters; ++i) {
    const KeyStep& s = job.steps[i];
    if (s.kind == KeyStep::Kind::Wait) break;
    const std::size_t length =
        s.kind == KeyStep::Kind::Text ? s.text.size() : static_cast<std::size_t>(s.repeat);
    const std::size_t skip = i == step ? offset : 0;
    if (skip < length) units += std::min(kBatchCharacters - units, length - skip);
  }
  return units;
}

// Whether a key is to be sent before the next wait (or the end).
bool KeysBeforeWait(const std::vector<KeyStep>& steps, std::size_t step, std::size_t offset) {
  for (std::size_t i = step; i < steps.size(); ++i) {
    const std::size_t skip = i == step ? offset : 0;
    if (steps[i].kind == KeyStep::Kind::Wait) return false;
    if (steps[i].kind == KeyStep::Kind::Text ? skip < steps[i].text.size()
                                             : static_cast<int>(skip) < steps[i].repeat)
      return true;
  }
  return false;
}

}  // namespace

std::size_t CountKeystrokes(const std::vector<KeyStep>& steps) {
  return KeystrokesFrom(steps, 0, 0);
}

void TypingQueue::Enqueue(TypeJob job) {
  // A job built by hand keeps to the ranges the reader gives.
  job.charDelayMs = std::min(job.charDelayMs, kMaxCharDelayMs);
  for (KeyStep& step : job.steps) {
    step.repeat = std::clamp(step.repeat, 1, kMaxRepeat);
    step.waitMs = std::min(step.waitMs, kMaxWaitMs);
    // Text shaped by appending keeps room to grow; a queued scan has no use
    // for it, and a megabyte of short scans may wait.
    step.text.shrink_to_fit();
  }
  job.steps.shrink_to_fit();
  if (closed_) {
    const std::size_t untyped = CountKeystrokes(job.steps);
    if (OnJobDone) OnJobDone(job, {ReceptionOutcome::portClosed, kClosedReason, untyped});
    return;
  }
  jobs_.push_back(std::move(job));
  Pump();
}

void TypingQueue::Tick() {
  armed_ = false;
  Pump();
}

std::size_t TypingQueue::PendingCharacters() const {
  std::size_t n = 0;
  for (std::size_t i = 0; i < jobs_.size(); ++i)
    n += i == 0 ? KeystrokesFrom(jobs_[0].steps, at_.step, at_.offset)
                : CountKeystrokes(jobs_[i].steps);
  return n;
}

std::size_t TypingQueue::PendingCharacters(int row) const {
  std::size_t n = 0;
  for (std::size_t i = 0; i < jobs_.size(); ++i)
    if (jobs_[i].row == row)
      n += i == 0 ? KeystrokesFrom(jobs_[0].steps, at_.step, at_.offset)
                  : CountKeystrokes(jobs_[i].steps);
  return n;
}

std::size_t TypingQueue::UntypedAtClose(std::chrono::milliseconds deadline) const {
  // Walks the queue as Close would type it: a keystroke goes when it is due
  // before the end.
  const Clock::time_point now = host_.Now();
  const Clock::time_point end = now + deadline;
  Clock::time_point at = due_ ? std::max(*due_, now) : now;
  std::optional<Clock::time_point> last = lastSent_;
  std::size_t untyped = 0;
  for (std::size_t j = 0; j < jobs_.size(); ++j) {
    const TypeJob& job = jobs_[j];
    const auto delay = std::chrono::milliseconds(job.charDelayMs);
    bool first = j > 0 || at_.sent == 0;
    for (std::size_t i = j == 0 ? at_.step : 0; i < job.steps.size(); ++i) {
      const KeyStep& step = job.steps[i];
      if (step.kind == KeyStep::Kind::Wait) {
        at += std::chrono::milliseconds(step.waitMs);
        continue;
      }
      const std::size_t keys =
          KeystrokesFrom(job.steps, i, j == 0 && i == at_.step ? at_.offset : 0) -
          KeystrokesFrom(job.steps, i + 1, 0);
      for (std::size_t k = 0; k < keys; ++k) {
        if (first && last && delay.count() > 0) at = std::max(at, *last + delay);
        first = false;
        if (at >= end) ++untyped;
        last = at;
        at += delay;
      }
    }
  }
  return untyped;
}

std::size_t TypingQueue::Close(std::chrono::milliseconds deadline) {
  if (closed_) return 0;
  closed_ = true;
  pumping_ = true;  // nothing types from a callback meanwhile
  if (armed_) host_.SetTypingTimer(0);
  armed_ = false;
  const Clock::time_point end = host_.Now() + deadline;
  while (!jobs_.empty()) {
    const Clock::time_point now = host_.Now();
    if (now >= end) break;
    if (Step(now) == Next::Due) {
      if (*due_ >= end) break;
      host_.WaitWhileClosing(MsUntil(now, *due_));
    }
  }
  while (!jobs_.empty()) {
    const std::size_t left = KeystrokesFrom(jobs_.front().steps, at_.step, at_.offset);
    Finish({ReceptionOutcome::portClosed, kClosedReason, left});
  }
  pumping_ = false;
  return untypedAtClose_;
}

void TypingQueue::Pump() {
  if (pumping_) return;  // a callback's job is taken up by the loop below
  pumping_ = true;
  while (!jobs_.empty()) {
    const Clock::time_point now = host_.Now();
    const Next next = Step(now);
    if (next == Next::Due || next == Next::Soon) {
      if (next == Next::Soon) {
        host_.TickSoon();
      } else {
        host_.SetTypingTimer(MsUntil(now, *due_));
      }
      armed_ = true;
      pumping_ = false;
      return;
    }
  }
  if (armed_) host_.SetTypingTimer(0);
  armed_ = false;
  pumping_ = false;
}

TypingQueue::Next TypingQueue::Step(Clock::time_point now) {
  TypeJob& job = jobs_.front();
  if (!at_.started) {
    at_.started = true;
    if (OnJobStarted) OnJobStarted(job);
  }
  // Waits, and steps typed to their end, are passed over.
  while (at_.step < job.steps.size()) {
    const KeyStep& step = job.steps[at_.step];
    if (step.kind == KeyStep::Kind::Wait) {
      due_ = std::max(due_.value_or(now), now) + std::chrono::milliseconds(step.waitMs);
    } else if (step.kind == KeyStep::Kind::Text ? at_.offset < step.text.size()
                                                : static_cast<int>(at_.offset) < step.repeat) {
      break;
    }
    ++at_.step;
    at_.offset = 0;
  }
  if (at_.step == job.steps.size()) {
    Finish({at_.sent > 0 ? ReceptionOutcome::typed : ReceptionOutcome::notTyped, {}, 0});
    return Next::Finished;
  }
  // A paced scan's first key keeps its pace from the key before, whatever
  // the pace of the scan that key belonged to.
  if (at_.sent == 0 && job.charDelayMs > 0 && lastSent_)
    due_ = std::max(due_.value_or(now), *lastSent_ + std::chrono::milliseconds(job.charDelayMs));
  if (due_ && now < *due_) return Next::Due;

  os::KeyboardApi& keyboard = host_.Keyboard();
  const bool paced = job.charDelayMs > 0;
  const auto left = [&] { return KeystrokesFrom(job.steps, at_.step, at_.offset); };
  try {
    const std::size_t units = paced ? 1 : BatchUnits(job, at_.step, at_.offset);
    if (!paced) {
      if (const Next next = MayGoAhead(now, units); next != Next::Sent) return next;
    }
    // Read after the wait: a focus that moved meanwhile takes the rest.
    const os::WindowHandle window = keyboard.GetForegroundWindow();
    if (hung_) {
      // Still not responding: nothing is typed into it blindly.
      if (hung_->window == window && keyboard.IsWindow(hung_->focus) &&
          keyboard.GetUpdateRect(hung_->focus)) {
        Finish({ReceptionOutcome::refused, HungReason(hung_->title, left(), hung_->waited), left(),
                hung_->title});
        return Next::Finished;
      }
      hung_.reset();
    }
    if (at_.checked != window) {
      if (RunsWithHigherRights(keyboard, window)) {
        const std::wstring title = keyboard.GetWindowTextW(window);
        Finish({ReceptionOutcome::refused, RefusedReason(title), left(), title});
        return Next::Finished;
      }
      at_.checked = window;
    }
    Position next = at_;
    const std::vector<KeyEvent> events = PlanBatch(job, next, paced ? 1 : kBatchCharacters);
    // The pace counts from the moment the key goes: asking for the
    // window's rights or the layout can take a while before it.
    const Clock::time_point sendAt = host_.Now();
    if (SendKeyEvents(events, keyboard) < events.size()) {
      Finish({ReceptionOutcome::refused, kBlockedReason, left()});
      return Next::Finished;
    }
    at_ = next;
    lastSent_ = paced ? sendAt : host_.Now();
    due_ = *lastSent_ + std::chrono::milliseconds(job.charDelayMs);
    if (paced) return Next::Sent;
    AfterBatch(window, units);
    // Back to the message loop between batches: the window answers, the
    // other ports are read and a close is heard before the next one.
    if (KeysBeforeWait(job.steps, at_.step, at_.offset))
      return *due_ > host_.Now() ? Next::Due : Next::Soon;
    return Next::Sent;
  } catch (...) {
    // Sending threw; SendKeyEvents has released what it held down.
    Finish({ReceptionOutcome::refused, kBlockedReason, left()});
    return Next::Finished;
  }
}

void TypingQueue::AfterBatch(os::WindowHandle window, std::size_t units) {
  if (probe_) {
    probe_->sentSince += units;
    return;
  }
  unprobedAhead_ += units;
  const TypeJob& job = jobs_.front();
  if (unprobedAhead_ + kBatchCharacters <= kMostAhead &&
      KeysBeforeWait(job.steps, at_.step, at_.offset))
    return;  // the next batch may go without a look at the window
  // Armed after the batch: once painted, all sent so far has been taken
  // (SendInput has queued its keys by the time it returns).
  os::KeyboardApi& keyboard = host_.Keyboard();
  const os::WindowHandle focus = window != 0 ? keyboard.GetGUIThreadFocus(window) : 0;
  if (focus != 0 &&
      keyboard.RedrawWindow(focus, {0, 0, 1, 1}, os::kRdwInvalidate | os::kRdwNoErase) &&
      keyboard.GetUpdateRect(focus)) {
    const Clock::time_point now = host_.Now();
    probe_ = Probe{focus, now, unprobedAhead_, 0, now, now, std::nullopt};
  } else {
    // No probe to go by (no window, nothing to paint, or painted before we
    // looked): a pause before the next batch instead.
    *due_ += std::chrono::milliseconds(kUnprobedBatchMs);
  }
  unprobedAhead_ = 0;
}

TypingQueue::Next TypingQueue::MayGoAhead(Clock::time_point now, std::size_t units) {
  if (!probe_) return Next::Sent;
  os::KeyboardApi& keyboard = host_.Keyboard();
  if (!keyboard.IsWindow(probe_->focus)) {
    // The window went away with what it had queued; the rest goes to the
    // window that has the focus now.
    probe_.reset();
    return Next::Sent;
  }
  if (!keyboard.GetUpdateRect(probe_->focus)) {
    // Painted: all that went before the probe was armed is taken.
    unprobedAhead_ = probe_->sentSince;
    probe_.reset();
    return Next::Sent;
  }
  if (probe_->aheadBefore + probe_->sentSince + units <= kMostAhead) return Next::Sent;
  // Behind: does its thread still answer? Asked without waiting, now and
  // then, so a slow window is told from a hung one.
  if (!probe_->answersBefore && now - probe_->asked >= kAliveAskEvery) {
    const std::uint64_t before = keyboard.NullAnswers();
    probe_->asked = now;
    if (keyboard.AskNullAnswer(probe_->focus)) probe_->answersBefore = before;
  }
  if (probe_->answersBefore && keyboard.NullAnswers() != *probe_->answersBefore) {
    probe_->alive = now;
    probe_->answersBefore.reset();
  }
  const bool silent = now - probe_->alive >= kHungWindowTime;
  const bool tooSlow = now - probe_->since >= kSlowWindowLongest;
  if (silent || tooSlow) {
    const os::WindowHandle window = keyboard.GetForegroundWindow();
    const std::chrono::milliseconds waited = tooSlow ? kSlowWindowLongest : kHungWindowTime;
    hung_ = Hung{window, probe_->focus, keyboard.GetWindowTextW(window), waited};
    probe_.reset();
    unprobedAhead_ = 0;
    const std::size_t left = KeystrokesFrom(jobs_.front().steps, at_.step, at_.offset);
    Finish({ReceptionOutcome::refused, HungReason(hung_->title, left, waited), left, hung_->title});
    return Next::Finished;
  }
  due_ = now + std::chrono::milliseconds(kProbePollMs);
  return Next::Due;
}

std::vector<KeyEvent> TypingQueue::PlanBatch(const TypeJob& job, Position& at, std::size_t budget) {
  // One batch as TypeText plans one: Caps Lock and the layout read once,
  // before its first character; a budget of 1 is one key of a paced scan.
  os::KeyboardApi& keyboard = host_.Keyboard();
  const bool capsLock = (keyboard.GetKeyState(os::kVkCapital) & 1) != 0;
  const os::KeyboardLayout handle = keyboard.GetForegroundKeyboardLayout();
  answers_.UseLayout(handle);
  const KeyboardLayoutQuery layout(keyboard, handle);
  const RememberingLayoutQuery remembering(layout, answers_);
  std::vector<KeyEvent> events;
  std::size_t used = 0;  // code units of text, one for each key press
  while (at.step < job.steps.size() && used < budget) {
    const KeyStep& step = job.steps[at.step];
    if (step.kind == KeyStep::Kind::Wait) break;
    const std::size_t length =
        step.kind == KeyStep::Kind::Text ? step.text.size() : static_cast<std::size_t>(step.repeat);
    if (at.offset >= length) {
      ++at.step;
      at.offset = 0;
      continue;
    }
    std::vector<KeyEvent> planned;
    if (step.kind == KeyStep::Kind::Text) {
      std::size_t take = std::min(budget - used, length - at.offset);
      if (budget == 1) {
        take = CharacterLength(step.text, at.offset);
      } else if (at.offset + take < length && IsHighSurrogate(step.text[at.offset + take - 1])) {
        // Both halves of a pair go in one batch.
        if (--take == 0) break;
      }
      const std::wstring_view text = std::wstring_view(step.text).substr(at.offset, take);
      planned = PlanTyping(text, capsLock, remembering);
      at.sent += CountCharacters(text);
      at.offset += take;
      used += take;
    } else {
      const std::size_t take = std::min(budget - used, length - at.offset);
      planned =
          PlanNamedKey(step.chord.vk, ShiftStateOf(step.chord), static_cast<int>(take), keyboard);
      at.sent += take;
      at.offset += take;
      used += take;
    }
    events.insert(events.end(), planned.begin(), planned.end());
  }
  return events;
}

void TypingQueue::Finish(TypeJobResult result) {
  const TypeJob job = std::move(jobs_.front());
  jobs_.pop_front();
  at_ = {};
  if (closed_) untypedAtClose_ += result.untypedCharacters;
  if (OnJobDone) OnJobDone(job, result);
}

}  // namespace quillet::app::reception

namespace quillet::app {

namespace {

// Runs a queue on the calling thread: the timer's waits are slept.
class SleepingHost final : public reception::TypingHost {
 public:
  explicit SleepingHost(os::KeyboardApi& keyboard) : keyboard_(keyboard) {}
  std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::now();
  }
  void SetTypingTimer(unsigned milliseconds) override { timer_ = milliseconds; }
  // The next tick without a sleep.
  void TickSoon() override { timer_ = 0; }
  os::KeyboardApi& Keyboard() override { return keyboard_; }
  void WaitWhileClosing(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  unsigned Timer() const { return timer_; }

 private:
  os::KeyboardApi& keyboard_;
  unsigned timer_ = 0;
};

}  // namespace

TypeOutcome TypeText(const std::wstring& text, os::KeyboardApi& keyboard) {
  LayoutAnswers answers;
  return TypeText(text, keyboard, answers);
}

// The queue's own batch loop, waiting on this thread instead of the message
// loop.
TypeOutcome TypeText(const std::wstring& text, os::KeyboardApi& keyboard, LayoutAnswers& answers) {
  TypeOutcome outcome;
  SleepingHost host(keyboard);
  reception::TypingQueue queue(host);
  std::swap(queue.Answers(), answers);
  bool done = false;
  queue.OnJobDone = [&](const reception::TypeJob&, const reception::TypeJobResult& result) {
    done = true;
    if (result.outcome == reception::ReceptionOutcome::refused) {
      outcome.failed = result.reason == reception::kBlockedReason;
      outcome.refused = !outcome.failed;
      outcome.window_title = result.windowTitle;
    }
    outcome.typed = reception::CountCharacters(text) - result.untypedCharacters;
  };
  reception::TypeJob job;
  reception::KeyStep step;
  step.text = text;
  job.steps.push_back(std::move(step));
  queue.Enqueue(std::move(job));
  while (!done) {
    if (host.Timer() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(host.Timer()));
    queue.Tick();
  }
  std::swap(queue.Answers(), answers);
  return outcome;
}

}  // namespace quillet::app
