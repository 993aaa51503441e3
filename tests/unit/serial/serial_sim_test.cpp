// The serial double itself: the driver behaviour the port engine relies on.
#include "os/sim/serial_sim.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

namespace quillet::os::sim {
namespace {

class SimTest : public ::testing::Test {
 protected:
  SimTest() { sim.AddPort(L"COM3"); }
  Handle Open() {
    return sim.CreateFileW(L"\\\\.\\COM3", kGenericRead | kGenericWrite, 0, kOpenExisting,
                           kFileFlagOverlapped);
  }
  SimSerial sim;
};

TEST_F(SimTest, OpenIsExclusiveAndMissingPortsAreNotFound) {
  const Handle h = Open();
  ASSERT_NE(h, kInvalidHandleValue);
  EXPECT_EQ(Open(), kInvalidHandleValue);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.CreateFileW(L"\\\\.\\COM4", kGenericRead, 0, kOpenExisting, 0),
            kInvalidHandleValue);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_TRUE(sim.CloseHandle(h));
  EXPECT_FALSE(sim.CloseHandle(h));
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidHandle);
  EXPECT_NE(Open(), kInvalidHandleValue);
}

TEST_F(SimTest, InjectedFailuresHitTheNextCallsOnlyAndChangeNothing) {
  const Handle h = Open();
  sim.FailNext(SimCall::SetupComm, kErrorGenFailure, 2);
  EXPECT_FALSE(sim.SetupComm(h, 10, 20));
  EXPECT_EQ(sim.GetLastError(), kErrorGenFailure);
  EXPECT_FALSE(sim.SetupComm(h, 10, 20));
  EXPECT_EQ(sim.InQueueSize(L"COM3"), 0u);
  EXPECT_TRUE(sim.SetupComm(h, 10, 20));
  EXPECT_EQ(sim.GetLastError(), kErrorSuccess);
  EXPECT_EQ(sim.InQueueSize(L"COM3"), 10u);
  const auto calls = sim.DeviceCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1].error, kErrorGenFailure);
  EXPECT_EQ(calls[3].error, 0u);
}

TEST_F(SimTest, ACommEventWaitPendsUntilAMaskedEventAndSetCommMaskEndsIt) {
  const Handle h = Open();
  const Handle ev = sim.CreateEventW(1, 0);
  Overlapped ov{};
  ov.hEvent = ev;
  Dword mask = 0xDEAD;
  ASSERT_TRUE(sim.SetCommMask(h, kEvRxChar | kEvCts));
  EXPECT_FALSE(sim.WaitCommEvent(h, &mask, &ov));
  EXPECT_EQ(sim.GetLastError(), kErrorIoPending);
  Dword n = 0;
  EXPECT_FALSE(sim.GetOverlappedResult(h, &ov, &n, 0));
  EXPECT_EQ(sim.GetLastError(), kErrorIoIncomplete);
  sim.SetModemStatus(L"COM3", kMsDsrOn);  // not in the mask
  EXPECT_EQ(sim.WaitForSingleObject(ev, 0), kWaitTimeout);
  sim.PeerWrite(L"COM3", "ab");
  EXPECT_EQ(sim.WaitForSingleObject(ev, 0), kWaitObject0);
  EXPECT_TRUE(sim.GetOverlappedResult(h, &ov, &n, 0));
  EXPECT_EQ(mask, kEvRxChar);

  EXPECT_FALSE(sim.WaitCommEvent(h, &mask, &ov));
  ASSERT_TRUE(sim.SetCommMask(h, 0));
  EXPECT_TRUE(sim.GetOverlappedResult(h, &ov, &n, 0));
  EXPECT_EQ(mask, 0u);
  EXPECT_TRUE(sim.CloseHandle(ev));
}

TEST_F(SimTest, ReadsReturnWhatIsQueuedOrWaitForThePeer) {
  const Handle h = Open();
  const Handle ev = sim.CreateEventW(1, 1);
  Overlapped ov{};
  ov.hEvent = ev;
  char buf[8] = {};
  Dword n = 99;
  ASSERT_TRUE(sim.SetCommTimeouts(h, CommTimeouts{kMaxDword, 0, 0, 0, 0}));
  EXPECT_TRUE(sim.ReadFile(h, buf, sizeof buf, &n, &ov));  // returns at once, empty
  EXPECT_EQ(n, 0u);
  sim.PeerWrite(L"COM3", "xyz");
  EXPECT_TRUE(sim.ReadFile(h, buf, 2, &n, &ov));
  EXPECT_EQ(std::string(buf, n), "xy");

  // Time-outs that wait: the read pends until the peer sends.
  ASSERT_TRUE(sim.SetCommTimeouts(h, CommTimeouts{0, 0, 0, 0, 0}));
  EXPECT_TRUE(sim.ReadFile(h, buf, 8, &n, &ov));  // "z" is still queued
  EXPECT_FALSE(sim.ReadFile(h, buf, 8, &n, &ov));
  EXPECT_EQ(sim.GetLastError(), kErrorIoPending);
  std::thread peer([&] { sim.PeerWrite(L"COM3", "late"); });
  EXPECT_TRUE(sim.GetOverlappedResult(h, &ov, &n, 1));
  peer.join();
  EXPECT_EQ(std::string(buf, n), "late");

  // An abort ends a pending read with 995.
  EXPECT_FALSE(sim.ReadFile(h, buf, 8, &n, &ov));
  ASSERT_TRUE(sim.PurgeComm(h, kPurgeRxAbort | kPurgeTxAbort));
  EXPECT_FALSE(sim.GetOverlappedResult(h, &ov, &n, 0));
  EXPECT_EQ(sim.GetLastError(), kErrorOperationAborted);
  EXPECT_TRUE(sim.CloseHandle(ev));
}

TEST_F(SimTest, WritesReachThePeer) {
  const Handle h = Open();
  const Handle ev = sim.CreateEventW(1, 1);
  Overlapped ov{};
  ov.hEvent = ev;
  Dword n = 0;
  EXPECT_TRUE(sim.WriteFile(h, "hello", 5, &n, &ov));
  EXPECT_TRUE(sim.TransmitCommChar(h, '!'));
  EXPECT_EQ(sim.PeerRead(L"COM3"), "hello!");
  EXPECT_EQ(sim.PeerRead(L"COM3"), "");
  EXPECT_TRUE(sim.CloseHandle(ev));
}

TEST_F(SimTest, EventsWaitLikeKernelEvents) {
  const Handle manual = sim.CreateEventW(1, 0);
  const Handle automatic = sim.CreateEventW(0, 1);
  const Handle both[] = {manual, automatic};
  EXPECT_EQ(sim.WaitForMultipleObjects(2, both, 0, 0), kWaitObject0 + 1);
  EXPECT_EQ(sim.WaitForMultipleObjects(2, both, 0, 0), kWaitTimeout);  // auto-reset took it
  std::thread setter([&] { sim.SetEvent(manual); });
  EXPECT_EQ(sim.WaitForMultipleObjects(2, both, 0, kInfinite), kWaitObject0);
  setter.join();
  EXPECT_EQ(sim.WaitForSingleObject(manual, 0), kWaitObject0);  // manual stays set
  EXPECT_TRUE(sim.ResetEvent(manual));
  EXPECT_EQ(sim.WaitForSingleObject(manual, 0), kWaitTimeout);
  EXPECT_EQ(sim.WaitForSingleObject(0x7777, 0), kWaitFailed);
  sim.FailNext(SimCall::CreateEventW, 8);
  EXPECT_EQ(sim.CreateEventW(1, 0), kNullHandle);
  EXPECT_EQ(sim.GetLastError(), 8u);
  {
    EventHandle owned(sim, manual);
    EventHandle moved = std::move(owned);
    EXPECT_FALSE(owned.Valid());
  }
  EXPECT_EQ(sim.LiveHandleCount(), 1u);
  EXPECT_TRUE(sim.CloseHandle(automatic));
}

// The shape of an event thread's loop: wait on {stop, completion}, fetch the
// result, deliver, wait again; the stop event set by another thread ends it.
TEST_F(SimTest, AWaitingThreadWakesForEventsAndForItsStopEvent) {
  const Handle h = Open();
  ASSERT_TRUE(sim.SetCommMask(h, kEvRxChar));
  const Handle stop = sim.CreateEventW(1, 0);
  std::promise<Dword> first;
  std::thread waiter([&] {
    const Handle done = sim.CreateEventW(1, 1);
    Overlapped ov{};
    ov.hEvent = done;
    Dword mask = 0;
    int delivered = 0;
    const Handle list[] = {stop, done};
    for (;;) {
      (void)sim.WaitCommEvent(h, &mask, &ov);
      const Dword r = sim.WaitForMultipleObjects(2, list, 0, kInfinite);
      if (r != kWaitObject0 + 1) break;
      Dword n = 0;
      if (sim.GetOverlappedResult(h, &ov, &n, 0) && delivered++ == 0) first.set_value(mask);
    }
    (void)sim.SetCommMask(h, 0);
    (void)sim.CloseHandle(done);
  });
  sim.PeerWrite(L"COM3", "a");
  EXPECT_EQ(first.get_future().get(), kEvRxChar);
  EXPECT_TRUE(sim.SetEvent(stop));
  waiter.join();
  EXPECT_EQ(sim.CommMask(L"COM3"), 0u);
  EXPECT_TRUE(sim.CloseHandle(stop));
  EXPECT_TRUE(sim.CloseHandle(h));
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

}  // namespace
}  // namespace quillet::os::sim
