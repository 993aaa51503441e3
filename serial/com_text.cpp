// Texts as bytes: one byte per character (WriteStr, ReadStr), or through the
// port's code page (WriteUnicodeString, ReadUnicodeString).
#include <memory>
#include <string>
#include <vector>

#include "serial/com_port.h"

namespace quillet::serial {

using enum TComExceptions;

int TCustomComPort::WriteStrAsync(std::wstring& Str, PAsync& AsyncPtr) {
  if (Str.empty()) return 0;
  const std::size_t n = Str.size();
  // Byte i lands at offset i, never beyond code unit i, which was read first.
  char* bytes = reinterpret_cast<char*>(Str.data());
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<char>(static_cast<unsigned char>(Str[i] & 0xFF));
  }
  return WriteAsync(bytes, static_cast<int>(n), AsyncPtr);
}

int TCustomComPort::ReadStrAsync(std::string& Str, int Count, PAsync& AsyncPtr) {
  Str.assign(Count > 0 ? static_cast<std::size_t>(Count) : 0, '\0');
  if (Count <= 0) return 0;
  return ReadAsync(Str.data(), Count, AsyncPtr);
}

int TCustomComPort::WriteStr(std::wstring Str) {
  AsyncGuard record(FApi);
  WriteStrAsync(Str, record.Get());
  return WaitForAsync(record.Get());
}

int TCustomComPort::ReadStr(std::wstring& Str, int Count) {
  std::string bytes;
  int n = 0;
  {
    AsyncGuard record(FApi);
    ReadStrAsync(bytes, Count, record.Get());
    n = WaitForAsync(record.Get());
  }
  if (n < 0 || static_cast<std::size_t>(n) > bytes.size()) n = 0;
  Str.assign(static_cast<std::size_t>(n), L'\0');
  for (int i = 0; i < n; ++i) {
    Str[static_cast<std::size_t>(i)] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
  }
  return n;
}

int TCustomComPort::WriteUnicodeString(const std::wstring& Str) {
  if (Str.empty()) return 0;
  const int units = static_cast<int>(Str.size());
  const int size = FApi.WideCharToMultiByte(FCodePage, 0, Str.data(), units, nullptr, 0);
  std::vector<char> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
  if (size <= 0 ||
      FApi.WideCharToMultiByte(FCodePage, 0, Str.data(), units, bytes.data(), size) != size) {
    // Nothing that could be sent: a write that failed, not one of 0 bytes.
    RaiseComError(CE_WriteFailed, FApi.GetLastError());
    return 0;
  }
  return Write(bytes.data(), size);
}

int TCustomComPort::ReadUnicodeString(std::wstring& Str, int Count) {
  std::vector<char> bytes(static_cast<std::size_t>(Count > 0 ? Count : 0));
  const int n = Count > 0 ? Read(bytes.data(), Count) : 0;
  Str.clear();
  if (n <= 0) return 0;
  const int units = FApi.MultiByteToWideChar(FCodePage, 0, bytes.data(), n, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units <= 0 ||
      FApi.MultiByteToWideChar(FCodePage, 0, bytes.data(), n, text.data(), units) != units) {
    RaiseComError(CE_ReadFailed, FApi.GetLastError());
    return 0;
  }
  Str = std::move(text);
  return units;
}

}  // namespace quillet::serial
