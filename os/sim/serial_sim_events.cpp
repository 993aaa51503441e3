// SimSerial: kernel events, waits, the last error and the system texts.
#include <algorithm>
#include <chrono>

#include "os/sim/serial_sim.h"

namespace quillet::os::sim {

namespace {

SimCallRecord Record(SimCall call, Handle handle, std::vector<Dword> args = {}) {
  SimCallRecord r;
  r.call = call;
  r.handle = handle;
  r.args = std::move(args);
  return r;
}

}  // namespace

// --- events and waits -------------------------------------------------------

Handle SimSerial::CreateEventW(Bool manualReset, Bool initialState) {
  Lock lock(mutex_);
  SimCallRecord record =
      Record(SimCall::CreateEventW, kNullHandle,
             {static_cast<Dword>(manualReset), static_cast<Dword>(initialState)});
  Dword error = 0;
  if (TakeFailureLocked(SimCall::CreateEventW, error)) {
    FailLocked(record, error);
    return kNullHandle;
  }
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  events_[handle] = Event{manualReset != 0, initialState != 0};
  SetErrorLocked(kErrorSuccess);
  record.handle = handle;
  record.result = handle;
  LogLocked(std::move(record));
  return handle;
}

Bool SimSerial::SetEvent(Handle event) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::SetEvent, event);
  Dword error = 0;
  if (TakeFailureLocked(SimCall::SetEvent, error)) return FailLocked(record, error);
  auto it = events_.find(event);
  if (it == events_.end()) return FailLocked(record, kErrorInvalidHandle);
  it->second.signalled = true;
  changed_.notify_all();
  return SucceedLocked(record);
}

Bool SimSerial::ResetEvent(Handle event) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::ResetEvent, event);
  Dword error = 0;
  if (TakeFailureLocked(SimCall::ResetEvent, error)) return FailLocked(record, error);
  auto it = events_.find(event);
  if (it == events_.end()) return FailLocked(record, kErrorInvalidHandle);
  it->second.signalled = false;
  return SucceedLocked(record);
}

Dword SimSerial::TryWaitLocked(Dword count, const Handle* handles, bool waitAll, bool& failed) {
  failed = false;
  std::vector<Event*> list;
  for (Dword i = 0; i < count; ++i) {
    auto it = events_.find(handles[i]);
    if (it == events_.end()) {
      failed = true;
      return kWaitFailed;
    }
    list.push_back(&it->second);
  }
  const auto take = [](Event* e) {
    if (!e->manualReset) e->signalled = false;
  };
  if (waitAll) {
    if (!std::all_of(list.begin(), list.end(), [](Event* e) { return e->signalled; }))
      return kWaitTimeout;
    std::for_each(list.begin(), list.end(), take);
    return kWaitObject0;
  }
  for (Dword i = 0; i < count; ++i) {
    if (list[i]->signalled) {
      take(list[i]);
      return kWaitObject0 + i;
    }
  }
  return kWaitTimeout;
}

Dword SimSerial::WaitLocked(Lock& lock, Dword count, const Handle* handles, bool waitAll,
                            Dword milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    bool failed = false;
    const Dword r = TryWaitLocked(count, handles, waitAll, failed);
    if (failed) {
      SetErrorLocked(kErrorInvalidHandle);
      return kWaitFailed;
    }
    if (r != kWaitTimeout) {
      SetErrorLocked(kErrorSuccess);
      return r;
    }
    if (milliseconds == kInfinite) {
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      bool lateFailed = false;
      const Dword late = TryWaitLocked(count, handles, waitAll, lateFailed);
      SetErrorLocked(kErrorSuccess);
      return lateFailed ? kWaitTimeout : late;
    }
  }
}

Dword SimSerial::WaitForMultipleObjects(Dword count, const Handle* handles, Bool waitAll,
                                        Dword milliseconds) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::WaitForMultipleObjects, count ? handles[0] : kNullHandle,
                                {count, static_cast<Dword>(waitAll), milliseconds});
  record.handles.assign(handles, handles + count);
  Dword error = 0;
  Dword r = kWaitFailed;
  if (TakeFailureLocked(SimCall::WaitForMultipleObjects, error)) {
    SetErrorLocked(error);
  } else if (count == 0 || count > 64) {
    error = kErrorInvalidParameter;
    SetErrorLocked(error);
  } else {
    r = WaitLocked(lock, count, handles, waitAll != 0, milliseconds);
    if (r == kWaitFailed) error = kErrorInvalidHandle;
  }
  record.result = r;
  record.error = error;
  LogLocked(std::move(record));
  return r;
}

Dword SimSerial::WaitForSingleObject(Handle object, Dword milliseconds) {
  Lock lock(mutex_);
  SimCallRecord record = Record(SimCall::WaitForSingleObject, object, {milliseconds});
  Dword error = 0;
  Dword r = kWaitFailed;
  if (TakeFailureLocked(SimCall::WaitForSingleObject, error)) {
    SetErrorLocked(error);
  } else {
    r = WaitLocked(lock, 1, &object, false, milliseconds);
    if (r == kWaitFailed) error = kErrorInvalidHandle;
  }
  record.result = r;
  record.error = error;
  LogLocked(std::move(record));
  return r;
}

Dword SimSerial::GetLastError() {
  Lock lock(mutex_);
  auto it = lastError_.find(std::this_thread::get_id());
  return it == lastError_.end() ? kErrorSuccess : it->second;
}

std::wstring SimSerial::SystemMessage(Dword error) {
  // The texts of the system table for the numbers this program meets.
  switch (error) {
    case kErrorSuccess:
      return L"The operation completed successfully.\r\n";
    case kErrorFileNotFound:
      return L"The system cannot find the file specified.\r\n";
    case kErrorPathNotFound:
      return L"The system cannot find the path specified.\r\n";
    case kErrorAccessDenied:
      return L"Access is denied.\r\n";
    case kErrorInvalidHandle:
      return L"The handle is invalid.\r\n";
    case kErrorNotReady:
      return L"The device is not ready.\r\n";
    case kErrorGenFailure:
      return L"A device attached to the system is not functioning.\r\n";
    case kErrorSharingViolation:
      return L"The process cannot access the file because it is being used by another process.\r\n";
    case kErrorInvalidParameter:
      return L"The parameter is incorrect.\r\n";
    case kErrorInvalidName:
      return L"The filename, directory name, or volume label syntax is incorrect.\r\n";
    case kErrorOperationAborted:
      return L"The I/O operation has been aborted because of either a thread exit or an "
             L"application request.\r\n";
    case kErrorIoIncomplete:
      return L"Overlapped I/O event is not in a signaled state.\r\n";
    case kErrorIoPending:
      return L"Overlapped I/O operation is in progress.\r\n";
    default:
      return L"";
  }
}

}  // namespace quillet::os::sim
