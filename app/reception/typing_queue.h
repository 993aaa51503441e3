// The queue of scans to type, and the pace for slow targets.
//
// Scans are typed one whole job at a time, in the order they were queued
// (the order they completed), never interleaved. Without a pace a job goes
// in batches of up to kBatchCharacters, the first at once inside Enqueue when
// the window is not behind, each further one from the typing timer once the
// window has taken enough of what went before (see below). With a pace above 0 every
// character and every named key is sent on its own, the next one due the
// pace after the one before (across jobs too); {WAIT n} adds its pause.
// Waiting is the host's one-shot timer on the user-interface thread, never a
// blocking pause, so the window, the other ports and dialogs stay served.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/reception/key_script.h"
#include "app/reception/reception_record.h"
#include "app/typing.h"
#include "os/keyboard_api.h"

namespace quillet::app::reception {

inline constexpr unsigned kMaxCharDelayMs = 1000;
// How long closing the program may go on typing what is queued: the rest of
// the close (the ports before it, the teardown after) fits in the half
// second left of 5 s.
inline constexpr std::chrono::milliseconds kCloseDeadline{4500};

// Unpaced typing stays at most this many code units and key presses ahead of
// the window: Windows drops keys that do not fit in a window's input queue
// while SendInput reports success. What the window has taken is seen by the
// paint probe: a 1x1 part of its focus window is invalidated after the
// batch that reaches the bound, and a window paints it only once no key
// waits in its queue: one paint frees the next two batches.
inline constexpr std::size_t kMostAhead = 2 * kBatchCharacters;
// How often the typing timer looks at the probe while the window is behind.
inline constexpr unsigned kProbePollMs = 1;
// A window that has not taken its keys for this long, and whose thread has
// not answered a message meanwhile either, is not responding: the rest of the
// job is not typed into it, and neither are the jobs after it while it still
// has not. A window that answers is slow, not hung (a loaded machine, a form
// checking every key): it is given up on only after kSlowWindowLongest.
inline constexpr std::chrono::milliseconds kHungWindowTime{3000};
inline constexpr std::chrono::milliseconds kSlowWindowLongest{30000};
// How often a window behind on its keys is asked, without waiting for it,
// whether its thread still answers.
inline constexpr std::chrono::milliseconds kAliveAskEvery{500};
// Between batches when the probe cannot be armed (a hidden or empty window,
// one that paints at once): a pause instead.
inline constexpr unsigned kUnprobedBatchMs = 15;

struct TypeJob {
  int row = 0;                    // 1..8
  std::wstring port;              // "COM7", for the status bar
  std::wstring componentName;     // "skener1"
  std::uint64_t receptionId = 0;  // the monitor's row to settle (0: none)
  std::vector<KeyStep> steps;     // prefix, the scan's text, suffix, ending, in order
  unsigned charDelayMs = 0;       // 0..1000
};

struct TypeJobResult {
  ReceptionOutcome outcome = ReceptionOutcome::typed;
  // refused: "Cannot type into <title>: it runs with higher rights than
  // Quillet", "<title> is not responding: ..." or input blocked; portClosed:
  // why the rest was not typed.
  std::wstring reason;
  std::size_t untypedCharacters = 0;  // characters and key presses not sent
  std::wstring windowTitle = {};      // refused by a window: its title
};

// What the queue needs of the window: the clock, one one-shot timer, the
// keyboard.
class TypingHost {
 public:
  virtual ~TypingHost() = default;
  // The user-interface thread's clock, which the typing timer follows.
  virtual std::chrono::steady_clock::time_point Now() const = 0;
  // Arms the one-shot typing timer, replacing an armed one; 0 stops it. Its
  // tick calls TypingQueue::Tick.
  virtual void SetTypingTimer(unsigned milliseconds) = 0;
  virtual os::KeyboardApi& Keyboard() = 0;
  // Comes back to TypingQueue::Tick from the message loop as soon as it is
  // free, replacing an armed timer: the next batch may go now. A posted
  // message does it without the timer's rounding; by default a 1 ms timer.
  virtual void TickSoon() { SetTypingTimer(1); }
  // Only while the program closes (TypingQueue::Close): waits this long
  // before the next key. The window is going away; it may serve messages
  // meanwhile, but must not run the typing timer's tick.
  virtual void WaitWhileClosing(unsigned milliseconds) = 0;
};

// Characters (a surrogate pair counts once) and key presses (each repeat
// counts) in the steps: what PendingCharacters counts.
std::size_t CountKeystrokes(const std::vector<KeyStep>& steps);

class TypingQueue {
 public:
  explicit TypingQueue(TypingHost& host) : host_(host) {}
  TypingQueue(const TypingQueue&) = delete;
  TypingQueue& operator=(const TypingQueue&) = delete;

  // In completion order; never interleaved. May type at once (see above),
  // calling OnJobStarted and OnJobDone before it returns.
  void Enqueue(TypeJob job);
  // The typing timer fired.
  void Tick();
  // Characters and key presses queued and not sent yet.
  std::size_t PendingCharacters() const;
  // The same, of the jobs of one row (1..8).
  std::size_t PendingCharacters(int row) const;
  // Of those, how many Close would leave untyped, at the queued paces and
  // waits, with `deadline` to type in: for the close question.
  std::size_t UntypedAtClose(std::chrono::milliseconds deadline = kCloseDeadline) const;
  bool Empty() const { return jobs_.empty(); }

  // Closing: types what it can within `deadline` (waiting through the host),
  // stops the timer, settles every job (what stays untyped: portClosed, with
  // the count; a window not responding: refused) and returns how many
  // characters and key presses stay untyped.
  std::size_t Close(std::chrono::milliseconds deadline = kCloseDeadline);

  // The layout's answers kept between scans (see LayoutAnswers).
  LayoutAnswers& Answers() { return answers_; }

  std::function<void(const TypeJob&)> OnJobStarted;  // the status bar "Read device: ..."
  std::function<void(const TypeJob&, const TypeJobResult&)> OnJobDone;  // the monitor's outcome

 private:
  struct Position {
    std::size_t step = 0;                     // index into the front job's steps
    std::size_t offset = 0;                   // Text: code units sent; Key: presses sent
    bool started = false;                     // OnJobStarted called
    std::size_t sent = 0;                     // keystrokes sent of the front job
    std::optional<os::WindowHandle> checked;  // the window last found typeable
  };
  // Soon: the next batch may go at once, from the message loop.
  enum class Next : std::uint8_t { Sent, Soon, Due, Finished };
  // The paint probe armed on the window's focus window after a batch went.
  struct Probe {
    os::WindowHandle focus = 0;
    std::chrono::steady_clock::time_point since;
    std::size_t aheadBefore = 0;  // units perhaps not taken when it was armed
    std::size_t sentSince = 0;    // units sent since
    // The window's thread last answered (or the probe was armed), and the
    // ask still waiting for its answer, if any.
    std::chrono::steady_clock::time_point alive;
    std::chrono::steady_clock::time_point asked;
    std::optional<std::uint64_t> answersBefore;
  };
  // A window given up on: its probe is still unpainted while it hangs.
  struct Hung {
    os::WindowHandle window = 0;
    os::WindowHandle focus = 0;
    std::wstring title;
    std::chrono::milliseconds waited{0};
  };

  void Pump();
  // Moves the front job on at `now`: sends what is due (one batch at most),
  // or says when to come back.
  Next Step(std::chrono::steady_clock::time_point now);
  // Unpaced: whether `units` more may go now; else says when to look again,
  // or gives the job up when the window is not responding.
  Next MayGoAhead(std::chrono::steady_clock::time_point now, std::size_t units);
  // After an unpaced batch to `window`: arms the probe when the bound would
  // hold the next batch back, or the job's keys end here; a window that
  // cannot be probed gets a pause instead.
  void AfterBatch(os::WindowHandle window, std::size_t units);
  // Plans the next batch of the front job from `at` (moved past it): up to
  // `budget` code units of text and key presses, up to the next wait.
  std::vector<KeyEvent> PlanBatch(const TypeJob& job, Position& at, std::size_t budget);
  // Pops the front job and reports it.
  void Finish(TypeJobResult result);

  TypingHost& host_;
  std::deque<TypeJob> jobs_;  // the front one is being typed
  Position at_;
  LayoutAnswers answers_;
  // When the next key may go (the pace after the last one, plus waits).
  std::optional<std::chrono::steady_clock::time_point> due_;
  std::optional<std::chrono::steady_clock::time_point> lastSent_;  // the last key
  std::optional<Probe> probe_;
  std::optional<Hung> hung_;
  std::size_t unprobedAhead_ = 0;  // units perhaps still waiting, no probe armed
  bool armed_ = false;             // the typing timer is set
  bool pumping_ = false;           // a callback that enqueues does not type inside it
  bool closed_ = false;
  std::size_t untypedAtClose_ = 0;  // of the jobs settled while closing
};

}  // namespace quillet::app::reception
