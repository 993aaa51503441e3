// The event thread's gathering of received bytes: a code a scanner sends a
// byte at a time is handed over once, when it looks complete, instead of a
// delivery a byte (each one a switch to the user-interface thread and back).
#include <algorithm>
#include <chrono>
#include <string>

#include "serial/com_thread.h"

namespace quillet::serial {

namespace {

using Clock = std::chrono::steady_clock;

os::Dword MillisecondsUntil(Clock::time_point end, Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
  return static_cast<os::Dword>(std::max<std::int64_t>(left, 0));
}

}  // namespace

bool TComThread::ReadsWhileGathering(os::Dword eventMask, const TRxGathering& gathering) {
  constexpr os::Dword kReceiveEvents = os::kEvRxChar | os::kEvRxFlag | os::kEvErr;
  return gathering.on && (eventMask & os::kEvRxChar) && (eventMask & ~kReceiveEvents) == 0;
}

void TComThread::SetTimeouts(const os::CommTimeouts& timeouts) {
  if (timeouts == FDeviceTimeouts) return;
  if (FApi.SetCommTimeouts(FSetup.device, timeouts)) FDeviceTimeouts = timeouts;
}

void TComThread::EndPendingRead() {
  if (!FRead || !FRead->pending) return;
  // Closing aborts it already; the record is given up (leaked) rather than
  // freed should the read never complete.
  static_cast<void>(FApi.PurgeComm(FSetup.device, os::kPurgeRxAbort));
  if (FApi.WaitForSingleObject(FRead->completion.Get(), 2000) == os::kWaitObject0) {
    FRead->pending = false;
    return;
  }
  static_cast<void>(FRead->completion.Release());
  static_cast<void>(FRead.release());
}

bool TComThread::ReadsNow() {
  const std::lock_guard<std::mutex> guard(FGatheringLock);
  return ReadsWhileGathering(FSetup.eventMask, FGathering) && !FRxPaused;
}

TComThread::ReadEnd TComThread::ReadOnce(os::Dword count, os::Dword& got, os::Dword& error) {
  ReadRecord& read = *FRead;
  got = 0;
  error = 0;
  if (FApi.ReadFile(FSetup.device, read.buffer, count, &got, &read.overlapped))
    return ReadEnd::Done;
  error = FApi.GetLastError();
  if (error != os::kErrorIoPending) return ReadEnd::Done;
  error = 0;
  read.pending = true;
  const os::Handle handles[2] = {FStopEvent.Get(), read.completion.Get()};
  const os::Dword r = FApi.WaitForMultipleObjects(2, handles, 0, os::kInfinite);
  if (r == os::kWaitObject0) {
    EndPendingRead();
    return ReadEnd::Stopped;
  }
  if (r != os::kWaitObject0 + 1) {
    FLastError = FApi.GetLastError();
    EndPendingRead();
    return ReadEnd::Failed;
  }
  if (!FApi.GetOverlappedResult(FSetup.device, &read.overlapped, &got, 0)) {
    error = FApi.GetLastError();
    if (error == os::kErrorIoIncomplete) {
      FLastError = error;
      EndPendingRead();
      return ReadEnd::Failed;
    }
  }
  read.pending = false;
  return ReadEnd::Done;
}

TComThread::LoopEnd TComThread::ReadLoop() {
  if (!FRead) {
    auto record = std::make_unique<ReadRecord>();
    record->completion = os::EventHandle(FApi, FApi.CreateEventW(1, 0));
    if (!record->completion) {
      FReadRefused = true;  // the thread waits for events instead
      return LoopEnd::Left;
    }
    record->overlapped.hEvent = record->completion.Get();
    FRead = std::move(record);
  }
  FReading = true;
  LoopEnd end = LoopEnd::Left;
  const auto withWrites = [this](os::Dword interval, os::Dword total) {
    os::CommTimeouts t = FSetup.timeouts;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = total;
    return t;
  };
  // The device is the port's again, whose reads go to it.
  const auto failed = [this] {
    SetTimeouts(FSetup.timeouts);
    FReading = false;
    return LoopEnd::Failed;
  };
  while (end == LoopEnd::Left) {
    if (!ReadsNow()) break;
    // Resumed before this thread left the loop: what it read while paused
    // was refused, and no wait of the main loop will hand it over now.
    if (FRxResumed.exchange(false)) {
      DeliverWaiting();
      if (FLetGo) return LoopEnd::Stopped;
    }
    TRxGathering gathering = CurrentGathering();
    const os::Dword quiet = std::max<os::Dword>(gathering.quietMs, 1);
    // The first byte, however long it takes to come: the driver (Wine's
    // server) waits for it, nothing polls.
    SetTimeouts(withWrites(quiet, 0));
    os::Dword got = 0;
    os::Dword error = 0;
    ReadEnd r = ReadOnce(1, got, error);
    if (r == ReadEnd::Stopped) return LoopEnd::Stopped;
    if (r == ReadEnd::Failed) return failed();
    if (got == 0 && (error == 0 || error == os::kErrorOperationAborted)) {
      // Ended early (the port purged its queue): a short pause, so that
      // nothing spins.
      if (FApi.WaitForSingleObject(FStopEvent.Get(), kGatherPollMs) != os::kWaitTimeout)
        return LoopEnd::Stopped;
      continue;
    }
    if (got == 0) {
      // Refused (a pulled-out adapter): as a refused wait.
      if (!BackOff(error)) return LoopEnd::Stopped;
      continue;
    }
    FFailures = 0;
    FReported = false;
    std::string held(FRead->buffer, got);
    FHeldBack = got;
    // The rest: until the line has been quiet, for at most the longest hold
    // after the first byte. Gathering switched off hands the byte over now.
    gathering = CurrentGathering();
    const Clock::time_point latest = Clock::now() + std::chrono::milliseconds(gathering.longestMs);
    while (ReadsWhileGathering(FSetup.eventMask, gathering)) {
      const os::Dword left = MillisecondsUntil(latest, Clock::now());
      if (left == 0) break;
      SetTimeouts(withWrites(quiet, left));
      r = ReadOnce(kReadChunk, got, error);
      if (r == ReadEnd::Stopped) return LoopEnd::Stopped;
      if (r == ReadEnd::Failed) return failed();
      held.append(FRead->buffer, got);
      FHeldBack = static_cast<os::Dword>(held.size());
      if (error != 0 || got < kReadChunk) break;
    }
    FEvents = TComEvents();
    FEvents.Include(TComEvent::evRxChar);
    // Line errors come with the bytes; the port's next LastErrors has them.
    os::Dword queued = 0;
    static_cast<void>(QueuedBytes(queued));
    const char flag =
        gathering.on && gathering.hasTerminator ? gathering.terminator : FSetup.eventChar;
    if ((FSetup.eventMask & os::kEvRxFlag) && held.find(flag) != std::string::npos)
      FEvents.Include(TComEvent::evRxFlag);
    if (FSetup.takeBytes) FSetup.takeBytes(std::move(held));
    FHeldBack = 0;
    // Paused meanwhile, the port keeps them without a delivery: the resume
    // hands them over, with what waits in the driver.
    if (!ReadsNow()) FReadWhilePaused = true;
    DeliverEvents();
    if (FLetGo) return LoopEnd::Stopped;
  }
  // Back to waiting for events: the port's own time-outs, and its reads go
  // to the device again.
  SetTimeouts(FSetup.timeouts);
  FReading = false;
  return LoopEnd::Left;
}

os::Dword TComThread::DeviceMask(os::Dword eventMask, const TRxGathering& gathering) {
  const bool terminator = gathering.on && gathering.hasTerminator && (eventMask & os::kEvRxChar);
  return eventMask | (terminator ? os::kEvRxFlag : 0);
}

void TComThread::SetGathering(const TRxGathering& gathering) {
  os::Dword before = 0;
  os::Dword after = 0;
  {
    const std::lock_guard<std::mutex> guard(FGatheringLock);
    before = MaskLocked();
    FGathering = gathering;
    after = MaskLocked();
  }
  // A pending wait ends with an empty mask; the thread waits again, or
  // starts reading.
  if (after != before || ReadsWhileGathering(FSetup.eventMask, gathering))
    static_cast<void>(FApi.SetCommMask(FSetup.device, after));
}

TRxGathering TComThread::CurrentGathering() {
  const std::lock_guard<std::mutex> guard(FGatheringLock);
  return FGathering;
}

bool TComThread::QueuedBytes(os::Dword& count) {
  os::Dword errors = 0;
  os::ComStat stat{};
  if (!FApi.ClearCommError(FSetup.device, &errors, &stat)) return false;
  count = stat.cbInQue;
  if (errors == 0) return true;
  // Looking cleared them: they travel to the port, and go with the bytes.
  if (FSetup.takeErrors) FSetup.takeErrors(errors);
  if (FSetup.eventMask & os::kEvErr) FEvents.Include(TComEvent::evError);
  return false;
}

bool TComThread::Gather(WaitRecord& wait) {
  const TRxGathering gathering = CurrentGathering();
  if (!gathering.on) return true;
  const Clock::time_point first = Clock::now();
  const Clock::time_point latest = first + std::chrono::milliseconds(gathering.longestMs);
  const auto quiet = std::chrono::milliseconds(gathering.quietMs);
  Clock::time_point quietEnd = first + quiet;
  os::Dword queued = 0;
  if (!QueuedBytes(queued) || queued == 0) return true;
  // A wait that ends without new bytes is followed by a pause before the
  // next: Windows ends one at once for a byte already counted. Wine's serial
  // layer ends every wait at once while bytes are queued, and a wait there
  // costs far more than a look at the queue: after two such waits in a row,
  // as after a refused wait, the queue is looked at instead.
  bool polling = false;
  bool pause = false;
  int staleWaits = 0;
  const os::Handle handles[2] = {FStopEvent.Get(), wait.completion.Get()};
  for (;;) {
    const Clock::time_point now = Clock::now();
    const Clock::time_point end = std::min(quietEnd, latest);
    if (now >= end) return true;
    if (!wait.pending && !polling && !pause) {
      wait.mask = 0;
      if (FApi.WaitCommEvent(FSetup.device, &wait.mask, &wait.overlapped) ||
          FApi.GetLastError() == os::kErrorIoPending) {
        wait.pending = true;
      } else {
        polling = true;  // the main loop meets the refusal after the delivery
      }
    }
    const os::Dword left = MillisecondsUntil(end, now);
    const os::Dword timeout = polling || pause ? std::min(left, kGatherPollMs) : left;
    const os::Dword r = FApi.WaitForMultipleObjects(wait.pending ? 2 : 1, handles, 0, timeout);
    pause = false;
    if (r == os::kWaitObject0) return false;
    bool completed = false;
    if (r == os::kWaitObject0 + 1) {
      os::Dword transferred = 0;
      if (!FApi.GetOverlappedResult(FSetup.device, &wait.overlapped, &transferred, 0)) {
        if (FApi.GetLastError() != os::kErrorIoIncomplete) wait.pending = false;
        return true;
      }
      wait.pending = false;
      completed = true;
      // Ended by a change of the mask (the gathering itself changed).
      if (wait.mask == 0) return true;
      const os::Dword more = wait.mask & ~os::kEvRxChar;
      // The terminator, or another event: hand over now, with the bytes.
      if (more != 0) {
        const TComEvents events = MaskToEvents(more & FSetup.eventMask);
        for (TComEvent event : kDeliveryOrder)
          if (events.Contains(event)) FEvents.Include(event);
        return true;
      }
    } else if (r != os::kWaitTimeout) {
      return true;  // the main loop's next wait meets the failure
    }
    os::Dword now_queued = 0;
    if (!QueuedBytes(now_queued)) return true;
    if (now_queued != queued) {
      // A read on the user-interface thread may take bytes meanwhile.
      if (now_queued == 0) return true;
      queued = now_queued;
      quietEnd = Clock::now() + quiet;
      if (completed) staleWaits = 0;
    } else if (completed) {
      pause = true;
      polling = ++staleWaits >= 2;
    }
  }
}

}  // namespace quillet::serial
