// The event thread's pause of received bytes: while the program cannot keep
// up with a port, its bytes stay in the driver instead of in memory.
#include <mutex>

#include "serial/com_thread.h"

namespace quillet::serial {

os::Dword TComThread::MaskLocked() const {
  const os::Dword asked = FRxPaused ? FSetup.eventMask & ~kReceiveEvents : FSetup.eventMask;
  return DeviceMask(asked, FGathering);
}

void TComThread::SetRxPaused(bool paused) {
  os::Dword before = 0;
  os::Dword after = 0;
  {
    const std::lock_guard<std::mutex> guard(FGatheringLock);
    if (FRxPaused == paused) return;
    before = MaskLocked();
    FRxPaused = paused;
    after = MaskLocked();
  }
  // Before the mask changes: the wait it ends is followed by the delivery.
  if (!paused) FRxResumed = true;
  // A pending wait ends with an empty mask; the thread waits again.
  if (after != before) static_cast<void>(FApi.SetCommMask(FSetup.device, after));
}

os::Dword TComThread::CurrentMask() {
  const std::lock_guard<std::mutex> guard(FGatheringLock);
  return MaskLocked();
}

void TComThread::DeliverWaiting() {
  FEvents = TComEvents();
  os::Dword queued = 0;
  // A line error found here goes with the bytes.
  static_cast<void>(QueuedBytes(queued));
  const bool read = FReadWhilePaused.exchange(false);
  if ((queued > 0 || read) && (FSetup.eventMask & os::kEvRxChar))
    FEvents.Include(TComEvent::evRxChar);
  if (!FEvents.Empty()) DeliverEvents();
}

}  // namespace quillet::serial
