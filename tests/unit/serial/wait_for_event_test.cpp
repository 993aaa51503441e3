// WaitForEvent, the wait of a port without an event thread, when the device
// ends a cancelled wait late: the system writes the wait's mask and OVERLAPPED
// when it completes, so WaitForEvent must not free them before then (under
// AddressSanitizer a late write into a dead record is reported).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WaitForEventTest : public PortTest {
 protected:
  void SetUp() override {
    port->SetEvents({});
    port->Open();
    ASSERT_TRUE(port->Connected());
  }
};

TEST_F(WaitForEventTest, ACancelledWaitThatEndsLateIsWaitedFor) {
  struct Case {
    const char* what;
    bool stopEvent;
  };
  for (const Case c : {Case{"time-out", false}, Case{"stop event", true}}) {
    SCOPED_TRACE(c.what);
    // Beyond a second: longer than WaitForEvent used to allow.
    sim.DelayEndOfCancelledWaits(L"COM1", 1500ms);
    const int lateBefore = sim.LateWaitCompletions();
    const os::Handle stop = c.stopEvent ? sim.CreateEventW(1, 1) : 0;
    TComEvents events{TComEvent::evRxChar, TComEvent::evCTS};
    const auto start = Clock::now();
    port->WaitForEvent(events, stop, c.stopEvent ? -1 : 0);
    EXPECT_EQ(sim.LateWaitCompletions(), lateBefore + 1) << "returned while the wait was pending";
    EXPECT_GE(Clock::now() - start, 1400ms);
    EXPECT_TRUE(events.Empty());
    if (stop != 0) sim.CloseHandle(stop);
  }
  // The port waits as before once the device behaves.
  sim.DelayEndOfCancelledWaits(L"COM1", 0ms);
  std::thread peer([&] {
    std::this_thread::sleep_for(50ms);
    sim.PeerWrite(L"COM1", "z");
  });
  TComEvents events{TComEvent::evRxChar};
  port->WaitForEvent(events, 0, -1);
  peer.join();
  EXPECT_EQ(events, TComEvents{TComEvent::evRxChar});
}

// A wait the device ends only after WaitForEvent has stopped waiting for it:
// its record stays alive for the late write, and the port goes on.
TEST_F(WaitForEventTest, AWaitThatOutlastsTheGraceKeepsItsRecordForTheLateWrite) {
  sim.DelayEndOfCancelledWaits(L"COM1", 3500ms);
  TComEvents events{TComEvent::evRing};
  port->WaitForEvent(events, 0, 0);
  EXPECT_TRUE(events.Empty());
  EXPECT_EQ(sim.LateWaitCompletions(), 0);
  const auto end = Clock::now() + 10s;
  while (sim.LateWaitCompletions() == 0 && Clock::now() < end) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(sim.LateWaitCompletions(), 1);

  sim.DelayEndOfCancelledWaits(L"COM1", 0ms);
  std::thread peer([&] {
    std::this_thread::sleep_for(50ms);
    sim.PeerWrite(L"COM1", "z");
  });
  events = {TComEvent::evRxChar};
  port->WaitForEvent(events, 0, -1);
  peer.join();
  EXPECT_EQ(events, TComEvents{TComEvent::evRxChar});
}

}  // namespace
}  // namespace quillet::serial::test
