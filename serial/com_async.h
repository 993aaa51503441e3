// The record of one asynchronous read or write: the OVERLAPPED the system
// completes, the kind of operation, and a copy of the bytes being written
// (for the links' FOnTxBuf). The caller owns a record from AllocAsync to
// FreeAsync; the record owns its event and its copy.
#pragma once

#include <memory>

#include "os/serial_api.h"

namespace quillet::serial {

enum class TOperationKind { okWrite, okRead };

struct TAsync {
  // First, so the record's address is the OVERLAPPED's. Its hEvent is the
  // record's manual-reset event, created signalled: a record that never
  // started an operation reads as finished.
  os::Overlapped Overlapped{};
  TOperationKind Kind = TOperationKind::okWrite;
  std::unique_ptr<char[]> Data;  // copy of the written bytes, or null
  int Size = 0;                  // bytes in Data
  os::EventHandle Event;         // owns Overlapped.hEvent
  // A read takes the bytes the event thread read first: how many it took,
  // and whether the device was asked for the rest.
  int Served = 0;
  bool FromDevice = true;
};
using PAsync = TAsync*;

// Creates a record and stores it in AsyncPtr.
void AllocAsync(PAsync& AsyncPtr, os::SerialApi& api);
// Releases the record (its event and copy) and sets AsyncPtr to null.
void FreeAsync(PAsync& AsyncPtr);

// A record for one blocking transfer, freed whatever way the transfer
// leaves (a failure raised, or a handler's exception).
class AsyncGuard {
 public:
  explicit AsyncGuard(os::SerialApi& api) { AllocAsync(record_, api); }
  ~AsyncGuard() { FreeAsync(record_); }
  AsyncGuard(const AsyncGuard&) = delete;
  AsyncGuard& operator=(const AsyncGuard&) = delete;
  PAsync& Get() { return record_; }

 private:
  PAsync record_ = nullptr;
};

}  // namespace quillet::serial
