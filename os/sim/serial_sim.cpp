#include "os/sim/serial_sim.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace quillet::os::sim {

namespace {

// The status the system leaves in Overlapped::Internal while an operation runs.
constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

bool SameName(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towupper(static_cast<wint_t>(x)) == std::towupper(static_cast<wint_t>(y));
         });
}

bool ReadsReturnAtOnce(const CommTimeouts& t) {
  return t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
         t.ReadTotalTimeoutConstant == 0;
}

SimCallRecord Record(SimCall call, Handle handle, std::vector<Dword> args = {}) {
  SimCallRecord r;
  r.call = call;
  r.handle = handle;
  r.args = std::move(args);
  return r;
}

}  // namespace

const char* SimCallName(SimCall call) {
  switch (call) {
    case SimCall::CreateFileW:
      return "CreateFileW";
    case SimCall::SetupComm:
      return "SetupComm";
    case SimCall::SetCommState:
      return "SetCommState";
    case SimCall::SetCommTimeouts:
      return "SetCommTimeouts";
    case SimCall::SetCommMask:
      return "SetCommMask";
    case SimCall::WaitCommEvent:
      return "WaitCommEvent";
    case SimCall::ReadFile:
      return "ReadFile";
    case SimCall::WriteFile:
      return "WriteFile";
    case SimCall::GetOverlappedResult:
      return "GetOverlappedResult";
    case SimCall::PurgeComm:
      return "PurgeComm";
    case SimCall::ClearCommError:
      return "ClearCommError";
    case SimCall::GetCommModemStatus:
      return "GetCommModemStatus";
    case SimCall::EscapeCommFunction:
      return "EscapeCommFunction";
    case SimCall::TransmitCommChar:
      return "TransmitCommChar";
    case SimCall::CloseHandle:
      return "CloseHandle";
    case SimCall::CreateEventW:
      return "CreateEventW";
    case SimCall::SetEvent:
      return "SetEvent";
    case SimCall::ResetEvent:
      return "ResetEvent";
    case SimCall::WaitForMultipleObjects:
      return "WaitForMultipleObjects";
    case SimCall::WaitForSingleObject:
      return "WaitForSingleObject";
  }
  return "?";
}

bool IsDeviceCall(SimCall call) {
  switch (call) {
    case SimCall::CreateEventW:
    case SimCall::SetEvent:
    case SimCall::ResetEvent:
    case SimCall::WaitForMultipleObjects:
    case SimCall::WaitForSingleObject:
      return false;
    default:
      return true;
  }
}

SimSerial::SimSerial() = default;
SimSerial::~SimSerial() {
  {
    Lock lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  for (std::thread& late : lateWaits_) late.join();
}

void SimSerial::DelayEndOfCancelledWaits(const std::wstring& name,
                                         std::chrono::milliseconds delay) {
  Lock lock(mutex_);
  PortLocked(name).cancelDelay = delay;
}

int SimSerial::LateWaitCompletions() const {
  Lock lock(mutex_);
  return lateWaitCompletions_;
}

// --- helpers --------------------------------------------------------------

SimSerial::Port* SimSerial::FindPortLocked(const std::wstring& name) {
  for (Port& port : ports_) {
    if (SameName(port.name, name)) return &port;
  }
  return nullptr;
}

const SimSerial::Port& SimSerial::PortLocked(const std::wstring& name) const {
  for (const Port& port : ports_) {
    if (SameName(port.name, name)) return port;
  }
  throw std::invalid_argument("SimSerial: no such port");
}

SimSerial::Port& SimSerial::PortLocked(const std::wstring& name) {
  return const_cast<Port&>(std::as_const(*this).PortLocked(name));
}

SimSerial::Port* SimSerial::DeviceLocked(SimCall call, Handle file, Dword& error) {
  if (TakeFailureLocked(call, error)) return nullptr;
  auto it = devices_.find(file);
  if (it == devices_.end()) {
    error = kErrorInvalidHandle;
    return nullptr;
  }
  Port& port = ports_[it->second];
  if (!port.present) {
    error = kErrorAccessDenied;
    return nullptr;
  }
  return &port;
}

bool SimSerial::TakeFailureLocked(SimCall call, Dword& error) {
  auto it = failures_.find(call);
  if (it == failures_.end() || it->second.empty()) return false;
  error = it->second.front();
  it->second.pop_front();
  return true;
}

void SimSerial::SetErrorLocked(Dword error) {
  lastError_[std::this_thread::get_id()] = error;
}

Bool SimSerial::FailLocked(SimCallRecord& record, Dword error) {
  SetErrorLocked(error);
  record.result = 0;
  record.error = error;
  LogLocked(std::move(record));
  return 0;
}

Bool SimSerial::SucceedLocked(SimCallRecord& record) {
  SetErrorLocked(kErrorSuccess);
  record.result = 1;
  record.error = 0;
  LogLocked(std::move(record));
  return 1;
}

void SimSerial::LogLocked(SimCallRecord record) {
  log_.push_back(std::move(record));
}

void SimSerial::StartLocked(Overlapped* overlapped) {
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  auto it = events_.find(overlapped->hEvent);
  if (it != events_.end()) it->second.signalled = false;
}

void SimSerial::CompleteLocked(Overlapped* overlapped, Dword error, Dword bytes) {
  overlapped->Internal = error;
  overlapped->InternalHigh = bytes;
  auto it = events_.find(overlapped->hEvent);
  if (it != events_.end()) it->second.signalled = true;
  changed_.notify_all();
}

void SimSerial::RaiseLocked(Port& port, Dword events) {
  port.history |= events & port.mask;
  if (port.waitOverlapped != nullptr && port.history != 0) {
    *port.waitMask = std::exchange(port.history, 0);
    CompleteLocked(std::exchange(port.waitOverlapped, nullptr), 0, 0);
    port.waitMask = nullptr;
  }
}

void SimSerial::FeedReadsLocked(Port& port) {
  while (!port.reads.empty() && !port.input.empty()) {
    PendingRead& read = port.reads.front();
    const Dword n =
        static_cast<Dword>(std::min<std::size_t>(read.count - read.got, port.input.size()));
    std::memcpy(read.buffer + read.got, port.input.data(), n);
    port.input.erase(0, n);
    read.got += n;
    if (read.timed && read.got < read.count) {
      if (read.interval.count() > 0)
        read.intervalEnd = std::chrono::steady_clock::now() + read.interval;
      changed_.notify_all();  // its watcher looks at the new interval
      return;
    }
    CompleteLocked(read.overlapped, 0, read.got);
    port.reads.pop_front();
  }
}

bool SimSerial::ExpireReadsLocked(Port& port) {
  const auto now = std::chrono::steady_clock::now();
  bool ended = false;
  for (auto it = port.reads.begin(); it != port.reads.end();) {
    if (it->timed && (now >= it->intervalEnd || now >= it->totalEnd)) {
      CompleteLocked(it->overlapped, 0, it->got);
      it = port.reads.erase(it);
      ended = true;
    } else {
      ++it;
    }
  }
  return ended;
}

void SimSerial::WatchTimedRead(std::size_t portIndex, Overlapped* overlapped) {
  Lock lock(mutex_);
  while (!ending_) {
    Port& port = ports_[portIndex];
    const auto it = std::find_if(port.reads.begin(), port.reads.end(),
                                 [&](const PendingRead& r) { return r.overlapped == overlapped; });
    if (it == port.reads.end()) return;  // completed, cancelled or aborted
    const auto until = std::min(it->intervalEnd, it->totalEnd);
    if (std::chrono::steady_clock::now() >= until) {
      ExpireReadsLocked(port);
      continue;
    }
    if (until == std::chrono::steady_clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, until);
    }
  }
}

void SimSerial::CancelLocked(Port& port, bool reads, bool wait) {
  if (reads) {
    for (const PendingRead& read : port.reads)
      CompleteLocked(read.overlapped, kErrorOperationAborted, 0);
    port.reads.clear();
  }
  if (wait && port.waitOverlapped != nullptr) {
    *port.waitMask = 0;
    CompleteLocked(std::exchange(port.waitOverlapped, nullptr), kErrorOperationAborted, 0);
    port.waitMask = nullptr;
  }
}

// --- device calls ---------------------------------------------------------

Handle SimSerial::CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                              Dword creationDisposition, Dword flagsAndAttributes) {
  Lock lock(mutex_);
  SimCallRecord record =
      Record(SimCall::CreateFileW, kNullHandle,
             {desiredAccess, shareMode, creationDisposition, flagsAndAttributes});
  record.path = fileName;
  Dword error = 0;
  if (TakeFailureLocked(SimCall::CreateFileW, error)) {
    FailLocked(record, error);
    return kInvalidHandleValue;
  }
  std::wstring_view name = fileName;
  if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
    name.remove_prefix(kDevicePrefix.size());
  Port* port = FindPortLocked(std::wstring(name));
  if (port == nullptr || !port->present) {
    FailLocked(record, kErrorFileNotFound);
    return kInvalidHandleValue;
  }
  if (creationDisposition != kOpenExisting) {
    FailLocked(record, kErrorInvalidParameter);
    return kInvalidHandleValue;
  }
  if (port->handle != kInvalidHandleValue) {
    FailLocked(record, kErrorAccessDenied);
    return kInvalidHandleValue;
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  port->handle = handle;
  port->mask = 0;
  port->history = 0;
  port->errors = 0;
  port->input.clear();
  devices_[handle] = static_cast<std::size_t>(port - ports_.data());
  SetErrorLocked(kErrorSuccess);
  record.result = handle;
  LogLocked(std::move(record));
  return handle;
}

Bool SimSerial::SetupComm(Handle file, Dword inQueue, Dword outQueue) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::SetupComm, file, {inQueue, outQueue});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::SetupComm, file, error);
  if (port == nullptr) return FailLocked(record, error);
  port->inQueueSize = inQueue;
  port->outQueueSize = outQueue;
  return SucceedLocked(record);
}

Bool SimSerial::SetCommState(Handle file, const Dcb& dcb) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::SetCommState, file);
  record.dcb = dcb;
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::SetCommState, file, error);
  if (port == nullptr) return FailLocked(record, error);
  // What the serial driver itself refuses.
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
      dcb.StopBits > kTwoStopBits) {
    return FailLocked(record, kErrorInvalidParameter);
  }
  port->dcb = dcb;
  if (dcb.fDtrControl == kDtrControlEnable) port->dtr = true;
  if (dcb.fDtrControl == kDtrControlDisable) port->dtr = false;
  if (dcb.fRtsControl == kRtsControlEnable) port->rts = true;
  if (dcb.fRtsControl == kRtsControlDisable) port->rts = false;
  return SucceedLocked(record);
}

Bool SimSerial::SetCommTimeouts(Handle file, const CommTimeouts& timeouts) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::SetCommTimeouts, file);
  record.timeouts = timeouts;
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::SetCommTimeouts, file, error);
  if (port == nullptr) return FailLocked(record, error);
  port->timeouts = timeouts;
  return SucceedLocked(record);
}

Bool SimSerial::SetCommMask(Handle file, Dword eventMask) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::SetCommMask, file, {eventMask});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::SetCommMask, file, error);
  if (port == nullptr) return FailLocked(record, error);
  port->mask = eventMask;
  port->history = 0;
  // A wait still pending ends successfully with an empty mask.
  if (port->waitOverlapped != nullptr && port->cancelDelay.count() > 0) {
    Dword* mask = std::exchange(port->waitMask, nullptr);
    Overlapped* overlapped = std::exchange(port->waitOverlapped, nullptr);
    lateWaits_.emplace_back([this, mask, overlapped, delay = port->cancelDelay] {
      std::this_thread::sleep_for(delay);
      Lock late(mutex_);
      *mask = 0;
      CompleteLocked(overlapped, 0, 0);
      ++lateWaitCompletions_;
    });
  } else if (port->waitOverlapped != nullptr) {
    *port->waitMask = 0;
    CompleteLocked(std::exchange(port->waitOverlapped, nullptr), 0, 0);
    port->waitMask = nullptr;
  }
  return SucceedLocked(record);
}

Bool SimSerial::WaitCommEvent(Handle file, Dword* eventMask, Overlapped* overlapped) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::WaitCommEvent, file);
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::WaitCommEvent, file, error);
  if (port == nullptr) return FailLocked(record, error);
  if (eventMask == nullptr || overlapped == nullptr || port->waitOverlapped != nullptr ||
      port->mask == 0) {
    return FailLocked(record, kErrorInvalidParameter);
  }
  if (port->history != 0) {
    *eventMask = std::exchange(port->history, 0);
    CompleteLocked(overlapped, 0, 0);
    return SucceedLocked(record);
  }
  *eventMask = 0;
  StartLocked(overlapped);
  port->waitMask = eventMask;
  port->waitOverlapped = overlapped;
  return FailLocked(record, kErrorIoPending);
}

Bool SimSerial::ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead,
                         Overlapped* overlapped) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::ReadFile, file, {bytesToRead});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::ReadFile, file, error);
  if (port == nullptr) return FailLocked(record, error);
  // Every handle of this program is opened for overlapped use.
  if (overlapped == nullptr) return FailLocked(record, kErrorInvalidParameter);
  if (bytesRead != nullptr) *bytesRead = 0;
  const CommTimeouts& t = port->timeouts;
  const bool interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
  const Dword total = t.ReadTotalTimeoutConstant + t.ReadTotalTimeoutMultiplier * bytesToRead;
  const bool timed = !ReadsReturnAtOnce(t) && (interval || total != 0);
  const Dword ready = static_cast<Dword>(std::min<std::size_t>(bytesToRead, port->input.size()));
  // A timed read goes on after the bytes that wait, until its count or time.
  if (bytesToRead == 0 || ready == bytesToRead || ReadsReturnAtOnce(t) || (ready != 0 && !timed)) {
    const Dword n = ready;
    if (n != 0) std::memcpy(buffer, port->input.data(), n);
    port->input.erase(0, n);
    if (bytesRead != nullptr) *bytesRead = n;
    CompleteLocked(overlapped, 0, n);
    if (n != 0) record.data.assign(static_cast<const char*>(buffer), n);
    return SucceedLocked(record);
  }
  StartLocked(overlapped);
  PendingRead read{static_cast<char*>(buffer), bytesToRead, overlapped};
  read.timed = timed;
  if (interval) read.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  if (total != 0)
    read.totalEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
  if (ready != 0) {
    std::memcpy(read.buffer, port->input.data(), ready);
    port->input.erase(0, ready);
    read.got = ready;
    if (interval) read.intervalEnd = std::chrono::steady_clock::now() + read.interval;
  }
  port->reads.push_back(read);
  if (read.timed) {
    const std::size_t index = static_cast<std::size_t>(port - ports_.data());
    lateWaits_.emplace_back([this, index, overlapped] { WatchTimedRead(index, overlapped); });
  }
  return FailLocked(record, kErrorIoPending);
}

Bool SimSerial::WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten,
                          Overlapped* overlapped) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::WriteFile, file, {bytesToWrite});
  if (bytesToWrite != 0) record.data.assign(static_cast<const char*>(buffer), bytesToWrite);
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::WriteFile, file, error);
  if (port == nullptr) return FailLocked(record, error);
  if (overlapped == nullptr) return FailLocked(record, kErrorInvalidParameter);
  if (bytesToWrite != 0) port->output.append(static_cast<const char*>(buffer), bytesToWrite);
  if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  CompleteLocked(overlapped, 0, bytesToWrite);
  if (bytesToWrite != 0) RaiseLocked(*port, kEvTxEmpty);
  return SucceedLocked(record);
}

Bool SimSerial::GetOverlappedResult(Handle file, Overlapped* overlapped, Dword* bytesTransferred,
                                    Bool wait) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::GetOverlappedResult, file, {static_cast<Dword>(wait)});
  Dword error = 0;
  if (TakeFailureLocked(SimCall::GetOverlappedResult, error)) return FailLocked(record, error);
  if (overlapped == nullptr) return FailLocked(record, kErrorInvalidParameter);
  if (overlapped->Internal == kStatusPending) {
    if (!wait) return FailLocked(record, kErrorIoIncomplete);
    changed_.wait(lock, [&] { return overlapped->Internal != kStatusPending; });
  }
  if (bytesTransferred != nullptr) *bytesTransferred = static_cast<Dword>(overlapped->InternalHigh);
  if (overlapped->Internal != 0)
    return FailLocked(record, static_cast<Dword>(overlapped->Internal));
  return SucceedLocked(record);
}

Bool SimSerial::PurgeComm(Handle file, Dword flags) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::PurgeComm, file, {flags});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::PurgeComm, file, error);
  if (port == nullptr) return FailLocked(record, error);
  if ((flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) != 0) {
    return FailLocked(record, kErrorInvalidParameter);
  }
  // Writes finish at once here, so there is never a write to abort.
  if (flags & kPurgeRxAbort) CancelLocked(*port, true, false);
  if (flags & kPurgeRxClear) port->input.clear();
  return SucceedLocked(record);
}

Bool SimSerial::ClearCommError(Handle file, Dword* errors, ComStat* stat) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::ClearCommError, file);
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::ClearCommError, file, error);
  if (port == nullptr) return FailLocked(record, error);
  if (errors != nullptr) *errors = port->errors;
  port->errors = 0;
  if (stat != nullptr) {
    *stat = ComStat{};
    stat->cbInQue = static_cast<Dword>(port->input.size());
  }
  return SucceedLocked(record);
}

Bool SimSerial::GetCommModemStatus(Handle file, Dword* modemStatus) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::GetCommModemStatus, file);
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::GetCommModemStatus, file, error);
  if (port == nullptr) return FailLocked(record, error);
  if (modemStatus != nullptr) *modemStatus = port->modem;
  return SucceedLocked(record);
}

Bool SimSerial::EscapeCommFunction(Handle file, Dword function) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::EscapeCommFunction, file, {function});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::EscapeCommFunction, file, error);
  if (port == nullptr) return FailLocked(record, error);
  switch (function) {
    case kSetDtr:
      port->dtr = true;
      break;
    case kClrDtr:
      port->dtr = false;
      break;
    case kSetRts:
      port->rts = true;
      break;
    case kClrRts:
      port->rts = false;
      break;
    case kSetXon:
    case kSetXoff:
    case kSetBreak:
    case kClrBreak:
      break;
    default:
      return FailLocked(record, kErrorInvalidParameter);
  }
  return SucceedLocked(record);
}

Bool SimSerial::TransmitCommChar(Handle file, char ch) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::TransmitCommChar, file, {static_cast<Byte>(ch)});
  Dword error = 0;
  Port* port = DeviceLocked(SimCall::TransmitCommChar, file, error);
  if (port == nullptr) return FailLocked(record, error);
  port->output.push_back(ch);
  return SucceedLocked(record);
}

Bool SimSerial::CloseHandle(Handle object) {
  Lock lock(mutex_);
  const bool device = devices_.count(object) != 0;
  SimCallRecord record = Record(SimCall::CloseHandle, object, {device ? 1u : 0u});
  Dword error = 0;
  if (TakeFailureLocked(SimCall::CloseHandle, error)) return FailLocked(record, error);
  if (device) {
    Port& port = ports_[devices_[object]];
    // Closing the device ends whatever is still pending on it.
    CancelLocked(port, true, true);
    port.handle = kInvalidHandleValue;
    port.mask = 0;
    devices_.erase(object);
    return SucceedLocked(record);
  }
  if (events_.erase(object) != 0) return SucceedLocked(record);
  return FailLocked(record, kErrorInvalidHandle);
}

}  // namespace quillet::os::sim
