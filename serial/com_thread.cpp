#include "serial/com_thread.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/com_error.h"
#include "serial/port_window.h"

namespace quillet::serial {

using enum TComExceptions;

namespace {

struct EventBitRow {
  TComEvent event;
  os::Dword bit;
};
constexpr EventBitRow kEventBits[] = {
    {TComEvent::evRxChar, os::kEvRxChar}, {TComEvent::evTxEmpty, os::kEvTxEmpty},
    {TComEvent::evRxFlag, os::kEvRxFlag}, {TComEvent::evRing, os::kEvRing},
    {TComEvent::evBreak, os::kEvBreak},   {TComEvent::evCTS, os::kEvCts},
    {TComEvent::evDSR, os::kEvDsr},       {TComEvent::evError, os::kEvErr},
    {TComEvent::evRLSD, os::kEvRlsd},     {TComEvent::evRx80Full, os::kEvRx80Full}};

int PriorityValue(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return os::kThreadPriorityIdle;
    case TThreadPriority::tpLowest:
      return os::kThreadPriorityLowest;
    case TThreadPriority::tpLower:
      return os::kThreadPriorityBelowNormal;
    case TThreadPriority::tpNormal:
      return os::kThreadPriorityNormal;
    case TThreadPriority::tpHigher:
      return os::kThreadPriorityAboveNormal;
    case TThreadPriority::tpHighest:
      return os::kThreadPriorityHighest;
    case TThreadPriority::tpTimeCritical:
      return os::kThreadPriorityTimeCritical;
  }
  return os::kThreadPriorityNormal;
}

// The threads Stop let go: each is kept here until it has ended and the
// user-interface thread has joined and freed it. Never destroyed, so a
// thread still running when the program exits is not waited for then.
class TLetGoThreads {
 public:
  void Keep(std::unique_ptr<TComThread> thread) {
    const std::lock_guard<std::mutex> guard(lock_);
    threads_.push_back(std::move(thread));
  }
  // Joins and frees thread, which has ended.
  void Free(const TComThread* thread) {
    std::unique_ptr<TComThread> ended;
    {
      const std::lock_guard<std::mutex> guard(lock_);
      const auto it = std::find_if(threads_.begin(), threads_.end(),
                                   [thread](const auto& kept) { return kept.get() == thread; });
      if (it == threads_.end()) return;
      ended = std::move(*it);
      threads_.erase(it);
    }
    ended.reset();
  }

 private:
  std::mutex lock_;
  std::vector<std::unique_ptr<TComThread>> threads_;
};

TLetGoThreads& LetGoThreads() {
  static auto* threads = new TLetGoThreads;
  return *threads;
}

}  // namespace

os::Dword EventBit(TComEvent event) {
  for (const EventBitRow& row : kEventBits) {
    if (row.event == event) return row.bit;
  }
  return 0;
}

os::Dword EventsToMask(TComEvents events) {
  os::Dword mask = 0;
  for (const EventBitRow& row : kEventBits) {
    if (events.Contains(row.event)) mask |= row.bit;
  }
  return mask;
}

TComEvents MaskToEvents(os::Dword mask) {
  TComEvents events;
  for (const EventBitRow& row : kEventBits) {
    if (mask & row.bit) events.Include(row.event);
  }
  return events;
}

std::unique_ptr<TComThread> TComThread::Start(TComThreadSetup setup) {
  os::SerialApi& api = *setup.api;
  os::EventHandle stop(api, api.CreateEventW(1, 0));
  if (!stop) {
    throw Exception(L"Unable to start the event thread (Error: " +
                    std::to_wstring(api.GetLastError()) + L")");
  }
  // Signalled at first, as the system leaves it after a completed wait. A
  // thread without it starts all the same and reports why it cannot wait.
  os::EventHandle wake(api, api.CreateEventW(1, 1));
  const os::Dword wakeError = wake ? 0 : api.GetLastError();
  return std::unique_ptr<TComThread>(
      new TComThread(std::move(setup), std::move(stop), std::move(wake), wakeError));
}

void TComThread::Stop(std::unique_ptr<TComThread> thread) {
  if (!thread) return;
  if (!thread->InOwnDelivery()) return;  // the destructor waits for it
  thread->FLetGo = true;
  thread->SignalStop();
  LetGoThreads().Keep(std::move(thread));
}

TComThread::TComThread(TComThreadSetup setup, os::EventHandle stopEvent, os::EventHandle wakeEvent,
                       os::Dword wakeError)
    : FSetup(std::move(setup)),
      FApi(*FSetup.api),
      FStopEvent(std::move(stopEvent)),
      FWait(std::make_unique<WaitRecord>()),
      FWakeError(wakeError),
      FGathering(FSetup.gathering),
      FRxPaused(FSetup.rxPaused),
      FDeviceTimeouts(FSetup.timeouts) {
  FWait->completion = std::move(wakeEvent);
  FWait->overlapped.hEvent = FWait->completion.Get();
  static_cast<void>(FApi.SetCommMask(FSetup.device, MaskLocked()));
  FThread = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
  SignalStop();
  WaitServing(FEnded);
  if (FThread.joinable()) FThread.join();
}

bool TComThread::InOwnDelivery() const {
  if (std::this_thread::get_id() == FThread.get_id()) return true;  // smNone
  return FDelivering.load() && IsMainThread();
}

void TComThread::SignalStop() {
  // A thread that was let go has closed it already.
  if (!FStopEvent) return;
  FApi.SetEvent(FStopEvent.Get());
  std::this_thread::yield();
}

void TComThread::Execute() noexcept {
  FApi.SetCurrentThreadPriority(PriorityValue(FSetup.priority));
  std::unique_ptr<WaitRecord> wait = std::move(FWait);

  std::wstring failure;
  std::int64_t failureCode = 0;
  try {
    if (!wait->completion) {
      failureCode = FWakeError;
      failure = EComPort::Create(CE_WaitFailed, static_cast<int>(failureCode)).Message();
    } else if (Loop(*wait) == LoopEnd::Failed) {
      failureCode = FLastError;
      failure = EComPort::Create(CE_WaitFailed, static_cast<int>(failureCode)).Message();
    }
  } catch (const EComPort& e) {
    failure = e.Message();
    failureCode = e.WinCode();
  } catch (const Exception& e) {
    failure = e.Message();
    failureCode = -1;
  } catch (const std::exception& e) {
    failure = std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what()));
    failureCode = -1;
  } catch (...) {
    failure = L"Unknown error";
    failureCode = -1;
  }

  if (FLetGo) {
    EndLetGo(std::move(wait));
    return;
  }
  try {
    // The closing steps, also after an error. Clearing the mask ends a wait
    // still pending; its record must not go while the system may write it.
    static_cast<void>(FApi.SetCommMask(FSetup.device, 0));
    if (wait->pending && wait->completion &&
        FApi.WaitForSingleObject(wait->completion.Get(), 2000) != os::kWaitObject0) {
      static_cast<void>(wait->completion.Release());
      static_cast<void>(wait.release());
    }
    static_cast<void>(FApi.PurgeComm(FSetup.device, os::kPurgeTxClear | os::kPurgeRxClear));
    wait.reset();
    const bool stopping = FApi.WaitForSingleObject(FStopEvent.Get(), 0) == os::kWaitObject0;
    if (!failure.empty() && !stopping && !FReported) ReportFailure(failure, failureCode);
  } catch (...) {
  }
  FEnded.Open();
}

void TComThread::EndLetGo(std::unique_ptr<WaitRecord> wait) {
  // The device may have been closed, or reopened, meanwhile: nothing of it
  // is ours any more. No wait is pending: the thread was let go inside a
  // delivery, which follows a completed wait. Nobody signals the stop
  // event once the thread is let go.
  wait.reset();
  FStopEvent.Reset();
  FEnded.Open();
  const TComThread* self = this;
  Queue([self] { LetGoThreads().Free(self); }, self);
}

TComThread::LoopEnd TComThread::Loop(WaitRecord& wait) {
  const os::Handle handles[2] = {FStopEvent.Get(), wait.completion.Get()};
  for (;;) {
    if (!wait.pending && FRxResumed.exchange(false)) {
      DeliverWaiting();
      if (FLetGo) return LoopEnd::Stopped;
    }
    if (!wait.pending && CurrentMask() == 0) {
      // Paused with nothing else to wait for: the mask would be empty,
      // which the driver refuses.
      if (FApi.WaitForSingleObject(FStopEvent.Get(), kPausedLookMs) != os::kWaitTimeout)
        return LoopEnd::Stopped;
      continue;
    }
    if (!wait.pending && !FReadRefused && ReadsNow()) {
      const LoopEnd end = ReadLoop();
      if (end != LoopEnd::Left) return end;
      continue;
    }
    if (!wait.pending) {
      wait.mask = 0;
      if (!FApi.WaitCommEvent(FSetup.device, &wait.mask, &wait.overlapped)) {
        const os::Dword error = FApi.GetLastError();
        if (error != os::kErrorIoPending) {
          // Refused at once (the device has gone, say): no wait is pending
          // and the completion event may still be set from the last pass.
          if (!BackOff(error)) return LoopEnd::Stopped;
          continue;
        }
      }
      wait.pending = true;
      // A resume whose change of the mask came just before this wait did
      // not end it: end it now, so what waits is handed over.
      if (FRxResumed.load()) static_cast<void>(FApi.SetCommMask(FSetup.device, CurrentMask()));
    }
    const os::Dword r = FApi.WaitForMultipleObjects(2, handles, 0, os::kInfinite);
    if (r == os::kWaitObject0) return LoopEnd::Stopped;
    if (r != os::kWaitObject0 + 1) {
      FLastError = FApi.GetLastError();
      return LoopEnd::Failed;
    }
    os::Dword transferred = 0;
    if (FApi.GetOverlappedResult(FSetup.device, &wait.overlapped, &transferred, 0)) {
      wait.pending = false;
      FFailures = 0;
      FReported = false;
      // The terminator's event counts only where it was asked for.
      const os::Dword raw = wait.mask;
      FEvents = MaskToEvents(raw & FSetup.eventMask);
      // An empty mask: the mask changed (gathering, pause), nothing came.
      if (FEvents.Empty()) continue;
      if (raw == os::kEvRxChar && !Gather(wait)) return LoopEnd::Stopped;
      DeliverEvents();
      if (FLetGo) return LoopEnd::Stopped;
      continue;
    }
    const os::Dword error = FApi.GetLastError();
    // Still running although its event is set: never start a second wait
    // on a record in use, only pause before looking again.
    if (error != os::kErrorIoIncomplete) wait.pending = false;
    if (!BackOff(error)) return LoopEnd::Stopped;
  }
}

bool TComThread::BackOff(os::Dword error) {
  ++FFailures;
  FLastError = error;
  if (FFailures >= kFailuresBeforeReport && !FReported) {
    FReported = true;
    ReportFailure(EComPort::Create(CE_WaitFailed, static_cast<int>(error)).Message(), error);
  }
  const int doublings = std::min(FFailures - 1, 10);
  const os::Dword pause = std::min<os::Dword>(kFirstPauseMs << doublings, kLongestPauseMs);
  return FApi.WaitForSingleObject(FStopEvent.Get(), pause) == os::kWaitTimeout;
}

void TComThread::DeliverEvents() {
  switch (FSetup.syncMethod) {
    case TSyncMethod::smThreadSync:
      Synchronize([this] { RunHandedOver(); });
      break;
    case TSyncMethod::smWindowSync:
      if (FSetup.window != nullptr) {
        SendEventsToWindow();
      } else {
        Synchronize([this] { RunHandedOver(); });
      }
      break;
    case TSyncMethod::smNone:
      FSetup.deliver(FEvents);
      break;
  }
}

void TComThread::RunHandedOver() {
  // Marks the user-interface thread as inside this thread's delivery.
  struct Delivering {
    std::atomic<bool>& flag;
    explicit Delivering(std::atomic<bool>& f) : flag(f) { flag = true; }
    ~Delivering() { flag = false; }
  } delivering(FDelivering);
  FSetup.deliver(FEvents);
}

void TComThread::SendEventsToWindow() {
  for (TComEvent event : kDeliveryOrder) {
    if (FEvents.Contains(event)) FSetup.window->SendEvent(EventBit(event));
  }
}

void TComThread::ReportFailure(const std::wstring& message, std::int64_t winError) {
  if (FSetup.reportFailure) FSetup.reportFailure(message, winError);
}

}  // namespace quillet::serial
