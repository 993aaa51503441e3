// The scanner's end of a null-modem pair, sending as a scanner at 9600 bit/s
// does: a byte about every millisecond, never a whole code at once.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::e2e {

class Scanner {
 public:
  explicit Scanner(const wchar_t* port)
      : handle_(CreateFileW((std::wstring(L"\\\\.\\") + port).c_str(), GENERIC_READ | GENERIC_WRITE,
                            0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Scanner() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  bool Send(char byte) {
    DWORD written = 0;
    return handle_ != INVALID_HANDLE_VALUE && WriteFile(handle_, &byte, 1, &written, nullptr) &&
           written == 1;
  }
  bool Scan(const std::string& barcode) {
    for (const char byte : barcode) {
      if (!Send(byte)) return false;
      Sleep(1);
    }
    return true;
  }

 private:
  HANDLE handle_;
};

}  // namespace quillet::e2e
