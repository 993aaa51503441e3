#include "app/port_reconnect.h"

#include <algorithm>
#include <stdexcept>

namespace quillet::app {

ReconnectSchedule::Row& ReconnectSchedule::At(int row) {
  if (row < 1 || row > kRows) throw std::out_of_range("row");
  return rows_[static_cast<std::size_t>(row - 1)];
}

const ReconnectSchedule::Row& ReconnectSchedule::At(int row) const {
  if (row < 1 || row > kRows) throw std::out_of_range("row");
  return rows_[static_cast<std::size_t>(row - 1)];
}

void ReconnectSchedule::Failed(int row, Clock::time_point now) {
  Row& r = At(row);
  r.delay =
      r.waiting ? std::min(r.delay * 2, std::chrono::milliseconds(kLongestDelay)) : kFirstDelay;
  r.waiting = true;
  r.due = now + r.delay;
}

void ReconnectSchedule::Stop(int row) {
  Row& r = At(row);
  const bool held = r.held;
  r = Row{};
  r.held = held;  // the dialog is still open
}

void ReconnectSchedule::StopAll() {
  for (int row = 1; row <= kRows; ++row) Stop(row);
}

bool ReconnectSchedule::Waiting(int row) const {
  return At(row).waiting;
}

void ReconnectSchedule::Hold(int row, bool held) {
  At(row).held = held;
}

bool ReconnectSchedule::Held(int row) const {
  return At(row).held;
}

std::chrono::milliseconds ReconnectSchedule::Delay(int row) const {
  return At(row).delay;
}

std::vector<int> ReconnectSchedule::Due(Clock::time_point now) const {
  std::vector<int> due;
  for (int row = 1; row <= kRows; ++row) {
    const Row& r = At(row);
    if (r.waiting && !r.held && r.due <= now) due.push_back(row);
  }
  return due;
}

std::optional<ReconnectSchedule::Clock::time_point> ReconnectSchedule::NextDeadline() const {
  std::optional<Clock::time_point> next;
  for (const Row& r : rows_) {
    if (r.waiting && !r.held && (!next || r.due < *next)) next = r.due;
  }
  return next;
}

}  // namespace quillet::app
