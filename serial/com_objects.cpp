#include "serial/com_objects.h"

#include "serial/com_port.h"

namespace quillet::serial {

// --- TComBuffer -------------------------------------------------------------

void TComBuffer::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComBuffer*>(&Source);
  if (other == nullptr) AssignError(Source);
  FInputSize = other->FInputSize;
  FOutputSize = other->FOutputSize;
}

namespace {
int EvenSize(int value) {
  return value > 0 && value % 2 != 0 ? value - 1 : value;
}
}  // namespace

void TComBuffer::SetInputSize(int value) {
  if (value == FInputSize) return;
  FInputSize = EvenSize(value);
  Changed();
}

void TComBuffer::SetOutputSize(int value) {
  if (value == FOutputSize) return;
  FOutputSize = EvenSize(value);
  Changed();
}

void TComBuffer::Changed() {
  if (FComPort != nullptr) FComPort->ApplyBufferSizes();
}

// --- TComParity -------------------------------------------------------------

void TComParity::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComParity*>(&Source);
  if (other == nullptr) AssignError(Source);
  FBits = other->FBits;
  FCheck = other->FCheck;
  FReplace = other->FReplace;
  FReplaceChar = other->FReplaceChar;
}

void TComParity::SetBits(TParityBits value) {
  if (value == FBits) return;
  FBits = value;
  Changed();
}

void TComParity::SetCheck(bool value) {
  if (value == FCheck) return;
  FCheck = value;
  Changed();
}

void TComParity::SetReplace(bool value) {
  if (value == FReplace) return;
  FReplace = value;
  Changed();
}

void TComParity::SetReplaceChar(wchar_t value) {
  if (value == FReplaceChar) return;
  FReplaceChar = value;
  Changed();
}

void TComParity::Changed() {
  if (FComPort != nullptr) FComPort->ApplyLineSettings();
}

// --- TComTimeouts -----------------------------------------------------------

void TComTimeouts::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComTimeouts*>(&Source);
  if (other == nullptr) AssignError(Source);
  FReadInterval = other->FReadInterval;
  FReadTotalM = other->FReadTotalM;
  FReadTotalC = other->FReadTotalC;
  FWriteTotalM = other->FWriteTotalM;
  FWriteTotalC = other->FWriteTotalC;
}

void TComTimeouts::Set(int& field, int value) {
  if (value == field) return;
  field = value;
  if (FComPort != nullptr) FComPort->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(int value) {
  Set(FReadInterval, value);
}
void TComTimeouts::SetReadTotalMultiplier(int value) {
  Set(FReadTotalM, value);
}
void TComTimeouts::SetReadTotalConstant(int value) {
  Set(FReadTotalC, value);
}
void TComTimeouts::SetWriteTotalMultiplier(int value) {
  Set(FWriteTotalM, value);
}
void TComTimeouts::SetWriteTotalConstant(int value) {
  Set(FWriteTotalC, value);
}

// --- TComFlowControl --------------------------------------------------------

void TComFlowControl::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComFlowControl*>(&Source);
  if (other == nullptr) AssignError(Source);
  FOutCTSFlow = other->FOutCTSFlow;
  FOutDSRFlow = other->FOutDSRFlow;
  FControlDTR = other->FControlDTR;
  FControlRTS = other->FControlRTS;
  FXonXoffOut = other->FXonXoffOut;
  FXonXoffIn = other->FXonXoffIn;
  FDSRSensitivity = other->FDSRSensitivity;
  FTxContinueOnXoff = other->FTxContinueOnXoff;
  FXonChar = other->FXonChar;
  FXoffChar = other->FXoffChar;
}

namespace {

struct Preset {
  TFlowControl kind;
  TRTSFlowControl controlRTS;
  bool outCTSFlow;
  bool xonXoffIn;
  bool xonXoffOut;
};

// In the order in which reading matches them.
constexpr Preset kPresets[] = {
    {TFlowControl::fcHardware, TRTSFlowControl::rtsHandshake, true, false, false},
    {TFlowControl::fcSoftware, TRTSFlowControl::rtsDisable, false, true, true},
    {TFlowControl::fcNone, TRTSFlowControl::rtsDisable, false, false, false},
};

}  // namespace

TFlowControl TComFlowControl::FlowControl() const {
  for (const Preset& p : kPresets) {
    if (FControlRTS == p.controlRTS && FOutCTSFlow == p.outCTSFlow && FXonXoffIn == p.xonXoffIn &&
        FXonXoffOut == p.xonXoffOut) {
      return p.kind;
    }
  }
  return TFlowControl::fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  for (const Preset& p : kPresets) {
    if (p.kind == value) {
      FControlRTS = p.controlRTS;
      FOutCTSFlow = p.outCTSFlow;
      FXonXoffIn = p.xonXoffIn;
      FXonXoffOut = p.xonXoffOut;
    }
  }
  Changed();
}

template <class T>
void TComFlowControl::Set(T& field, T value) {
  if (value == field) return;
  field = value;
  Changed();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
  Set(FOutCTSFlow, value);
}
void TComFlowControl::SetOutDSRFlow(bool value) {
  Set(FOutDSRFlow, value);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
  Set(FControlDTR, value);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
  Set(FControlRTS, value);
}
void TComFlowControl::SetXonXoffOut(bool value) {
  Set(FXonXoffOut, value);
}
void TComFlowControl::SetXonXoffIn(bool value) {
  Set(FXonXoffIn, value);
}
void TComFlowControl::SetDSRSensitivity(bool value) {
  Set(FDSRSensitivity, value);
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
  Set(FTxContinueOnXoff, value);
}
void TComFlowControl::SetXonChar(wchar_t value) {
  Set(FXonChar, value);
}
void TComFlowControl::SetXoffChar(wchar_t value) {
  Set(FXoffChar, value);
}

void TComFlowControl::Changed() {
  if (FComPort != nullptr) FComPort->ApplyLineSettings();
}

}  // namespace quillet::serial
