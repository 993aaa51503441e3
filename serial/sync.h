// The hand-over between event threads and the user-interface thread. An event
// thread calls Synchronize(fn): fn is queued, and the event thread blocks until
// the user-interface thread has run it from CheckSynchronize (an exception
// thrown by fn is carried back and thrown again in the event thread). Queue(fn)
// hands a call over without waiting for it.
//
// The user-interface thread is the thread that started the program. The
// application installs a wake hook (it posts its main window a message) so its
// loop calls CheckSynchronize soon after something was queued.
#pragma once

#include <atomic>
#include <functional>

namespace quillet::serial {

// Runs fn on the user-interface thread and waits for it; on that thread
// itself fn runs at once.
void Synchronize(const std::function<void()>& fn);
// Hands fn to the user-interface thread and returns at once. owner tags the
// call so that RemoveQueuedEvents can drop it before it has run.
void Queue(std::function<void()> fn, const void* owner);
// User-interface thread: drops the queued calls of owner that have not run.
void RemoveQueuedEvents(const void* owner);

// User-interface thread: runs every call queued so far, in order. Returns
// whether any ran. An exception of a Queue call goes to the application's
// exception handler.
bool CheckSynchronize();

// Called, on the queuing thread, each time a call is queued; empty for none.
void SetSynchronizeWakeHook(std::function<void()> hook);

bool IsMainThread();

// How the user-interface thread sleeps in WaitServing. Wake (any thread)
// makes the next or current Wait return; Wait may also return early. The
// default blocks on a condition variable; a Win32 program installs one that
// also lets messages sent to its windows through while it waits.
class TSyncWaiter {
 public:
  virtual ~TSyncWaiter() = default;
  virtual void Wait() = 0;
  virtual void Wake() = 0;
};
// nullptr restores the default. The waiter must outlive its installation.
void SetSyncWaiter(TSyncWaiter* waiter);

// A one-way flag a thread opens as its last act.
class TSyncLatch {
 public:
  void Open();
  bool IsOpen() const { return open_.load(); }

 private:
  std::atomic<bool> open_{false};
};

// Returns once latch is open. On the user-interface thread it serves queued
// calls meanwhile, so a thread blocked in Synchronize can finish and end.
void WaitServing(const TSyncLatch& latch);

}  // namespace quillet::serial
