// The serial seam passed straight through to kernel32.
#pragma once

#include "os/serial_api.h"

namespace quillet::os::win32 {

class Win32SerialApi final : public SerialApi {
 public:
  Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                     Dword creationDisposition, Dword flagsAndAttributes) override;
  Bool SetupComm(Handle file, Dword inQueue, Dword outQueue) override;
  Bool SetCommState(Handle file, const Dcb& dcb) override;
  Bool SetCommTimeouts(Handle file, const CommTimeouts& timeouts) override;
  Bool SetCommMask(Handle file, Dword eventMask) override;
  Bool WaitCommEvent(Handle file, Dword* eventMask, Overlapped* overlapped) override;
  Bool ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead,
                Overlapped* overlapped) override;
  Bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten,
                 Overlapped* overlapped) override;
  Bool GetOverlappedResult(Handle file, Overlapped* overlapped, Dword* bytesTransferred,
                           Bool wait) override;
  Bool PurgeComm(Handle file, Dword flags) override;
  Bool ClearCommError(Handle file, Dword* errors, ComStat* stat) override;
  Bool GetCommModemStatus(Handle file, Dword* modemStatus) override;
  Bool EscapeCommFunction(Handle file, Dword function) override;
  Bool TransmitCommChar(Handle file, char ch) override;
  Bool CloseHandle(Handle object) override;
  Handle CreateEventW(Bool manualReset, Bool initialState) override;
  Bool SetEvent(Handle event) override;
  Bool ResetEvent(Handle event) override;
  Dword WaitForMultipleObjects(Dword count, const Handle* handles, Bool waitAll,
                               Dword milliseconds) override;
  Dword WaitForSingleObject(Handle object, Dword milliseconds) override;
  Bool SetCurrentThreadPriority(int priority) override;
  int MultiByteToWideChar(Dword codePage, Dword flags, const char* bytes, int byteCount,
                          wchar_t* wide, int wideCount) override;
  int WideCharToMultiByte(Dword codePage, Dword flags, const wchar_t* wide, int wideCount,
                          char* bytes, int byteCount) override;
  Dword GetLastError() override;
  std::wstring SystemMessage(Dword error) override;
};

}  // namespace quillet::os::win32
