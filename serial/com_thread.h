// The event thread of an open port: it waits on the device for the port's
// serial events and hands each batch to the port (through the hand-over, the
// port's hidden window, or directly, by the port's SyncMethod). The port
// creates it in CreateEventThread and destroys it in DestroyEventThread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "os/serial_api.h"
#include "serial/com_types.h"
#include "serial/component.h"
#include "serial/sync.h"

namespace quillet::serial {

class TCustomComPort;

// The Windows event mask of a set of events, and back; other bits are ignored.
os::Dword EventsToMask(TComEvents events);
TComEvents MaskToEvents(os::Dword mask);
// The Windows bit of one event.
os::Dword EventBit(TComEvent event);
// The order in which the events of one batch are delivered.
inline constexpr TComEvent kDeliveryOrder[] = {
    TComEvent::evError, TComEvent::evRxChar, TComEvent::evTxEmpty, TComEvent::evBreak,
    TComEvent::evRing,  TComEvent::evCTS,    TComEvent::evDSR,     TComEvent::evRxFlag,
    TComEvent::evRLSD,  TComEvent::evRx80Full};

class TComThread : public TObject {
 public:
  // Creates the stop event, sets the device's event mask from the port's
  // Events and starts the thread. Throws when the thread cannot start.
  explicit TComThread(TCustomComPort* AComPort);
  // Stops the thread and returns once it has ended; on the user-interface
  // thread it serves the thread's pending hand-over meanwhile.
  ~TComThread() override;

  std::wstring ClassName() const override { return L"TComThread"; }

  void SignalStop();

  // True on the thread that runs this thread's delivery right now: a
  // handler closing its own port. Such a close cannot wait for the thread.
  bool InOwnDelivery() const;
  // Lets go of a thread that InOwnDelivery: it stops once the delivery has
  // returned, touches neither port nor device again, and frees itself.
  static void Orphan(std::unique_ptr<TComThread> thread);

  // Pauses between wait requests the device keeps refusing: the first, and
  // the ceiling they double up to.
  static constexpr os::Dword kFirstPauseMs = 10;
  static constexpr os::Dword kLongestPauseMs = 1000;
  // Refusals in a row after which the port reports its device lost.
  static constexpr int kFailuresBeforeReport = 5;

 private:
  struct WaitRecord;

  void Execute() noexcept;
  // The wait loop; returns how it ended.
  enum class LoopEnd { Stopped, Failed };
  LoopEnd Loop(WaitRecord& wait);
  // Waits the pause of one more refusal; false when the stop event ended it.
  bool BackOff(os::Dword error);
  void DeliverEvents();
  void RunEventHandlers();
  void RunHandedOver();
  void SendEventsToWindow();
  // Tells the port's owner, on the user-interface thread, that events no
  // longer arrive.
  void ReportFailure(const std::wstring& message, std::int64_t winError);

  TCustomComPort* FComPort;
  os::SerialApi& FApi;
  os::Handle FDevice;
  // Owned by the object, not the thread: SignalStop may come after the
  // thread has ended on its own.
  os::EventHandle FStopEvent;
  TComEvents FEvents;
  int FFailures = 0;
  bool FReported = false;
  os::Dword FLastError = 0;
  TSyncLatch FEnded;
  std::atomic<bool> FDelivering{false};
  std::atomic<bool> FOrphaned{false};
  std::thread FThread;
};

}  // namespace quillet::serial
