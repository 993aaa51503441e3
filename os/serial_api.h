// The platform seam for serial devices: the Windows communications calls the
// port engine needs, one to one, in Windows vocabulary (masks, flags, error
// numbers, DCB, COMMTIMEOUTS, COMSTAT, OVERLAPPED), so that call sequences can
// be checked exactly against os/sim and passed straight through in os/win32.
//
// Conventions, as in Win32: calls return Bool (0 on failure) or a Handle, and
// the reason of a failure is read with GetLastError() on the same thread.
// Overlapped calls that have started but not finished return 0 with the last
// error kErrorIoPending; they complete later, signalling the record's event.
#pragma once

#include <string>
#include <utility>

#include "os/win_types.h"

namespace quillet::os {

inline constexpr Dword kMaxDword = 0xFFFFFFFF;

// CreateFileW
inline constexpr Dword kGenericRead = 0x80000000;
inline constexpr Dword kGenericWrite = 0x40000000;
inline constexpr Dword kOpenExisting = 3;
inline constexpr Dword kFileFlagOverlapped = 0x40000000;

// PurgeComm
inline constexpr Dword kPurgeTxAbort = 0x0001;
inline constexpr Dword kPurgeRxAbort = 0x0002;
inline constexpr Dword kPurgeTxClear = 0x0004;
inline constexpr Dword kPurgeRxClear = 0x0008;

// SetCommMask / WaitCommEvent
inline constexpr Dword kEvRxChar = 0x0001;
inline constexpr Dword kEvRxFlag = 0x0002;
inline constexpr Dword kEvTxEmpty = 0x0004;
inline constexpr Dword kEvCts = 0x0008;
inline constexpr Dword kEvDsr = 0x0010;
inline constexpr Dword kEvRlsd = 0x0020;
inline constexpr Dword kEvBreak = 0x0040;
inline constexpr Dword kEvErr = 0x0080;
inline constexpr Dword kEvRing = 0x0100;
inline constexpr Dword kEvPErr = 0x0200;
inline constexpr Dword kEvRx80Full = 0x0400;

// GetCommModemStatus
inline constexpr Dword kMsCtsOn = 0x0010;
inline constexpr Dword kMsDsrOn = 0x0020;
inline constexpr Dword kMsRingOn = 0x0040;
inline constexpr Dword kMsRlsdOn = 0x0080;

// ClearCommError error word
inline constexpr Dword kCeRxOver = 0x0001;
inline constexpr Dword kCeOverrun = 0x0002;
inline constexpr Dword kCeRxParity = 0x0004;
inline constexpr Dword kCeFrame = 0x0008;
inline constexpr Dword kCeBreak = 0x0010;
inline constexpr Dword kCeTxFull = 0x0100;
inline constexpr Dword kCeIoe = 0x0400;
inline constexpr Dword kCeMode = 0x8000;

// EscapeCommFunction
inline constexpr Dword kSetXoff = 1;
inline constexpr Dword kSetXon = 2;
inline constexpr Dword kSetRts = 3;
inline constexpr Dword kClrRts = 4;
inline constexpr Dword kSetDtr = 5;
inline constexpr Dword kClrDtr = 6;
inline constexpr Dword kSetBreak = 8;
inline constexpr Dword kClrBreak = 9;

// DCB values
inline constexpr Dword kDtrControlDisable = 0;
inline constexpr Dword kDtrControlEnable = 1;
inline constexpr Dword kDtrControlHandshake = 2;
inline constexpr Dword kRtsControlDisable = 0;
inline constexpr Dword kRtsControlEnable = 1;
inline constexpr Dword kRtsControlHandshake = 2;
inline constexpr Dword kRtsControlToggle = 3;
inline constexpr Byte kNoParity = 0;
inline constexpr Byte kOddParity = 1;
inline constexpr Byte kEvenParity = 2;
inline constexpr Byte kMarkParity = 3;
inline constexpr Byte kSpaceParity = 4;
inline constexpr Byte kOneStopBit = 0;
inline constexpr Byte kOne5StopBits = 1;
inline constexpr Byte kTwoStopBits = 2;

// Error numbers of the conversions
inline constexpr Dword kErrorInsufficientBuffer = 122;
inline constexpr Dword kErrorNoUnicodeTranslation = 1113;

// Code pages
inline constexpr Dword kCpAcp = 0;
inline constexpr Dword kCpUtf8 = 65001;

// Thread priorities
inline constexpr int kThreadPriorityIdle = -15;
inline constexpr int kThreadPriorityLowest = -2;
inline constexpr int kThreadPriorityBelowNormal = -1;
inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityAboveNormal = 1;
inline constexpr int kThreadPriorityHighest = 2;
inline constexpr int kThreadPriorityTimeCritical = 15;

// Waits
inline constexpr Dword kInfinite = 0xFFFFFFFF;
inline constexpr Dword kWaitObject0 = 0;
inline constexpr Dword kWaitAbandoned0 = 0x80;
inline constexpr Dword kWaitTimeout = 258;
inline constexpr Dword kWaitFailed = 0xFFFFFFFF;

// The Windows DCB, field for field and bit for bit (28 bytes).
struct Dcb {
  Dword DCBlength = 0;
  Dword BaudRate = 0;
  Dword fBinary : 1 = 0;
  Dword fParity : 1 = 0;
  Dword fOutxCtsFlow : 1 = 0;
  Dword fOutxDsrFlow : 1 = 0;
  Dword fDtrControl : 2 = 0;
  Dword fDsrSensitivity : 1 = 0;
  Dword fTXContinueOnXoff : 1 = 0;
  Dword fOutX : 1 = 0;
  Dword fInX : 1 = 0;
  Dword fErrorChar : 1 = 0;
  Dword fNull : 1 = 0;
  Dword fRtsControl : 2 = 0;
  Dword fAbortOnError : 1 = 0;
  Dword fDummy2 : 17 = 0;
  Word wReserved = 0;
  Word XonLim = 0;
  Word XoffLim = 0;
  Byte ByteSize = 0;
  Byte Parity = 0;
  Byte StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  Word wReserved1 = 0;

  friend bool operator==(const Dcb&, const Dcb&) = default;
};
inline constexpr Dword kDcbSize = 28;
static_assert(sizeof(Dcb) == kDcbSize, "Dcb must keep the layout of the Windows DCB");

// The Windows COMMTIMEOUTS.
struct CommTimeouts {
  Dword ReadIntervalTimeout = 0;
  Dword ReadTotalTimeoutMultiplier = 0;
  Dword ReadTotalTimeoutConstant = 0;
  Dword WriteTotalTimeoutMultiplier = 0;
  Dword WriteTotalTimeoutConstant = 0;

  friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// The Windows COMSTAT: hold flags in the low bits, then the queue counts.
struct ComStat {
  Dword fCtsHold : 1 = 0;
  Dword fDsrHold : 1 = 0;
  Dword fRlsdHold : 1 = 0;
  Dword fXoffHold : 1 = 0;
  Dword fXoffSent : 1 = 0;
  Dword fEof : 1 = 0;
  Dword fTxim : 1 = 0;
  Dword fReserved : 25 = 0;
  Dword cbInQue = 0;
  Dword cbOutQue = 0;
};

// The Windows OVERLAPPED, with its layout, so os/win32 hands the caller's
// record itself to the system. The caller owns the record and its event and
// keeps both alive until the operation has completed: the system writes into
// the record when it finishes. Internal and InternalHigh belong to the system
// (status and byte count); read the result only through GetOverlappedResult.
// A zeroed record reads as a finished operation that moved 0 bytes.
struct Overlapped {
  std::uintptr_t Internal = 0;
  std::uintptr_t InternalHigh = 0;
  Dword Offset = 0;
  Dword OffsetHigh = 0;
  Handle hEvent = kNullHandle;
};

// The serial and synchronisation calls of kernel32. Security attributes,
// templates and event names are always null in this program and are left out.
class SerialApi {
 public:
  virtual ~SerialApi() = default;

  // Returns kInvalidHandleValue on failure.
  virtual Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                             Dword creationDisposition, Dword flagsAndAttributes) = 0;
  [[nodiscard]] virtual Bool SetupComm(Handle file, Dword inQueue, Dword outQueue) = 0;
  [[nodiscard]] virtual Bool SetCommState(Handle file, const Dcb& dcb) = 0;
  [[nodiscard]] virtual Bool SetCommTimeouts(Handle file, const CommTimeouts& timeouts) = 0;
  [[nodiscard]] virtual Bool SetCommMask(Handle file, Dword eventMask) = 0;
  // eventMask and overlapped must stay valid until the wait completes.
  [[nodiscard]] virtual Bool WaitCommEvent(Handle file, Dword* eventMask,
                                           Overlapped* overlapped) = 0;
  // buffer and overlapped must stay valid until the operation completes.
  [[nodiscard]] virtual Bool ReadFile(Handle file, void* buffer, Dword bytesToRead,
                                      Dword* bytesRead, Overlapped* overlapped) = 0;
  [[nodiscard]] virtual Bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite,
                                       Dword* bytesWritten, Overlapped* overlapped) = 0;
  [[nodiscard]] virtual Bool GetOverlappedResult(Handle file, Overlapped* overlapped,
                                                 Dword* bytesTransferred, Bool wait) = 0;
  [[nodiscard]] virtual Bool PurgeComm(Handle file, Dword flags) = 0;
  // errors and stat may be null.
  [[nodiscard]] virtual Bool ClearCommError(Handle file, Dword* errors, ComStat* stat) = 0;
  [[nodiscard]] virtual Bool GetCommModemStatus(Handle file, Dword* modemStatus) = 0;
  [[nodiscard]] virtual Bool EscapeCommFunction(Handle file, Dword function) = 0;
  [[nodiscard]] virtual Bool TransmitCommChar(Handle file, char ch) = 0;
  virtual Bool CloseHandle(Handle object) = 0;

  // Returns kNullHandle on failure (unlike CreateFileW).
  virtual Handle CreateEventW(Bool manualReset, Bool initialState) = 0;
  virtual Bool SetEvent(Handle event) = 0;
  virtual Bool ResetEvent(Handle event) = 0;
  virtual Dword WaitForMultipleObjects(Dword count, const Handle* handles, Bool waitAll,
                                       Dword milliseconds) = 0;
  virtual Dword WaitForSingleObject(Handle object, Dword milliseconds) = 0;

  // SetThreadPriority on the calling thread; priority is the Windows value
  // (THREAD_PRIORITY_IDLE -15 ... THREAD_PRIORITY_TIME_CRITICAL 15).
  virtual Bool SetCurrentThreadPriority(int priority) = 0;

  // Code-page conversions with the Windows conventions: a zero output size
  // asks for the size needed; the result is the number of units written (or
  // needed), 0 on failure. Wide text is UTF-16, one code unit per wchar_t.
  virtual int MultiByteToWideChar(Dword codePage, Dword flags, const char* bytes, int byteCount,
                                  wchar_t* wide, int wideCount) = 0;
  virtual int WideCharToMultiByte(Dword codePage, Dword flags, const wchar_t* wide, int wideCount,
                                  char* bytes, int byteCount) = 0;

  virtual Dword GetLastError() = 0;
  // The system's text for an error number (FormatMessageW from the system
  // table), as the system gives it, usually ending with "\r\n".
  virtual std::wstring SystemMessage(Dword error) = 0;
};

// Move-only owner of one handle of a SerialApi; Invalid is the value the
// creating call returns on failure (kInvalidHandleValue for CreateFileW,
// kNullHandle for CreateEventW).
template <Handle Invalid>
class SerialHandle {
 public:
  SerialHandle() = default;
  SerialHandle(SerialApi& api, Handle handle) : api_(&api), handle_(handle) {}
  SerialHandle(SerialHandle&& other) noexcept
      : api_(other.api_), handle_(std::exchange(other.handle_, Invalid)) {}
  SerialHandle& operator=(SerialHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      api_ = other.api_;
      handle_ = std::exchange(other.handle_, Invalid);
    }
    return *this;
  }
  SerialHandle(const SerialHandle&) = delete;
  SerialHandle& operator=(const SerialHandle&) = delete;
  ~SerialHandle() { Reset(); }

  Handle Get() const { return handle_; }
  bool Valid() const { return handle_ != Invalid; }
  explicit operator bool() const { return Valid(); }
  Handle Release() { return std::exchange(handle_, Invalid); }
  void Reset() {
    if (handle_ != Invalid && api_ != nullptr) api_->CloseHandle(handle_);
    handle_ = Invalid;
  }

 private:
  SerialApi* api_ = nullptr;
  Handle handle_ = Invalid;
};

using DeviceHandle = SerialHandle<kInvalidHandleValue>;
using EventHandle = SerialHandle<kNullHandle>;

}  // namespace quillet::os
