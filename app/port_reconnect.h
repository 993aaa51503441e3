// When a row that wants its port, but lost it or never got it, tries again.
//
// A USB serial adapter pulled out and plugged back in, or a scanner plugged
// in after start-up, comes back under the same port name; the row retries
// its open by itself: 1 s after the failure, then at growing intervals of at
// most 5 s, and at once when the system announces the port's arrival. One
// timer serves every row: the earliest deadline of the rows not held.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <vector>

namespace quillet::app {

class ReconnectSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{1000};
  static constexpr std::chrono::milliseconds kLongestDelay{5000};
  static constexpr int kRows = 8;

  // An open of row 1..8 failed at `now`: a row not yet waiting tries again
  // after the first delay, a waiting one after twice its last delay (at most
  // the longest).
  void Failed(int row, Clock::time_point now);
  // The row has its port, or no longer wants it.
  void Stop(int row);
  void StopAll();
  bool Waiting(int row) const;
  // A held row keeps its place but is never due (its settings dialog is open).
  void Hold(int row, bool held);
  bool Held(int row) const;
  // The delay the row waits before its next try (0 when not waiting).
  std::chrono::milliseconds Delay(int row) const;

  // The rows due at `now`, in row order.
  std::vector<int> Due(Clock::time_point now) const;
  // The earliest deadline of the rows waiting and not held.
  std::optional<Clock::time_point> NextDeadline() const;

 private:
  struct Row {
    bool waiting = false;
    bool held = false;
    std::chrono::milliseconds delay{0};
    Clock::time_point due{};
  };
  Row& At(int row);
  const Row& At(int row) const;

  std::array<Row, kRows> rows_{};
};

}  // namespace quillet::app
