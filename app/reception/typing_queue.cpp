#include "app/reception/typing_queue.h"

#include <algorithm>
#include <utility>

namespace quillet::app::reception {

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kClosedReason[] = L"Quillet closed before it was typed";
constexpr wchar_t kBlockedReason[] = L"Windows did not take the keys (input is blocked)";

std::wstring RefusedReason(const std::wstring& title) {
  return L"Cannot type into " + title + L": it runs with higher rights than Quillet";
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
  }
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
    if (Step(now, end) == Next::Due) {
      if (*due_ >= end) break;
      host_.WaitWhileClosing(MsUntil(now, *due_));
    }
  }
  std::size_t untyped = 0;
  while (!jobs_.empty()) {
    const std::size_t left = KeystrokesFrom(jobs_.front().steps, at_.step, at_.offset);
    untyped += left;
    Finish({ReceptionOutcome::portClosed, kClosedReason, left});
  }
  pumping_ = false;
  return untyped;
}

void TypingQueue::Pump() {
  if (pumping_) return;  // a callback's job is taken up by the loop below
  pumping_ = true;
  while (!jobs_.empty()) {
    const Clock::time_point now = host_.Now();
    if (Step(now, std::nullopt) == Next::Due) {
      host_.SetTypingTimer(MsUntil(now, *due_));
      armed_ = true;
      pumping_ = false;
      return;
    }
  }
  if (armed_) host_.SetTypingTimer(0);
  armed_ = false;
  pumping_ = false;
}

TypingQueue::Next TypingQueue::Step(Clock::time_point now,
                                    std::optional<Clock::time_point> closingBy) {
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
    for (bool first = true;; first = false) {
      if (!first) {
        // As TypeText between batches: the target has taken its input first.
        if (const os::WindowHandle window = keyboard.GetForegroundWindow())
          keyboard.SendNullMessageTimeout(
              window, os::kSmtoBlock | os::kSmtoAbortIfHung,
              closingBy ? std::min(kBatchWaitMs, MsUntil(host_.Now(), *closingBy)) : kBatchWaitMs);
      }
      const os::WindowHandle window = keyboard.GetForegroundWindow();
      if (at_.checked != window) {
        if (RunsWithHigherRights(keyboard, window)) {
          Finish(
              {ReceptionOutcome::refused, RefusedReason(keyboard.GetWindowTextW(window)), left()});
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
      if (paced || (closingBy && host_.Now() >= *closingBy) ||
          !KeysBeforeWait(job.steps, at_.step, at_.offset))
        return Next::Sent;
    }
  } catch (...) {
    // Sending threw; SendKeyEvents has released what it held down.
    Finish({ReceptionOutcome::refused, kBlockedReason, left()});
    return Next::Finished;
  }
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
  if (OnJobDone) OnJobDone(job, result);
}

}  // namespace quillet::app::reception
