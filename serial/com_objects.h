// The settings sub-objects a port owns (queue sizes, parity, time-outs, flow
// control) and the link another object registers with a port. A setter that
// changes a value hands its group to the owning port, which applies it to
// the device when that is open.
#pragma once

#include "serial/com_types.h"
#include "serial/component.h"

namespace quillet::serial {

class TCustomComPort;

class TComBuffer : public TPersistent {
 public:
  TComBuffer() = default;
  std::wstring ClassName() const override { return L"TComBuffer"; }
  void Assign(const TPersistent& Source) override;
  TCustomComPort* ComPort() const { return FComPort; }

  int InputSize() const { return FInputSize; }
  // An odd positive size is stored one less: the driver's queues are even.
  void SetInputSize(int value);
  int OutputSize() const { return FOutputSize; }
  void SetOutputSize(int value);

 private:
  friend class TCustomComPort;
  void Changed();

  TCustomComPort* FComPort = nullptr;
  int FInputSize = 1024;
  int FOutputSize = 1024;
};

class TComParity : public TPersistent {
 public:
  TComParity() = default;
  std::wstring ClassName() const override { return L"TComParity"; }
  void Assign(const TPersistent& Source) override;
  TCustomComPort* ComPort() const { return FComPort; }

  TParityBits Bits() const { return FBits; }
  void SetBits(TParityBits value);
  bool Check() const { return FCheck; }
  void SetCheck(bool value);
  bool Replace() const { return FReplace; }
  void SetReplace(bool value);
  // Only the low 8 bits reach the device.
  wchar_t ReplaceChar() const { return FReplaceChar; }
  void SetReplaceChar(wchar_t value);

 private:
  friend class TCustomComPort;
  void Changed();

  TCustomComPort* FComPort = nullptr;
  TParityBits FBits = TParityBits::prNone;
  bool FCheck = false;
  bool FReplace = false;
  wchar_t FReplaceChar = 0;
};

// Milliseconds; -1 stands for MAXDWORD on the device.
class TComTimeouts : public TPersistent {
 public:
  TComTimeouts() = default;
  std::wstring ClassName() const override { return L"TComTimeouts"; }
  void Assign(const TPersistent& Source) override;
  TCustomComPort* ComPort() const { return FComPort; }

  int ReadInterval() const { return FReadInterval; }
  void SetReadInterval(int value);
  int ReadTotalMultiplier() const { return FReadTotalM; }
  void SetReadTotalMultiplier(int value);
  int ReadTotalConstant() const { return FReadTotalC; }
  void SetReadTotalConstant(int value);
  int WriteTotalMultiplier() const { return FWriteTotalM; }
  void SetWriteTotalMultiplier(int value);
  int WriteTotalConstant() const { return FWriteTotalC; }
  void SetWriteTotalConstant(int value);

 private:
  friend class TCustomComPort;
  void Changed();
  void Set(int& field, int value);

  TCustomComPort* FComPort = nullptr;
  int FReadInterval = -1;
  int FReadTotalM = 0;
  int FReadTotalC = 0;
  int FWriteTotalM = 100;
  int FWriteTotalC = 1000;
};

class TComFlowControl : public TPersistent {
 public:
  TComFlowControl() = default;
  std::wstring ClassName() const override { return L"TComFlowControl"; }
  void Assign(const TPersistent& Source) override;
  TCustomComPort* ComPort() const { return FComPort; }

  // Derived from ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut: the first
  // matching preset of fcHardware, fcSoftware, fcNone, else fcCustom. Writing
  // a preset sets those four fields; fcCustom changes nothing. Either way the
  // line settings are applied again.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl value);

  bool OutCTSFlow() const { return FOutCTSFlow; }
  void SetOutCTSFlow(bool value);
  bool OutDSRFlow() const { return FOutDSRFlow; }
  void SetOutDSRFlow(bool value);
  TDTRFlowControl ControlDTR() const { return FControlDTR; }
  void SetControlDTR(TDTRFlowControl value);
  TRTSFlowControl ControlRTS() const { return FControlRTS; }
  void SetControlRTS(TRTSFlowControl value);
  bool XonXoffOut() const { return FXonXoffOut; }
  void SetXonXoffOut(bool value);
  bool XonXoffIn() const { return FXonXoffIn; }
  void SetXonXoffIn(bool value);
  bool DSRSensitivity() const { return FDSRSensitivity; }
  void SetDSRSensitivity(bool value);
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetTxContinueOnXoff(bool value);
  // Only the low 8 bits reach the device.
  wchar_t XonChar() const { return FXonChar; }
  void SetXonChar(wchar_t value);
  wchar_t XoffChar() const { return FXoffChar; }
  void SetXoffChar(wchar_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  template <class T>
  void Set(T& field, T value);

  TCustomComPort* FComPort = nullptr;
  bool FOutCTSFlow = false;
  bool FOutDSRFlow = false;
  TDTRFlowControl FControlDTR = TDTRFlowControl::dtrDisable;
  TRTSFlowControl FControlRTS = TRTSFlowControl::rtsDisable;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  wchar_t FXonChar = 17;
  wchar_t FXoffChar = 19;
};

// A notification sink registered with a port (RegisterLink). The port calls
// the assigned handlers around its own ones; the links stay the caller's.
class TComLink : public TObject {
 public:
  std::wstring ClassName() const override { return L"TComLink"; }

  const TComSignalEvent& OnConn() const { return FOnConn; }
  void SetOnConn(TComSignalEvent value) { FOnConn = std::move(value); }
  const TRxBufEvent& OnRxBuf() const { return FOnRxBuf; }
  void SetOnRxBuf(TRxBufEvent value) { FOnRxBuf = std::move(value); }
  const TRxBufEvent& OnTxBuf() const { return FOnTxBuf; }
  void SetOnTxBuf(TRxBufEvent value) { FOnTxBuf = std::move(value); }
  const TNotifyEvent& OnTxEmpty() const { return FOnTxEmpty; }
  void SetOnTxEmpty(TNotifyEvent value) { FOnTxEmpty = std::move(value); }
  const TNotifyEvent& OnRxFlag() const { return FOnRxFlag; }
  void SetOnRxFlag(TNotifyEvent value) { FOnRxFlag = std::move(value); }
  const TComSignalEvent& OnCTSChange() const { return FOnCTSChange; }
  void SetOnCTSChange(TComSignalEvent value) { FOnCTSChange = std::move(value); }
  const TComSignalEvent& OnDSRChange() const { return FOnDSRChange; }
  void SetOnDSRChange(TComSignalEvent value) { FOnDSRChange = std::move(value); }
  const TComSignalEvent& OnRLSDChange() const { return FOnRLSDChange; }
  void SetOnRLSDChange(TComSignalEvent value) { FOnRLSDChange = std::move(value); }
  const TNotifyEvent& OnRing() const { return FOnRing; }
  void SetOnRing(TNotifyEvent value) { FOnRing = std::move(value); }

  // Transmit and receive activity; no property, set directly.
  TComSignalEvent FOnTx;
  TComSignalEvent FOnRx;

 private:
  TComSignalEvent FOnConn;
  TRxBufEvent FOnRxBuf;
  TRxBufEvent FOnTxBuf;
  TNotifyEvent FOnTxEmpty;
  TNotifyEvent FOnRxFlag;
  TComSignalEvent FOnCTSChange;
  TComSignalEvent FOnDSRChange;
  TComSignalEvent FOnRLSDChange;
  TNotifyEvent FOnRing;
};

}  // namespace quillet::serial
