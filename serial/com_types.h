// Settings enumerations, their sets and the handler types of the port engine.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace quillet::serial {

class TObject;

// A set of enumeration values, one bit per ordinal (Count values, from 0).
template <class E, int Count>
class TSet {
  static_assert(Count > 0 && Count <= 32);

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr TSet All() { return FromBits(Count == 32 ? ~0u : (1u << Count) - 1u); }
  static constexpr TSet FromBits(std::uint32_t bits) {
    TSet s;
    s.bits_ = bits & (Count == 32 ? ~0u : (1u << Count) - 1u);
    return s;
  }

  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr TSet& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr TSet& Exclude(E v) {
    bits_ &= ~Bit(v);
    return *this;
  }
  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
  friend constexpr bool operator==(TSet, TSet) = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<int>(v); }
  std::uint32_t bits_ = 0;
};

enum class TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum class TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TSyncMethod { smThreadSync, smWindowSync, smNone };
enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

enum class TComEvent {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
using TComEvents = TSet<TComEvent, 10>;

enum class TStoredProp { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
using TStoredProps = TSet<TStoredProp, 6>;

enum class TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = TSet<TComError, 8>;

enum class TComSignal { csCTS, csDSR, csRing, csRLSD };
using TComSignals = TSet<TComSignal, 4>;

// The driver's hold and state flags (COMSTAT bits 0 to 6).
enum class TComStateFlag { fCtlHold, fDsrHold, fRlsHold, fXoffHold, fXOffSent, fEof, fTxim };
using TComStateFlags = TSet<TComStateFlag, 7>;

// One value per error code, code 1 first.
enum class TComExceptions {
  CE_OpenFailed,
  CE_WriteFailed,
  CE_ReadFailed,
  CE_InvalidAsync,
  CE_PurgeFailed,
  CE_AsyncCheck,
  CE_SetStateFailed,
  CE_TimeoutsFailed,
  CE_SetupComFailed,
  CE_ClearComFailed,
  CE_ModemStatFailed,
  CE_EscapeComFailed,
  CE_TransmitFailed,
  CE_ConnChangeProp,
  CE_EnumPortsFailed,
  CE_StoreFailed,
  CE_LoadFailed,
  CE_RegFailed,
  CE_LedStateFailed,
  CE_ThreadCreated,
  CE_WaitFailed,
  CE_HasLink,
  CE_RegError,
  CEPortNotOpen
};

// Bits per second of a rate choice, the figure of its stored text
// (config/setting_names.h); 0 for brCustom.
int BaudRateValue(TBaudRate rate);

// Received bytes held on the event thread before they are handed over, so
// that a code sent a byte at a time reaches OnRxChar in one delivery instead
// of one a byte. A delivery of bytes alone waits until the terminator comes
// (the driver's event character, where the driver reports it), until no
// byte has come for quietMs, or until longestMs after the first byte,
// whichever is first. Any other event, or a line error, is handed over at
// once with the bytes held so far. Off by default: every batch goes as it
// comes.
struct TRxGathering {
  bool on = false;
  bool hasTerminator = false;
  char terminator = 0;
  std::uint32_t quietMs = 0;
  std::uint32_t longestMs = 0;
  friend bool operator==(const TRxGathering&, const TRxGathering&) = default;
};

// Handlers: may be empty; called only when assigned, the sender first.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, int Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const char* Buffer, int Count)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComExceptionEvent = std::function<void(
    TObject* Sender, TComExceptions TComException, const std::wstring& ComportMessage,
    std::int64_t WinError, const std::wstring& WinMessage)>;
// Message: the error's text; WinError: its Windows error, or -1.
using TComThreadErrorEvent =
    std::function<void(TObject* Sender, const std::wstring& Message, std::int64_t WinError)>;

}  // namespace quillet::serial
