// Queries of the driver's state and control of the lines: one system call
// each, each with its own error code.
#include "serial/com_port.h"
#include "serial/com_thread.h"

namespace quillet::serial {

using enum TComExceptions;

namespace {

struct ErrorRow {
  os::Dword flag;
  TComError error;
};
constexpr ErrorRow kErrorRows[] = {
    {os::kCeFrame, TComError::ceFrame},     {os::kCeRxParity, TComError::ceRxParity},
    {os::kCeOverrun, TComError::ceOverrun}, {os::kCeBreak, TComError::ceBreak},
    {os::kCeIoe, TComError::ceIO},          {os::kCeMode, TComError::ceMode},
    {os::kCeRxOver, TComError::ceRxOver},   {os::kCeTxFull, TComError::ceTxFull}};

}  // namespace

bool TCustomComPort::ReadComStat(os::ComStat& stat) {
  // The call clears the line errors too: they are kept for LastErrors, so
  // asking how many bytes wait never hides an overrun.
  os::Dword errors = 0;
  if (!FApi.ClearCommError(FHandle.Get(), &errors, &stat)) return false;
  if (errors != 0) FTakenErrors |= errors;
  return true;
}

int TCustomComPort::InputCount() {
  int held = 0;
  {
    const std::lock_guard<std::mutex> guard(FHeldLock);
    held = static_cast<int>(FHeld.size());
  }
  // A scan the event thread is reading has arrived all the same: a caller
  // asking whether more of it came must not be told no.
  if (ThreadReadsDevice()) held += static_cast<int>(FEventThread->BytesHeldBack());
  os::ComStat stat;
  if (!ReadComStat(stat)) {
    RaiseComError(CE_ClearComFailed, FApi.GetLastError());
    return 0;
  }
  return held + static_cast<int>(stat.cbInQue);
}

int TCustomComPort::ReadableCount() {
  if (!ThreadReadsDevice()) return InputCount();
  // The rest comes with the thread's next delivery.
  const std::lock_guard<std::mutex> guard(FHeldLock);
  return static_cast<int>(FHeld.size());
}

int TCustomComPort::OutputCount() {
  os::ComStat stat;
  if (!ReadComStat(stat)) {
    RaiseComError(CE_ClearComFailed, FApi.GetLastError());
    return 0;
  }
  return static_cast<int>(stat.cbOutQue);
}

TComStateFlags TCustomComPort::StateFlags() {
  os::ComStat stat;
  if (!ReadComStat(stat)) {
    RaiseComError(CE_ClearComFailed, FApi.GetLastError());
    return {};
  }
  TComStateFlags flags;
  if (stat.fCtsHold) flags.Include(TComStateFlag::fCtlHold);
  if (stat.fDsrHold) flags.Include(TComStateFlag::fDsrHold);
  if (stat.fRlsdHold) flags.Include(TComStateFlag::fRlsHold);
  if (stat.fXoffHold) flags.Include(TComStateFlag::fXoffHold);
  if (stat.fXoffSent) flags.Include(TComStateFlag::fXOffSent);
  if (stat.fEof) flags.Include(TComStateFlag::fEof);
  if (stat.fTxim) flags.Include(TComStateFlag::fTxim);
  return flags;
}

TComErrors TCustomComPort::LastErrors() {
  os::Dword word = 0;
  os::ComStat stat;
  if (!FApi.ClearCommError(FHandle.Get(), &word, &stat)) {
    RaiseComError(CE_ClearComFailed, FApi.GetLastError());
    return {};
  }
  word |= FTakenErrors.exchange(0);
  TComErrors errors;
  for (const ErrorRow& row : kErrorRows) {
    if (word & row.flag) errors.Include(row.error);
  }
  // The driver flags parity errors even when nobody asked it to check.
  if (!FParity.Check()) errors.Exclude(TComError::ceRxParity);
  return errors;
}

TComSignals TCustomComPort::Signals() {
  os::Dword status = 0;
  if (!FApi.GetCommModemStatus(FHandle.Get(), &status)) {
    RaiseComError(CE_ModemStatFailed, FApi.GetLastError());
    return {};
  }
  return SignalsOf(status);
}

TComSignals TCustomComPort::SignalsOf(os::Dword status) {
  TComSignals s;
  if (status & os::kMsCtsOn) s.Include(TComSignal::csCTS);
  if (status & os::kMsDsrOn) s.Include(TComSignal::csDSR);
  if (status & os::kMsRingOn) s.Include(TComSignal::csRing);
  if (status & os::kMsRlsdOn) s.Include(TComSignal::csRLSD);
  return s;
}

void TCustomComPort::SetDTR(bool OnOff) {
  if (!FApi.EscapeCommFunction(FHandle.Get(), OnOff ? os::kSetDtr : os::kClrDtr))
    RaiseComError(CE_EscapeComFailed, FApi.GetLastError());
}

void TCustomComPort::SetRTS(bool OnOff) {
  if (!FApi.EscapeCommFunction(FHandle.Get(), OnOff ? os::kSetRts : os::kClrRts))
    RaiseComError(CE_EscapeComFailed, FApi.GetLastError());
}

void TCustomComPort::SetXonXoff(bool OnOff) {
  if (!FApi.EscapeCommFunction(FHandle.Get(), OnOff ? os::kSetXon : os::kSetXoff))
    RaiseComError(CE_EscapeComFailed, FApi.GetLastError());
}

void TCustomComPort::SetBreak(bool OnOff) {
  if (!FApi.EscapeCommFunction(FHandle.Get(), OnOff ? os::kSetBreak : os::kClrBreak))
    RaiseComError(CE_EscapeComFailed, FApi.GetLastError());
}

void TCustomComPort::ClearBuffer(bool Input, bool Output) {
  if (Input) {
    const std::lock_guard<std::mutex> guard(FHeldLock);
    FHeld.clear();
  }
  os::Dword flags = 0;
  if (Input) flags |= os::kPurgeRxClear;
  if (Output) flags |= os::kPurgeTxClear;
  if (!FApi.PurgeComm(FHandle.Get(), flags)) RaiseComError(CE_PurgeFailed, FApi.GetLastError());
}

void TCustomComPort::TransmitChar(wchar_t Ch) {
  const char byte = static_cast<char>(static_cast<unsigned char>(Ch & 0xFF));
  if (!FApi.TransmitCommChar(FHandle.Get(), byte)) {
    RaiseComError(CE_TransmitFailed, FApi.GetLastError());
  }
}

void TCustomComPort::AbortAllAsync() {
  if (!FApi.PurgeComm(FHandle.Get(), os::kPurgeTxAbort | os::kPurgeRxAbort))
    RaiseComError(CE_PurgeFailed, FApi.GetLastError());
}

}  // namespace quillet::serial
