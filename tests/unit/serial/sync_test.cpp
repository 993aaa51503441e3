// The hand-over: calls from other threads run on the test's (main) thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "serial/sync.h"

namespace quillet::serial::test {
namespace {

// Installs a wake hook for the test's length, counting its calls.
class SyncTest : public ::testing::Test {
 protected:
  SyncTest() {
    SetSynchronizeWakeHook([this] { ++wakes; });
  }
  ~SyncTest() override {
    SetSynchronizeWakeHook({});
    CheckSynchronize();
  }
  std::atomic<int> wakes{0};
};

TEST_F(SyncTest, EventThreadWaitsUntilTheMainThreadHasRunTheCall) {
  ASSERT_TRUE(IsMainThread());
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  TSyncLatch ended;
  std::thread worker([&] {
    Synchronize([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
    ended.Open();
  });
  WaitServing(ended);
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_GE(wakes.load(), 1);
}

TEST_F(SyncTest, AnExceptionOfTheCallIsThrownAgainInTheEventThread) {
  std::string caught;
  TSyncLatch ended;
  std::thread worker([&] {
    try {
      Synchronize([] { throw std::runtime_error("from the handler"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    ended.Open();
  });
  WaitServing(ended);
  worker.join();
  EXPECT_EQ(caught, "from the handler");
}

TEST_F(SyncTest, OnTheMainThreadTheCallRunsAtOnce) {
  int runs = 0;
  Synchronize([&] { ++runs; });
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(wakes.load(), 0);
  EXPECT_FALSE(CheckSynchronize());
}

TEST_F(SyncTest, QueuedCallsRunInOrderUnlessTheirOwnerRemovedThem) {
  std::string order;
  int a = 0, b = 0;
  std::thread worker([&] {
    Queue([&] { order += "1"; }, &a);
    Queue([&] { order += "2"; }, &b);
    Queue([&] { order += "3"; }, &a);
  });
  worker.join();
  EXPECT_EQ(wakes.load(), 3);
  EXPECT_TRUE(order.empty()) << "nothing runs before the main thread serves";
  RemoveQueuedEvents(&b);
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(order, "13");
}

TEST_F(SyncTest, WaitServingOffTheMainThreadOnlyWaits) {
  TSyncLatch latch;
  std::atomic<bool> through{false};
  std::thread waiter([&] {
    WaitServing(latch);
    through = true;
  });
  latch.Open();
  waiter.join();
  EXPECT_TRUE(through);
}

}  // namespace
}  // namespace quillet::serial::test
