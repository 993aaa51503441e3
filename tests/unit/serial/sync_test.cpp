// The hand-over: calls from other threads run on the test's (main) thread.
#include "serial/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

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

// Counts its wakes and lets a test wait until the main thread sleeps in it.
// A sleep no wake ends gives up after 5 s and is counted as missed.
class CountingWaiter final : public TSyncWaiter {
 public:
  void Wait() override {
    std::unique_lock lock(mutex_);
    ++sleeps_;
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return pending_; })) ++missed_;
    pending_ = false;
  }
  void Wake() override {
    {
      std::lock_guard lock(mutex_);
      ++wakes_;
      pending_ = true;
    }
    changed_.notify_all();
  }
  void AwaitSleep() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return sleeps_ > 0; });
  }
  int Wakes() {
    std::lock_guard lock(mutex_);
    return wakes_;
  }
  int Missed() {
    std::lock_guard lock(mutex_);
    return missed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = false;
  int sleeps_ = 0;
  int wakes_ = 0;
  int missed_ = 0;
};

TEST_F(SyncTest, TheWaiterIsWokenForACallOnlyWhileTheMainThreadServes) {
  CountingWaiter waiter;
  SetSyncWaiter(&waiter);
  std::thread([] { Queue([] {}, nullptr); }).join();
  EXPECT_EQ(waiter.Wakes(), 0) << "nobody was waiting: a wake is a wasted system call";
  EXPECT_TRUE(CheckSynchronize());

  bool ran = false;
  TSyncLatch ended;
  std::thread worker([&] {
    waiter.AwaitSleep();
    Synchronize([&] { ran = true; });
    ended.Open();
  });
  WaitServing(ended);
  worker.join();
  SetSyncWaiter(nullptr);
  EXPECT_TRUE(ran);
  EXPECT_EQ(waiter.Missed(), 0) << "the call queued during the sleep must end it";
  EXPECT_EQ(wakes.load(), 2) << "the wake hook still goes with every call";
}

}  // namespace
}  // namespace quillet::serial::test
