// The event thread's gathering of received bytes: a code a scanner sends a
// byte at a time is handed over once, when it looks complete, instead of a
// delivery a byte (each one a switch to the user-interface thread and back).
#include <algorithm>
#include <chrono>

#include "serial/com_thread.h"

namespace quillet::serial {

namespace {

using Clock = std::chrono::steady_clock;

os::Dword MillisecondsUntil(Clock::time_point end, Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
  return static_cast<os::Dword>(std::max<std::int64_t>(left, 0));
}

}  // namespace

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
  // A pending wait ends with an empty mask; the thread waits again.
  if (after != before) static_cast<void>(FApi.SetCommMask(FSetup.device, after));
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
