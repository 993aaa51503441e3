// The delivery of serial events to links and handlers, the port's side of
// its event thread (the thread itself is com_thread.cpp), and the
// thread-less WaitForEvent.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/com_port.h"
#include "serial/com_thread.h"
#include "serial/port_window.h"

namespace quillet::serial {

using enum TComExceptions;

namespace {

TPortWindowFactory& WindowFactory() {
  static TPortWindowFactory factory;
  return factory;
}

}  // namespace

void SetPortWindowFactory(TPortWindowFactory factory) {
  WindowFactory() = std::move(factory);
}

const TPortWindowFactory& PortWindowFactory() {
  return WindowFactory();
}

void TCustomComPort::CreateEventThread() {
  if (FSyncMethod == TSyncMethod::smWindowSync && PortWindowFactory()) {
    FPortWindow = PortWindowFactory()(*this);
    FWindow = FPortWindow ? FPortWindow->Handle() : 0;
  }
  TComThreadSetup setup;
  setup.api = &FApi;
  setup.device = FHandle.Get();
  setup.eventMask = EventsToMask(FEvents);
  setup.priority = FEventThreadPriority;
  setup.syncMethod = FSyncMethod;
  setup.window = FPortWindow.get();
  setup.deliver = [this](TComEvents events) { DispatchEvents(events); };
  FTakenErrors = 0;  // what an earlier session's thread took is gone with it
  setup.gathering = FRxGathering;
  setup.rxPaused = FRxPaused;
  setup.takeErrors = [this](os::Dword errors) { FTakenErrors |= errors; };
  setup.takeBytes = [this](std::string bytes) {
    const std::lock_guard<std::mutex> guard(FHeldLock);
    FHeld += bytes;
  };
  setup.timeouts = DeviceTimeouts();
  setup.eventChar = static_cast<char>(static_cast<unsigned char>(FEventChar & 0xFF));
  setup.reportFailure = [this](const std::wstring& message, std::int64_t winError) {
    // Queued, not waited for: the owner may well close the port in its
    // handler, which waits for the thread to end.
    Queue([this, message, winError] { FireThreadError(message, winError); }, this);
  };
  try {
    FEventThread = TComThread::Start(std::move(setup));
  } catch (...) {
    FPortWindow.reset();
    FWindow = 0;
    throw;
  }
  FThreadCreated = true;
}

bool TCustomComPort::ThreadReadsDevice() const {
  return FEventThread && FEventThread->ReadsTheDevice();
}

int TCustomComPort::TakeHeld(void* buffer, int count) {
  const bool threadReads = ThreadReadsDevice();
  const std::lock_guard<std::mutex> guard(FHeldLock);
  if (FHeld.empty() && !threadReads) return -1;
  const std::size_t n = std::min(FHeld.size(), static_cast<std::size_t>(std::max(count, 0)));
  if (n != 0) std::memcpy(buffer, FHeld.data(), n);
  FHeld.erase(0, n);
  return static_cast<int>(n);
}

void TCustomComPort::DestroyEventThread() {
  // Waits for the thread, or lets it go when a handler closes its own port.
  TComThread::Stop(std::move(FEventThread));
  // A failure report the thread queued has no port to speak of any more.
  RemoveQueuedEvents(this);
  // Only now: the window's sender has ended.
  FPortWindow.reset();
  FWindow = 0;
  // What the thread read and nobody took goes with it, as the driver's
  // queue does at closing.
  const std::lock_guard<std::mutex> guard(FHeldLock);
  FHeld.clear();
}

void TCustomComPort::DispatchEvents(TComEvents events) {
  for (TComEvent event : kDeliveryOrder) {
    if (events.Contains(event)) DeliverEvent(event);
  }
}

void TCustomComPort::DeliverWindowEvent(os::Dword eventBit) {
  if (!FConnected) return;
  const TComEvents events = MaskToEvents(eventBit);
  for (TComEvent event : kDeliveryOrder) {
    if (events.Contains(event)) {
      DeliverEvent(event);
      return;
    }
  }
}

void TCustomComPort::DeliverEvent(TComEvent event) {
  switch (event) {
    case TComEvent::evError:
      DeliverError();
      break;
    case TComEvent::evRxChar:
      DeliverRxChar();
      break;
    case TComEvent::evTxEmpty:
      DeliverTxEmpty();
      break;
    case TComEvent::evBreak:
      FireBreak();
      break;
    case TComEvent::evRing:
      DeliverRing();
      break;
    case TComEvent::evCTS:
      DeliverCTSChange(Signals().Contains(TComSignal::csCTS));
      break;
    case TComEvent::evDSR:
      DeliverDSRChange(Signals().Contains(TComSignal::csDSR));
      break;
    case TComEvent::evRxFlag:
      DeliverRxFlag();
      break;
    case TComEvent::evRLSD:
      DeliverRLSDChange(Signals().Contains(TComSignal::csRLSD));
      break;
    case TComEvent::evRx80Full:
      FireRx80Full();
      break;
  }
}

void TCustomComPort::DeliverError() {
  const TComErrors errors = LastErrors();
  if (!errors.Empty()) FireError(errors);
}

void TCustomComPort::DeliverRxChar() {
  // A batch the thread handed over just before the pause: the bytes wait
  // for the resume's delivery.
  if (FRxPaused) return;
  int count = ReadableCount();
  if (count <= 0) return;
  const std::vector<TComLink*> links = FLinks;
  NotifyEach(links, &TComLink::FOnRx, true);
  if (!FTriggersOnRxChar || FHasLink) {
    // Read once, the first time anyone wants the bytes; every link gets the
    // same buffer. The buffer goes with the scope, also on an error.
    std::unique_ptr<char[]> buffer;
    const auto take = [&] {
      buffer = std::make_unique<char[]>(static_cast<std::size_t>(count));
      Read(buffer.get(), count);
      FireRxBuf(buffer.get(), count);
    };
    for (TComLink* link : links) {
      if (!link->OnRxBuf()) continue;
      if (!buffer) take();
      link->OnRxBuf()(this, buffer.get(), count);
    }
    if (!buffer && !FTriggersOnRxChar) take();
    if (buffer) count = 0;
  }
  if (count > 0) FireRxChar(count);
}

void TCustomComPort::DeliverTxEmpty() {
  const std::vector<TComLink*> links = FLinks;
  NotifyEach(links, &TComLink::FOnTx, false);
  NotifyEach(links, &TComLink::OnTxEmpty);
  FireTxEmpty();
}

void TCustomComPort::DeliverRing() {
  NotifyLinks(&TComLink::OnRing);
  FireRing();
}

void TCustomComPort::DeliverRxFlag() {
  NotifyLinks(&TComLink::OnRxFlag);
  FireRxFlag();
}

// The line changes: links first, then the port's handler.
void TCustomComPort::DeliverCTSChange(bool state) {
  NotifyLinks(&TComLink::OnCTSChange, state);
  FireCTSChange(state);
}

void TCustomComPort::DeliverDSRChange(bool state) {
  NotifyLinks(&TComLink::OnDSRChange, state);
  FireDSRChange(state);
}

void TCustomComPort::DeliverRLSDChange(bool state) {
  NotifyLinks(&TComLink::OnRLSDChange, state);
  FireRLSDChange(state);
}

void TCustomComPort::FireThreadError(const std::wstring& Message, std::int64_t WinError) {
  if (FOnThreadError) FOnThreadError(this, Message, WinError);
}

namespace {

// A thread-less wait's mask and OVERLAPPED: the system writes into both when
// the wait completes, so they live on the heap. A wait that has not ended
// when told to keeps its record, and the event it will set, for as long as
// the program runs, rather than have a late completion write into freed
// memory (the event thread does the same).
struct TEventWaitRecord {
  os::Dword mask = 0;
  os::Overlapped overlapped{};
  os::EventHandle completion;
};

void KeepForGood(std::unique_ptr<TEventWaitRecord> record) {
  static std::mutex lock;
  static auto* kept = new std::vector<std::unique_ptr<TEventWaitRecord>>;
  const std::lock_guard<std::mutex> guard(lock);
  kept->push_back(std::move(record));
}

// How long a wait ended by clearing the mask may take to complete.
constexpr os::Dword kCancelledWaitMs = 2000;

}  // namespace

void TCustomComPort::WaitForEvent(TComEvents& Events, os::Handle StopEvent, int Timeout) {
  if (FThreadCreated) {
    RaiseComError(CE_ThreadCreated, 0);
    return;
  }
  auto record = std::make_unique<TEventWaitRecord>();
  record->completion = os::EventHandle(FApi, FApi.CreateEventW(1, 0));
  record->overlapped.hEvent = record->completion.Get();
  std::vector<os::Handle> handles{record->completion.Get()};
  if (StopEvent != 0) handles.push_back(StopEvent);

  static_cast<void>(FApi.SetCommMask(FHandle.Get(), EventsToMask(Events)));
  bool ok = FApi.WaitCommEvent(FHandle.Get(), &record->mask, &record->overlapped) != 0;
  os::Dword error = ok ? 0 : FApi.GetLastError();
  if (ok || error == os::kErrorIoPending) {
    const os::Dword r = FApi.WaitForMultipleObjects(
        static_cast<os::Dword>(handles.size()), handles.data(), 0, static_cast<os::Dword>(Timeout));
    ok = r == os::kWaitObject0 || r == os::kWaitObject0 + 1 || r == os::kWaitTimeout;
    error = ok ? 0 : FApi.GetLastError();
    // Ends a wait still pending, with an empty mask.
    static_cast<void>(FApi.SetCommMask(FHandle.Get(), 0));
    if (r != os::kWaitObject0) {
      if (FApi.WaitForSingleObject(record->completion.Get(), kCancelledWaitMs) !=
          os::kWaitObject0) {
        // Still pending: the system may write the record at any time.
        Events = TComEvents();
        KeepForGood(std::move(record));
        if (!ok) RaiseComError(CE_WaitFailed, error);
        return;
      }
      os::Dword ignored = 0;
      static_cast<void>(FApi.GetOverlappedResult(FHandle.Get(), &record->overlapped, &ignored, 0));
    }
  }
  if (!ok) RaiseComError(CE_WaitFailed, error);
  Events = MaskToEvents(record->mask);
}

}  // namespace quillet::serial
