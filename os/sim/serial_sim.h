// A deterministic double of the serial seam: a registry of named virtual
// ports, each a null modem whose far end (the "peer") the test drives; modem
// lines and line errors the test sets; per-call failure injection with a
// chosen error number; a log of every call with its arguments; kernel events
// with real blocking waits. Thread-safe: the port engine's event thread and
// the test may call in together.
//
// Driver behaviour modelled: exclusive open (a second CreateFileW on an open
// port fails with 5, a missing port with 2); the event history of
// WaitCommEvent (only masked events count; SetCommMask clears it and ends a
// pending wait with an empty mask); writes complete at once and land in the
// peer's buffer; reads complete at once with what is queued, and, unless the
// time-outs ask for an immediate return, wait for the peer when nothing is
// queued (read time-outs never elapse here; PurgeComm with PURGE_RXABORT or
// closing the handle ends such a read with 995).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "os/serial_api.h"

namespace quillet::os::sim {

enum class SimCall {
  CreateFileW,
  SetupComm,
  SetCommState,
  SetCommTimeouts,
  SetCommMask,
  WaitCommEvent,
  ReadFile,
  WriteFile,
  GetOverlappedResult,
  PurgeComm,
  ClearCommError,
  GetCommModemStatus,
  EscapeCommFunction,
  TransmitCommChar,
  CloseHandle,
  CreateEventW,
  SetEvent,
  ResetEvent,
  WaitForMultipleObjects,
  WaitForSingleObject,
};

const char* SimCallName(SimCall call);
// True for the calls that name a device handle (the event calls are not).
bool IsDeviceCall(SimCall call);

// One logged call. args holds the numeric arguments after the handle, in the
// Windows order: CreateFileW {access, share, creation, flags}; SetupComm
// {in, out}; SetCommMask {mask}; ReadFile/WriteFile {count}; GetOverlappedResult
// {wait}; PurgeComm {flags}; EscapeCommFunction {function}; TransmitCommChar
// {byte}; CloseHandle {1 for a device, 0 otherwise}; CreateEventW {manualReset, initialState};
// WaitForMultipleObjects {count, waitAll, ms} with the list in handles; WaitForSingleObject {ms}.
struct SimCallRecord {
  SimCall call{};
  Handle handle = kNullHandle;
  std::wstring path;
  std::vector<Dword> args;
  std::vector<Handle> handles;
  Dcb dcb{};
  CommTimeouts timeouts{};
  std::string data;          // WriteFile bytes
  std::uint64_t result = 0;  // Bool, handle or wait result
  Dword error = 0;           // last error the call set, 0 when it succeeded
};

class SimSerial final : public SerialApi {
 public:
  SimSerial();
  ~SimSerial() override;
  SimSerial(const SimSerial&) = delete;
  SimSerial& operator=(const SimSerial&) = delete;

  // --- the test's side --------------------------------------------------
  void AddPort(const std::wstring& name);
  // The device disappears (a USB adapter pulled out): new opens fail with 2,
  // calls on a handle already open fail with 5, closing still works.
  void RemovePort(const std::wstring& name);
  bool IsOpen(const std::wstring& name) const;
  Handle OpenHandle(const std::wstring& name) const;  // kInvalidHandleValue when closed

  void PeerWrite(const std::wstring& name, std::string_view bytes);
  std::string PeerRead(const std::wstring& name);          // takes what the program wrote
  std::size_t PeerUnread(const std::wstring& name) const;  // peer bytes the program has not read
  void SetModemStatus(const std::wstring& name, Dword msBits);
  void AddLineErrors(const std::wstring& name, Dword ceBits);

  Dcb State(const std::wstring& name) const;
  CommTimeouts Timeouts(const std::wstring& name) const;
  Dword InQueueSize(const std::wstring& name) const;
  Dword OutQueueSize(const std::wstring& name) const;
  Dword CommMask(const std::wstring& name) const;
  bool Dtr(const std::wstring& name) const;
  bool Rts(const std::wstring& name) const;

  // A wait pending on the port when SetCommMask ends it completes (empty
  // mask, event set) only `delay` later, from another thread, as with a slow
  // driver: the caller's mask and OVERLAPPED are written then.
  void DelayEndOfCancelledWaits(const std::wstring& name, std::chrono::milliseconds delay);
  // Such late completions done so far.
  int LateWaitCompletions() const;

  // The next `times` calls of `call` fail with `error` and have no effect.
  void FailNext(SimCall call, Dword error, int times = 1);
  void ClearFailures();

  std::vector<SimCallRecord> Calls() const;
  std::vector<SimCallRecord> DeviceCalls() const;
  std::vector<std::string> DeviceCallNames() const;
  void ClearCalls();

  // Every SetCurrentThreadPriority so far, in order.
  std::vector<int> ThreadPriorities() const;

  // Device and event handles not yet closed, to catch leaks.
  std::size_t LiveHandleCount() const;

  // --- SerialApi --------------------------------------------------------
  Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                     Dword creationDisposition, Dword flagsAndAttributes) override;
  Bool SetupComm(Handle file, Dword inQueue, Dword outQueue) override;
  Bool SetCommState(Handle file, const Dcb& dcb) override;
  Bool SetCommTimeouts(Handle file, const CommTimeouts& timeouts) override;
  Bool SetCommMask(Handle file, Dword eventMask) override;
  Bool WaitCommEvent(Handle file, Dword* eventMask, Overlapped* overlapped) override;
  Bool ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead,
                Overlapped* overlapped) override;
  Bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten,
                 Overlapped* overlapped) override;
  Bool GetOverlappedResult(Handle file, Overlapped* overlapped, Dword* bytesTransferred,
                           Bool wait) override;
  Bool PurgeComm(Handle file, Dword flags) override;
  Bool ClearCommError(Handle file, Dword* errors, ComStat* stat) override;
  Bool GetCommModemStatus(Handle file, Dword* modemStatus) override;
  Bool EscapeCommFunction(Handle file, Dword function) override;
  Bool TransmitCommChar(Handle file, char ch) override;
  Bool CloseHandle(Handle object) override;
  Handle CreateEventW(Bool manualReset, Bool initialState) override;
  Bool SetEvent(Handle event) override;
  Bool ResetEvent(Handle event) override;
  Dword WaitForMultipleObjects(Dword count, const Handle* handles, Bool waitAll,
                               Dword milliseconds) override;
  Dword WaitForSingleObject(Handle object, Dword milliseconds) override;
  // Records the priority (ThreadPriorities) and succeeds.
  Bool SetCurrentThreadPriority(int priority) override;
  // Code pages 1252 (also for CP_ACP) and 65001; others fail with 87.
  int MultiByteToWideChar(Dword codePage, Dword flags, const char* bytes, int byteCount,
                          wchar_t* wide, int wideCount) override;
  int WideCharToMultiByte(Dword codePage, Dword flags, const wchar_t* wide, int wideCount,
                          char* bytes, int byteCount) override;
  Dword GetLastError() override;
  std::wstring SystemMessage(Dword error) override;

 private:
  struct PendingRead {
    char* buffer;
    Dword count;
    Overlapped* overlapped;
    // A read with time-outs ends when its count is reached, when the line
    // has been quiet the interval after a byte, or at its total time; one
    // without ends at the first bytes.
    bool timed = false;
    Dword got = 0;
    std::chrono::steady_clock::time_point intervalEnd =
        std::chrono::steady_clock::time_point::max();
    std::chrono::steady_clock::time_point totalEnd = std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds interval{0};
  };
  struct Port {
    std::wstring name;
    bool present = true;
    Handle handle = kInvalidHandleValue;
    Dcb dcb{};
    CommTimeouts timeouts{};
    Dword inQueueSize = 0;
    Dword outQueueSize = 0;
    Dword mask = 0;
    Dword history = 0;
    Dword modem = 0;
    Dword errors = 0;
    bool dtr = false;
    bool rts = false;
    std::string input;
    std::string output;
    Dword* waitMask = nullptr;
    Overlapped* waitOverlapped = nullptr;
    std::chrono::milliseconds cancelDelay{0};
    std::deque<PendingRead> reads;
  };
  struct Event {
    bool manualReset;
    bool signalled;
  };

  using Lock = std::unique_lock<std::mutex>;

  Port* FindPortLocked(const std::wstring& name);
  const Port& PortLocked(const std::wstring& name) const;
  Port& PortLocked(const std::wstring& name);
  // The open port behind a device handle, or null with the error the call
  // fails with: an injected one, 6 for an unknown handle, 5 when the device
  // is gone.
  Port* DeviceLocked(SimCall call, Handle file, Dword& error);
  bool TakeFailureLocked(SimCall call, Dword& error);
  void SetErrorLocked(Dword error);
  Bool FailLocked(SimCallRecord& record, Dword error);
  Bool SucceedLocked(SimCallRecord& record);
  void LogLocked(SimCallRecord record);
  void StartLocked(Overlapped* overlapped);
  void CompleteLocked(Overlapped* overlapped, Dword error, Dword bytes);
  void RaiseLocked(Port& port, Dword events);
  void FeedReadsLocked(Port& port);
  // Ends the timed reads whose time has come; true when one ended.
  bool ExpireReadsLocked(Port& port);
  // Watches a timed read until it has ended.
  void WatchTimedRead(std::size_t portIndex, Overlapped* overlapped);
  void CancelLocked(Port& port, bool reads, bool wait);
  Dword TryWaitLocked(Dword count, const Handle* handles, bool waitAll, bool& failed);
  Dword WaitLocked(Lock& lock, Dword count, const Handle* handles, bool waitAll,
                   Dword milliseconds);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Port> ports_;
  std::map<Handle, std::size_t> devices_;  // handle -> index in ports_
  std::map<Handle, Event> events_;
  Handle nextHandle_ = 0x100;
  std::map<SimCall, std::deque<Dword>> failures_;
  std::map<std::thread::id, Dword> lastError_;
  std::vector<SimCallRecord> log_;
  std::vector<int> priorities_;
  std::vector<std::thread> lateWaits_;
  int lateWaitCompletions_ = 0;
  bool ending_ = false;  // the watchers of timed reads stop
};

}  // namespace quillet::os::sim
