#include "serial/com_port.h"

#include <algorithm>
#include <string>

#include "serial/com_error.h"
#include "serial/com_thread.h"
#include "serial/port_window.h"
#include "serial/sync.h"

namespace quillet::serial {

using enum TComExceptions;

TCustomComPort::TCustomComPort(TComponent* AOwner, os::SerialApi& api)
    : TComponent(AOwner), FApi(api) {
  FParity.FComPort = this;
  FFlowControl.FComPort = this;
  FTimeouts.FComPort = this;
  FBuffer.FComPort = this;
}

TCustomComPort::~TCustomComPort() {
  // An exception leaving a destructor ends the program, and there is no
  // caller left to tell: a failure while closing is dropped here. Close
  // releases the device even when it reports an error; should a handler
  // have thrown before it got that far, the device is released below.
  try {
    Close();
  } catch (...) {
  }
  try {
    if (FThreadCreated) DestroyEventThread();
  } catch (...) {
  }
  FThreadCreated = false;
  RemoveQueuedEvents(this);
  FHandle.Reset();
  FConnected = false;
  FBuffer.FComPort = nullptr;
  FTimeouts.FComPort = nullptr;
  FFlowControl.FComPort = nullptr;
  FParity.FComPort = nullptr;
}

// --- settings -----------------------------------------------------------------

template <class T>
void TCustomComPort::SetLine(T& field, T value) {
  if (value == field) return;
  field = value;
  ApplyLineSettings();
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  SetLine(FBaudRate, value);
}
void TCustomComPort::SetCustomBaudRate(int value) {
  SetLine(FCustomBaudRate, value);
}
void TCustomComPort::SetStopBits(TStopBits value) {
  SetLine(FStopBits, value);
}
void TCustomComPort::SetDataBits(TDataBits value) {
  SetLine(FDataBits, value);
}
void TCustomComPort::SetDiscardNull(bool value) {
  SetLine(FDiscardNull, value);
}
void TCustomComPort::SetEventChar(wchar_t value) {
  SetLine(FEventChar, value);
}
void TCustomComPort::SetRxGathering(const TRxGathering& value) {
  if (value == FRxGathering) return;
  const bool eventChar = value.on && value.hasTerminator;
  const bool wasEventChar = FRxGathering.on && FRxGathering.hasTerminator;
  const bool dcbChanges =
      eventChar != wasEventChar || (eventChar && value.terminator != FRxGathering.terminator);
  FRxGathering = value;
  if (dcbChanges) ApplyLineSettings();
  if (FEventThread) FEventThread->SetGathering(value);
}
void TCustomComPort::SetRxPaused(bool value) {
  if (value == FRxPaused) return;
  FRxPaused = value;
  if (FEventThread) FEventThread->SetRxPaused(value);
}

void TCustomComPort::SetPort(const std::wstring& value) {
  if (value == FPort) return;
  FPort = value;
  if (FConnected && !Loading() && !Designing()) {
    Close();
    Open();
  }
}

void TCustomComPort::SetConnected(bool value) {
  if (Loading() || Designing()) {
    FConnected = value;
    return;
  }
  if (value == FConnected) return;
  if (value) {
    Open();
  } else {
    Close();
  }
}

void TCustomComPort::SetParity(const TComParity& value) {
  FParity.Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
  FFlowControl.Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
  FTimeouts.Assign(value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
  FBuffer.Assign(value);
  ApplyBufferSizes();
}

void TCustomComPort::SetTriggersOnRxChar(bool value) {
  if (FHasLink) RaiseComError(CE_HasLink, 0);
  FTriggersOnRxChar = value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == FSyncMethod) return;
  if (FConnected && !Loading() && !Designing()) {
    RaiseComError(CE_ConnChangeProp, 0);
    return;
  }
  FSyncMethod = value;
}

void TCustomComPort::SetEventThreadPriority(TThreadPriority value) {
  if (value == FEventThreadPriority) return;
  if (FConnected && !Loading() && !Designing()) {
    RaiseComError(CE_ConnChangeProp, 0);
    return;
  }
  FEventThreadPriority = value;
}

// --- updates and links ----------------------------------------------------------

void TCustomComPort::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) ApplyAllSettings();
}

void TCustomComPort::RegisterLink(TComLink* AComLink) {
  if (AComLink == nullptr || std::find(FLinks.begin(), FLinks.end(), AComLink) != FLinks.end()) {
    UpdateHasLink();
    RaiseComError(CE_RegFailed, 0);
    return;
  }
  FLinks.push_back(AComLink);
  UpdateHasLink();
}

void TCustomComPort::UnRegisterLink(TComLink* AComLink) {
  const auto it = std::find(FLinks.begin(), FLinks.end(), AComLink);
  if (AComLink == nullptr || it == FLinks.end()) {
    UpdateHasLink();
    RaiseComError(CE_RegFailed, 0);
    return;
  }
  FLinks.erase(it);
  UpdateHasLink();
}

void TCustomComPort::UpdateHasLink() {
  FHasLink = std::any_of(FLinks.begin(), FLinks.end(),
                         [](const TComLink* link) { return bool(link->OnRxBuf()); });
}

// --- errors -----------------------------------------------------------------------

void TCustomComPort::RaiseComError(TComExceptions error, std::int64_t winError) {
  RaiseComError(static_cast<std::uint16_t>(ComErrorCode(error)), winError);
}

void TCustomComPort::RaiseComError(std::uint16_t code, std::int64_t winError) {
  if (!FOnException) {
    if (winError > 0)
      throw EComPort::Create(code, static_cast<int>(static_cast<std::uint32_t>(winError)));
    throw EComPort::CreateNoWinCode(code);
  }
  std::wstring winMessage;
  if (winError > 0) {
    const auto error = static_cast<os::Dword>(winError);
    winMessage = L"System Error.  Code: " + std::to_wstring(static_cast<int>(error)) + L".\r\n" +
                 FApi.SystemMessage(error);
  }
  FOnException(this, ComExceptionOf(code), ComErrorMessage(code), winError, winMessage);
}

// --- loading ------------------------------------------------------------------------

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (FConnected && !Designing()) {
    FConnected = false;
    try {
      Open();
    } catch (...) {
      HandleApplicationException(std::current_exception());
    }
  }
}

// --- handlers -----------------------------------------------------------------------

void TCustomComPort::FireAfterClose() {
  if (FOnAfterClose) FOnAfterClose(this);
}
void TCustomComPort::FireAfterOpen() {
  if (FOnAfterOpen) FOnAfterOpen(this);
}
void TCustomComPort::FireBeforeClose() {
  if (FOnBeforeClose) FOnBeforeClose(this);
}
void TCustomComPort::FireBeforeOpen() {
  if (FOnBeforeOpen) FOnBeforeOpen(this);
}
void TCustomComPort::FireRxChar(int Count) {
  if (FOnRxChar) FOnRxChar(this, Count);
}
void TCustomComPort::FireRxBuf(const char* Buffer, int Count) {
  if (FOnRxBuf) FOnRxBuf(this, Buffer, Count);
}
void TCustomComPort::FireTxEmpty() {
  if (FOnTxEmpty) FOnTxEmpty(this);
}
void TCustomComPort::FireBreak() {
  if (FOnBreak) FOnBreak(this);
}
void TCustomComPort::FireRing() {
  if (FOnRing) FOnRing(this);
}
void TCustomComPort::FireRxFlag() {
  if (FOnRxFlag) FOnRxFlag(this);
}
void TCustomComPort::FireCTSChange(bool OnOff) {
  if (FOnCTSChange) FOnCTSChange(this, OnOff);
}
void TCustomComPort::FireDSRChange(bool OnOff) {
  if (FOnDSRChange) FOnDSRChange(this, OnOff);
}
void TCustomComPort::FireError(TComErrors Errors) {
  if (FOnError) FOnError(this, Errors);
}
void TCustomComPort::FireRLSDChange(bool OnOff) {
  if (FOnRLSDChange) FOnRLSDChange(this, OnOff);
}
void TCustomComPort::FireRx80Full() {
  if (FOnRx80Full) FOnRx80Full(this);
}

}  // namespace quillet::serial
