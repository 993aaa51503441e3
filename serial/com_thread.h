// The event thread of an open port: it waits on the device for a set of
// serial events and hands each batch on (through the hand-over, a hidden
// window, or directly, by the sync method). It knows nothing of the port:
// everything it needs comes in its TComThreadSetup. Start creates its events
// and starts it; Stop ends it, or lets it go when called from inside its own
// delivery.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "os/serial_api.h"
#include "serial/com_types.h"
#include "serial/component.h"
#include "serial/sync.h"

namespace quillet::serial {

class TPortWindow;

// The Windows event mask of a set of events, and back; other bits are ignored.
os::Dword EventsToMask(TComEvents events);
TComEvents MaskToEvents(os::Dword mask);
// The Windows bit of one event.
os::Dword EventBit(TComEvent event);
// The order in which the events of one batch are delivered.
inline constexpr TComEvent kDeliveryOrder[] = {
    TComEvent::evError, TComEvent::evRxChar,  TComEvent::evTxEmpty, TComEvent::evBreak,
    TComEvent::evRing,  TComEvent::evCTS,     TComEvent::evDSR,     TComEvent::evRxFlag,
    TComEvent::evRLSD,  TComEvent::evRx80Full};

struct TComThreadSetup {
  os::SerialApi* api = nullptr;
  // Not owned: the device outlives the thread, or the thread has been let go.
  os::Handle device = os::kInvalidHandleValue;
  os::Dword eventMask = 0;
  TThreadPriority priority = TThreadPriority::tpNormal;
  TSyncMethod syncMethod = TSyncMethod::smThreadSync;
  // smWindowSync: each event of a batch is sent to it as one message. Null
  // delivers through the hand-over instead. Outlives the thread.
  TPortWindow* window = nullptr;
  // Runs one batch, on the user-interface thread (on the event thread with
  // smNone).
  std::function<void(TComEvents events)> deliver;
  // Event thread: events no longer arrive (an error ended the thread, or
  // the device keeps refusing to wait). Not called once the thread is let go.
  std::function<void(const std::wstring& message, std::int64_t winError)> reportFailure;
  // How received bytes are held before they are handed over.
  TRxGathering gathering;
  // Event thread: line errors it cleared while looking at the receive
  // queue, for the port's next LastErrors.
  std::function<void(os::Dword errors)> takeErrors;
  // Starts with received bytes left in the driver (SetRxPaused).
  bool rxPaused = false;
  // Event thread: bytes it read from the device while gathering, kept by the
  // port for its handler to read; called before their delivery.
  std::function<void(std::string bytes)> takeBytes;
  // The port's own read and write time-outs, given back to the device when
  // the thread stops reading it.
  os::CommTimeouts timeouts{};
  // The driver's event character, for EV_RXFLAG on bytes the thread read.
  char eventChar = 0;
};

class TComThread : public TObject {
 public:
  // Creates the stop and wake-up events, sets the device's event mask and
  // starts the thread. Throws when the thread cannot start.
  static std::unique_ptr<TComThread> Start(TComThreadSetup setup);
  // Ends the thread and returns once it has; on the user-interface thread
  // it serves the thread's pending hand-over meanwhile. Called from inside
  // the thread's own delivery (a handler closing its own port), which
  // cannot end before the caller does, it lets the thread go instead: the
  // thread stops once the delivery has returned, touches neither device nor
  // callbacks again, and is kept until the user-interface thread frees it.
  static void Stop(std::unique_ptr<TComThread> thread);

  // Stops the thread and returns once it has ended (see Stop).
  ~TComThread() override;

  std::wstring ClassName() const override { return L"TComThread"; }

  void SignalStop();

  // Changes how received bytes are held; the next delivery follows it. Sets
  // the device's event mask when the terminator's event has to come or go.
  void SetGathering(const TRxGathering& gathering);

  // The device's event mask: the events asked for, and the terminator's.
  static os::Dword DeviceMask(os::Dword eventMask, const TRxGathering& gathering);

  // Paused, no wait asks for the receive events (Wine ends an EV_RXCHAR
  // wait at once while bytes are queued, so waiting for them would spin):
  // the bytes stay in the driver. Resuming hands over what waits at once,
  // since the driver reports only bytes that arrive afterwards.
  void SetRxPaused(bool paused);
  static constexpr os::Dword kReceiveEvents = os::kEvRxChar | os::kEvRxFlag | os::kEvRx80Full;
  // How often a paused thread with no other event to wait for looks
  // whether it was resumed.
  static constexpr os::Dword kPausedLookMs = 10;

  // How long a gathering pauses before it waits on a driver that told it of
  // no new bytes, and between its looks at the queue once it no longer waits.
  static constexpr os::Dword kGatherPollMs = 1;

  // Gathering on a port that asks only for receive events reads the device
  // on the event thread (ReadFile with the quiet time as interval time-out)
  // instead of waiting for events: under Wine a wait for serial events polls
  // the line every millisecond, a read waits in the server.
  static bool ReadsWhileGathering(os::Dword eventMask, const TRxGathering& gathering);
  // True while the thread may have a read pending on the device: the port
  // then serves its reads from what the thread handed over, never the device.
  bool ReadsTheDevice() const { return FReading.load(); }
  // Bytes of a scan this thread has read and not yet handed over: they have
  // arrived, though no read of the port gets them before their delivery.
  os::Dword BytesHeldBack() const { return FHeldBack.load(); }
  // The most one read of the thread takes.
  static constexpr os::Dword kReadChunk = 4096;

  // True on the thread that runs this thread's delivery right now.
  bool InOwnDelivery() const;

  // Pauses between wait requests the device keeps refusing: the first, and
  // the ceiling they double up to.
  static constexpr os::Dword kFirstPauseMs = 10;
  static constexpr os::Dword kLongestPauseMs = 1000;
  // Refusals in a row after which the thread reports its device lost.
  static constexpr int kFailuresBeforeReport = 5;

 private:
  // The pending wait's mask and OVERLAPPED: the system writes into both when
  // the wait completes, so they live on the heap and are given up (leaked)
  // rather than freed should a wait never complete.
  struct WaitRecord {
    os::Dword mask = 0;
    os::Overlapped overlapped{};
    os::EventHandle completion;
    bool pending = false;
  };

  // wakeError: why the wake-up event could not be created, if it could not.
  TComThread(TComThreadSetup setup, os::EventHandle stopEvent, os::EventHandle wakeEvent,
             os::Dword wakeError);

  void Execute() noexcept;
  // A read of the device, with the same care as a wait.
  struct ReadRecord {
    os::Overlapped overlapped{};
    os::EventHandle completion;
    bool pending = false;
    char buffer[kReadChunk];
  };

  // The wait loop; returns how it ended.
  enum class LoopEnd { Stopped, Failed, Left };
  LoopEnd Loop(WaitRecord& wait);
  // The read loop of a gathering port (see ReadsWhileGathering); Left once
  // the gathering no longer reads.
  LoopEnd ReadLoop();
  // One read of up to `count` bytes into the record, waited for. Done with
  // `error` set when the device refused or failed it; on Stopped and Failed
  // no read is pending any more, or the record has been given up.
  enum class ReadEnd { Done, Stopped, Failed };
  ReadEnd ReadOnce(os::Dword count, os::Dword& got, os::Dword& error);
  void EndPendingRead();
  // The gathering reads and receiving is not paused. A pause stops the
  // reads; what they had read already is handed over.
  bool ReadsNow();
  // Sets the device's time-outs, when they differ from the last set.
  void SetTimeouts(const os::CommTimeouts& timeouts);
  // Waits the pause of one more refusal; false when the stop event ended it.
  bool BackOff(os::Dword error);
  void DeliverEvents();
  // Holds the bytes of a completed wait back until they look complete;
  // false when the stop event ended it.
  bool Gather(WaitRecord& wait);
  // The receive queue's byte count; false when it cannot be read or a line
  // error came (handed over at once).
  bool QueuedBytes(os::Dword& count);
  TRxGathering CurrentGathering();
  // The device mask for the gathering and the pause now; under the lock.
  os::Dword MaskLocked() const;
  // After a resume: hands over the bytes that waited in the driver.
  void DeliverWaiting();
  // MaskLocked, taking the lock: 0 while paused with no event left.
  os::Dword CurrentMask();
  void RunHandedOver();
  void SendEventsToWindow();
  void ReportFailure(const std::wstring& message, std::int64_t winError);
  // The end of a thread that was let go: it frees what it holds of the
  // system and has the user-interface thread free it.
  void EndLetGo(std::unique_ptr<WaitRecord> wait);

  const TComThreadSetup FSetup;
  os::SerialApi& FApi;
  // Owned by the object, not the thread: SignalStop may come after the
  // thread has ended on its own.
  os::EventHandle FStopEvent;
  std::unique_ptr<WaitRecord> FWait;
  os::Dword FWakeError;
  TComEvents FEvents;
  int FFailures = 0;
  bool FReported = false;
  os::Dword FLastError = 0;
  std::mutex FGatheringLock;
  TRxGathering FGathering;
  bool FRxPaused = false;
  std::atomic<bool> FRxResumed{false};
  TSyncLatch FEnded;
  std::atomic<bool> FDelivering{false};
  std::atomic<bool> FReading{false};
  std::atomic<os::Dword> FHeldBack{0};
  bool FReadRefused = false;
  // A read took bytes while receiving was paused: the port holds them.
  std::atomic<bool> FReadWhilePaused{false};
  std::unique_ptr<ReadRecord> FRead;
  os::CommTimeouts FDeviceTimeouts{};
  std::atomic<bool> FLetGo{false};
  std::thread FThread;
};

}  // namespace quillet::serial
