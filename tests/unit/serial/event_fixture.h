// A port whose event thread runs against the serial double, with the test's
// thread serving the hand-over as the user-interface thread would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "serial/sync.h"
#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {

class EventTest : public PortTest {
 protected:
  EventTest() {
    SetSynchronizeWakeHook([this] {
      {
        std::lock_guard lock(mutex_);
        ++wakes_;
      }
      woken_.notify_all();
    });
  }
  ~EventTest() override {
    port.reset();  // closes, serving what the thread still hands over
    SetSynchronizeWakeHook({});
    CheckSynchronize();
  }

  // Serves the hand-over until done() holds; false after the deadline.
  bool ServeUntil(const std::function<bool()>& done,
                  std::chrono::seconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
      CheckSynchronize();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::unique_lock lock(mutex_);
      woken_.wait_for(lock, std::chrono::milliseconds(20));
    }
  }

  // Waits, without serving, until the thread has queued n hand-overs.
  bool WaitForWakes(int n) {
    std::unique_lock lock(mutex_);
    return woken_.wait_for(lock, std::chrono::seconds(10), [&] { return wakes_ >= n; });
  }

  int Wakes() {
    std::lock_guard lock(mutex_);
    return wakes_;
  }

  int CountCalls(SimCall call) const {
    int n = 0;
    for (const auto& r : sim.Calls()) n += r.call == call ? 1 : 0;
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
};

}  // namespace quillet::serial::test
