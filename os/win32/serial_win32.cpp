#include "os/win32/serial_win32.h"

#include <windows.h>

#include <array>
#include <cstddef>

namespace quillet::os::win32 {

namespace {

// The caller's Overlapped record is handed to the system as it is, so the
// system can complete into it after the call has returned.
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(Overlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(Dcb) == sizeof(DCB));
static_assert(sizeof(ComStat) == sizeof(COMSTAT));
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS));

HANDLE H(Handle h) {
  return reinterpret_cast<HANDLE>(h);
}
Handle FromH(HANDLE h) {
  return reinterpret_cast<Handle>(h);
}
OVERLAPPED* Ov(Overlapped* ov) {
  return reinterpret_cast<OVERLAPPED*>(ov);
}

// Bit-field placement is the compiler's business, so the DCB is copied field
// by field rather than by memory image.
DCB ToDcb(const Dcb& d) {
  DCB w{};
  w.DCBlength = d.DCBlength;
  w.BaudRate = d.BaudRate;
  w.fBinary = d.fBinary;
  w.fParity = d.fParity;
  w.fOutxCtsFlow = d.fOutxCtsFlow;
  w.fOutxDsrFlow = d.fOutxDsrFlow;
  w.fDtrControl = d.fDtrControl;
  w.fDsrSensitivity = d.fDsrSensitivity;
  w.fTXContinueOnXoff = d.fTXContinueOnXoff;
  w.fOutX = d.fOutX;
  w.fInX = d.fInX;
  w.fErrorChar = d.fErrorChar;
  w.fNull = d.fNull;
  w.fRtsControl = d.fRtsControl;
  w.fAbortOnError = d.fAbortOnError;
  w.fDummy2 = d.fDummy2;
  w.wReserved = d.wReserved;
  w.XonLim = d.XonLim;
  w.XoffLim = d.XoffLim;
  w.ByteSize = d.ByteSize;
  w.Parity = d.Parity;
  w.StopBits = d.StopBits;
  w.XonChar = d.XonChar;
  w.XoffChar = d.XoffChar;
  w.ErrorChar = d.ErrorChar;
  w.EofChar = d.EofChar;
  w.EvtChar = d.EvtChar;
  w.wReserved1 = d.wReserved1;
  return w;
}

}  // namespace

Handle Win32SerialApi::CreateFileW(const std::wstring& fileName, Dword desiredAccess,
                                   Dword shareMode, Dword creationDisposition,
                                   Dword flagsAndAttributes) {
  return FromH(::CreateFileW(fileName.c_str(), desiredAccess, shareMode, nullptr,
                             creationDisposition, flagsAndAttributes, nullptr));
}

Bool Win32SerialApi::SetupComm(Handle file, Dword inQueue, Dword outQueue) {
  return ::SetupComm(H(file), inQueue, outQueue);
}

Bool Win32SerialApi::SetCommState(Handle file, const Dcb& dcb) {
  DCB w = ToDcb(dcb);
  return ::SetCommState(H(file), &w);
}

Bool Win32SerialApi::SetCommTimeouts(Handle file, const CommTimeouts& t) {
  COMMTIMEOUTS w{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                 t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
  return ::SetCommTimeouts(H(file), &w);
}

Bool Win32SerialApi::SetCommMask(Handle file, Dword eventMask) {
  return ::SetCommMask(H(file), eventMask);
}

Bool Win32SerialApi::WaitCommEvent(Handle file, Dword* eventMask, Overlapped* overlapped) {
  // The system writes the mask when the wait completes, after this call has
  // returned, so the caller's own variable must be handed over.
  static_assert(sizeof(Dword) == sizeof(DWORD));
  return ::WaitCommEvent(H(file), reinterpret_cast<DWORD*>(eventMask), Ov(overlapped));
}

Bool Win32SerialApi::ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead,
                              Overlapped* overlapped) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(H(file), buffer, bytesToRead, &n, Ov(overlapped));
  if (bytesRead != nullptr) *bytesRead = n;
  return ok;
}

Bool Win32SerialApi::WriteFile(Handle file, const void* buffer, Dword bytesToWrite,
                               Dword* bytesWritten, Overlapped* overlapped) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(H(file), buffer, bytesToWrite, &n, Ov(overlapped));
  if (bytesWritten != nullptr) *bytesWritten = n;
  return ok;
}

Bool Win32SerialApi::GetOverlappedResult(Handle file, Overlapped* overlapped,
                                         Dword* bytesTransferred, Bool wait) {
  DWORD n = 0;
  const BOOL ok = ::GetOverlappedResult(H(file), Ov(overlapped), &n, wait);
  if (bytesTransferred != nullptr) *bytesTransferred = n;
  return ok;
}

Bool Win32SerialApi::PurgeComm(Handle file, Dword flags) {
  return ::PurgeComm(H(file), flags);
}

Bool Win32SerialApi::ClearCommError(Handle file, Dword* errors, ComStat* stat) {
  COMSTAT w{};
  DWORD e = 0;
  const BOOL ok = ::ClearCommError(H(file), &e, stat ? &w : nullptr);
  if (ok && errors) *errors = e;
  if (ok && stat) {
    *stat = ComStat{};
    stat->fCtsHold = w.fCtsHold;
    stat->fDsrHold = w.fDsrHold;
    stat->fRlsdHold = w.fRlsdHold;
    stat->fXoffHold = w.fXoffHold;
    stat->fXoffSent = w.fXoffSent;
    stat->fEof = w.fEof;
    stat->fTxim = w.fTxim;
    stat->fReserved = w.fReserved;
    stat->cbInQue = w.cbInQue;
    stat->cbOutQue = w.cbOutQue;
  }
  return ok;
}

Bool Win32SerialApi::GetCommModemStatus(Handle file, Dword* modemStatus) {
  DWORD status = 0;
  const BOOL ok = ::GetCommModemStatus(H(file), &status);
  if (ok && modemStatus != nullptr) *modemStatus = status;
  return ok;
}

Bool Win32SerialApi::EscapeCommFunction(Handle file, Dword function) {
  return ::EscapeCommFunction(H(file), function);
}

Bool Win32SerialApi::TransmitCommChar(Handle file, char ch) {
  return ::TransmitCommChar(H(file), ch);
}

Bool Win32SerialApi::CloseHandle(Handle object) {
  return ::CloseHandle(H(object));
}

Handle Win32SerialApi::CreateEventW(Bool manualReset, Bool initialState) {
  return FromH(::CreateEventW(nullptr, manualReset, initialState, nullptr));
}

Bool Win32SerialApi::SetEvent(Handle event) {
  return ::SetEvent(H(event));
}

Bool Win32SerialApi::ResetEvent(Handle event) {
  return ::ResetEvent(H(event));
}

Dword Win32SerialApi::WaitForMultipleObjects(Dword count, const Handle* handles, Bool waitAll,
                                             Dword milliseconds) {
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> list{};
  if (count > list.size()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  for (Dword i = 0; i < count; ++i) list[i] = H(handles[i]);
  return ::WaitForMultipleObjects(count, list.data(), waitAll, milliseconds);
}

Dword Win32SerialApi::WaitForSingleObject(Handle object, Dword milliseconds) {
  return ::WaitForSingleObject(H(object), milliseconds);
}

Bool Win32SerialApi::SetCurrentThreadPriority(int priority) {
  return ::SetThreadPriority(::GetCurrentThread(), priority);
}

int Win32SerialApi::MultiByteToWideChar(Dword codePage, Dword flags, const char* bytes,
                                        int byteCount, wchar_t* wide, int wideCount) {
  return ::MultiByteToWideChar(codePage, flags, bytes, byteCount, wide, wideCount);
}

int Win32SerialApi::WideCharToMultiByte(Dword codePage, Dword flags, const wchar_t* wide,
                                        int wideCount, char* bytes, int byteCount) {
  return ::WideCharToMultiByte(codePage, flags, wide, wideCount, bytes, byteCount, nullptr,
                               nullptr);
}

Dword Win32SerialApi::GetLastError() {
  return ::GetLastError();
}

std::wstring Win32SerialApi::SystemMessage(Dword error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result =
      length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) ::LocalFree(text);
  return result;
}

}  // namespace quillet::os::win32
