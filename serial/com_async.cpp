// Asynchronous reads and writes on their records, and the blocking forms
// built from them.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "serial/com_port.h"

namespace quillet::serial {

using enum TComExceptions;

void AllocAsync(PAsync& AsyncPtr, os::SerialApi& api) {
  auto record = std::make_unique<TAsync>();
  record->Event = os::EventHandle(api, api.CreateEventW(1, 1));
  record->Overlapped.hEvent = record->Event.Get();
  AsyncPtr = record.release();
}

void FreeAsync(PAsync& AsyncPtr) {
  delete AsyncPtr;
  AsyncPtr = nullptr;
}

int TCustomComPort::WriteAsync(const void* Buffer, int Count, PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) {
    RaiseComError(CE_InvalidAsync, 0);
    return 0;
  }
  if (!FHandle) RaiseComError(CEPortNotOpen, 0);
  // A negative count moves nothing rather than a huge unsigned one.
  const int count = std::max(Count, 0);
  AsyncPtr->Kind = TOperationKind::okWrite;
  AsyncPtr->Served = 0;
  AsyncPtr->FromDevice = true;
  AsyncPtr->Data.reset();
  AsyncPtr->Size = 0;
  if (count > 0) {
    AsyncPtr->Data = std::make_unique<char[]>(static_cast<std::size_t>(count));
    std::memcpy(AsyncPtr->Data.get(), Buffer, static_cast<std::size_t>(count));
    AsyncPtr->Size = count;
  }
  os::Dword done = 0;
  if (!FApi.WriteFile(FHandle.Get(), Buffer, static_cast<os::Dword>(count), &done,
                      &AsyncPtr->Overlapped)) {
    const os::Dword error = FApi.GetLastError();
    if (error != os::kErrorIoPending) RaiseComError(CE_WriteFailed, error);
  }
  NotifyLinks(&TComLink::FOnTx, true);
  return static_cast<int>(done);
}

int TCustomComPort::ReadAsync(void* Buffer, int Count, PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) {
    RaiseComError(CE_InvalidAsync, 0);
    return 0;
  }
  AsyncPtr->Kind = TOperationKind::okRead;
  AsyncPtr->Served = 0;
  AsyncPtr->FromDevice = true;
  if (!FHandle) RaiseComError(CEPortNotOpen, 0);
  const int served = TakeHeld(Buffer, Count);
  if (served >= 0 && (served >= Count || ThreadReadsDevice())) {
    AsyncPtr->Served = served;
    AsyncPtr->FromDevice = false;
    return served;
  }
  // The rest from the device, after what the thread had read.
  const int before = std::max(served, 0);
  AsyncPtr->Served = before;
  os::Dword done = 0;
  if (!FApi.ReadFile(FHandle.Get(), static_cast<char*>(Buffer) + before,
                     static_cast<os::Dword>(std::max(Count - before, 0)), &done,
                     &AsyncPtr->Overlapped)) {
    const os::Dword error = FApi.GetLastError();
    if (error != os::kErrorIoPending) RaiseComError(CE_ReadFailed, error);
  }
  return before + static_cast<int>(done);
}

int TCustomComPort::WaitForAsync(PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) {
    RaiseComError(CE_InvalidAsync, 0);
    return 0;
  }
  TAsync& record = *AsyncPtr;
  os::Dword done = 0;
  const int served = std::exchange(record.Served, 0);
  if (!std::exchange(record.FromDevice, true)) {
    if (InputCount() == 0) NotifyLinks(&TComLink::FOnRx, false);
    return served;
  }
  // Most transfers have completed by now: asking first saves waiting on the
  // event, a system call.
  bool finished = FApi.GetOverlappedResult(FHandle.Get(), &record.Overlapped, &done, 0) != 0;
  if (!finished && FApi.GetLastError() == os::kErrorIoIncomplete) {
    finished = FApi.WaitForSingleObject(record.Event.Get(), os::kInfinite) == os::kWaitObject0 &&
               FApi.GetOverlappedResult(FHandle.Get(), &record.Overlapped, &done, 0);
  }
  if (!finished) {
    RaiseComError(record.Kind == TOperationKind::okWrite ? CE_WriteFailed : CE_ReadFailed,
                  FApi.GetLastError());
    done = 0;
  }
  const std::vector<TComLink*> links = FLinks;
  if (record.Kind == TOperationKind::okRead && InputCount() == 0) {
    NotifyEach(links, &TComLink::FOnRx, false);
  } else if (record.Data) {
    NotifyEach(links, &TComLink::OnTxBuf, record.Data.get(), record.Size);
  }
  return served + static_cast<int>(done);
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr) {
  if (AsyncPtr == nullptr) {
    RaiseComError(CE_InvalidAsync, 0);
    return false;
  }
  if (!AsyncPtr->FromDevice) return true;
  os::Dword done = 0;
  if (FApi.GetOverlappedResult(FHandle.Get(), &AsyncPtr->Overlapped, &done, 0)) return true;
  const os::Dword error = FApi.GetLastError();
  if (error != os::kErrorIoPending && error != os::kErrorIoIncomplete) {
    RaiseComError(CE_AsyncCheck, error);
  }
  return false;
}

int TCustomComPort::Write(const void* Buffer, int Count) {
  AsyncGuard record(FApi);
  WriteAsync(Buffer, Count, record.Get());
  return WaitForAsync(record.Get());
}

int TCustomComPort::Read(void* Buffer, int Count) {
  AsyncGuard record(FApi);
  ReadAsync(Buffer, Count, record.Get());
  return WaitForAsync(record.Get());
}

}  // namespace quillet::serial
