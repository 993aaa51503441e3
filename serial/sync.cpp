#include "serial/sync.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "serial/component.h"

namespace quillet::serial {

namespace {

// Namespace-scope, so it is taken during static initialisation, before main,
// on the thread that starts the program.
const std::thread::id gMainThread = std::this_thread::get_id();

struct Call {
  std::function<void()> fn;
  const void* owner = nullptr;
  bool waited = false;
  bool done = false;
  std::exception_ptr error;
};

class DefaultWaiter final : public TSyncWaiter {
 public:
  void Wait() override {
    std::unique_lock lock(mutex_);
    woken_.wait(lock, [this] { return pending_; });
    pending_ = false;
  }
  void Wake() override {
    {
      std::lock_guard lock(mutex_);
      pending_ = true;
    }
    woken_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
};

struct HandOver {
  std::mutex mutex;
  std::condition_variable done;  // a waited call has run, or a latch opened
  std::deque<std::shared_ptr<Call>> queue;
  std::function<void()> wakeHook;
  DefaultWaiter defaultWaiter;
  TSyncWaiter* waiter = &defaultWaiter;
  // How deep the user-interface thread is in WaitServing: only then does a
  // queued call need the waiter woken (on Win32 a system call per call).
  int serving = 0;
};

HandOver& State() {
  static HandOver state;
  return state;
}

void Enqueue(std::shared_ptr<Call> call) {
  HandOver& s = State();
  std::function<void()> hook;
  TSyncWaiter* waiter = nullptr;
  {
    std::lock_guard lock(s.mutex);
    s.queue.push_back(std::move(call));
    hook = s.wakeHook;
    if (s.serving > 0) waiter = s.waiter;
  }
  if (waiter != nullptr) waiter->Wake();
  if (hook) hook();
}

}  // namespace

bool IsMainThread() {
  return std::this_thread::get_id() == gMainThread;
}

void Synchronize(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<Call>();
  call->fn = fn;
  call->waited = true;
  Enqueue(call);
  HandOver& s = State();
  std::unique_lock lock(s.mutex);
  s.done.wait(lock, [&] { return call->done; });
  if (call->error) std::rethrow_exception(call->error);
}

void Queue(std::function<void()> fn, const void* owner) {
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  call->owner = owner;
  Enqueue(std::move(call));
}

void RemoveQueuedEvents(const void* owner) {
  HandOver& s = State();
  std::lock_guard lock(s.mutex);
  std::erase_if(
      s.queue, [owner](const std::shared_ptr<Call>& c) { return !c->waited && c->owner == owner; });
}

bool CheckSynchronize() {
  if (!IsMainThread()) return false;
  HandOver& s = State();
  bool ran = false;
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(s.mutex);
      if (s.queue.empty()) return ran;
      call = std::move(s.queue.front());
      s.queue.pop_front();
    }
    ran = true;
    try {
      call->fn();
    } catch (...) {
      if (call->waited) {
        call->error = std::current_exception();
      } else {
        HandleApplicationException(std::current_exception());
      }
    }
    if (call->waited) {
      {
        std::lock_guard lock(s.mutex);
        call->done = true;
      }
      s.done.notify_all();
    }
  }
}

void SetSynchronizeWakeHook(std::function<void()> hook) {
  HandOver& s = State();
  std::lock_guard lock(s.mutex);
  s.wakeHook = std::move(hook);
}

void SetSyncWaiter(TSyncWaiter* waiter) {
  HandOver& s = State();
  std::lock_guard lock(s.mutex);
  s.waiter = waiter != nullptr ? waiter : &s.defaultWaiter;
}

void TSyncLatch::Open() {
  HandOver& s = State();
  TSyncWaiter* waiter = nullptr;
  {
    std::lock_guard lock(s.mutex);
    open_.store(true);
    waiter = s.waiter;
  }
  s.done.notify_all();
  waiter->Wake();
}

void WaitServing(const TSyncLatch& latch) {
  HandOver& s = State();
  if (!IsMainThread()) {
    std::unique_lock lock(s.mutex);
    s.done.wait(lock, [&] { return latch.IsOpen(); });
    return;
  }
  // Counted before the first look at the queue, so a call queued after
  // that look always wakes the waiter.
  struct Serving {
    HandOver& s;
    explicit Serving(HandOver& state) : s(state) {
      std::lock_guard lock(s.mutex);
      ++s.serving;
    }
    ~Serving() {
      std::lock_guard lock(s.mutex);
      --s.serving;
    }
  } serving(s);
  for (;;) {
    CheckSynchronize();
    if (latch.IsOpen()) return;
    TSyncWaiter* waiter = nullptr;
    {
      std::lock_guard lock(s.mutex);
      waiter = s.waiter;
    }
    waiter->Wait();
  }
}

}  // namespace quillet::serial
