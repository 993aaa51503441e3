// A COM port opened with bare Win32 calls, for the far end of a null-modem
// pair in tests and for the benchmarks' baselines: overlapped, 9600 8N1,
// binary, the given time-outs, both queues purged.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::testsupport {

// `name` is "COM7" or "\\.\COM7". INVALID_HANDLE_VALUE when it cannot be opened.
inline HANDLE OpenRawComPort(const std::wstring& name, COMMTIMEOUTS timeouts) {
  const std::wstring path = name.rfind(L"\\\\.\\", 0) == 0 ? name : L"\\\\.\\" + name;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  BuildCommDCBW(L"baud=9600 parity=N data=8 stop=1", &dcb);
  dcb.fBinary = TRUE;
  SetCommState(h, &dcb);
  SetCommTimeouts(h, &timeouts);
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return h;
}

}  // namespace quillet::testsupport
