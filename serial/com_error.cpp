#include "serial/com_error.h"

#include <string>

namespace quillet::serial {

const std::array<const wchar_t*, kComErrorCount> ErrorMessageTable = {
    L"Unable to open com port",
    L"WriteFile function failed",
    L"ReadFile function failed",
    L"Invalid Async parameter",
    L"PurgeComm function failed",
    L"Unable to get async status",
    L"SetCommState function failed",
    L"SetCommTimeouts failed",
    L"SetupComm function failed",
    L"ClearCommError function failed",
    L"GetCommModemStatus function failed",
    L"EscapeCommFunction function failed",
    L"TransmitCommChar function failed",
    L"Cannot set property while connected",
    L"EnumPorts function failed",
    L"Failed to store settings",
    L"Failed to load settings",
    L"Link (un)registration failed",
    L"Cannot change led state if ComPort is selected",
    L"Cannot wait for event if event thread is created",
    L"WaitForEvent method failed",
    L"A component is linked to OnRxBuf event",
    L"Registry error",
    L"Port Not Open",
};

std::wstring ComErrorMessage(int code) {
  if (code < 1 || code > kComErrorCount) return std::wstring();
  return ErrorMessageTable[static_cast<std::size_t>(code - 1)];
}

TComExceptions ComExceptionOf(int code) {
  return static_cast<TComExceptions>(code - 1);
}

EComPort::EComPort(std::wstring message, int code, int winCode)
    : Exception(std::move(message)), FWinCode(winCode), FCode(code) {}

EComPort EComPort::Create(int ACode, int AWinCode) {
  return EComPort(ComErrorMessage(ACode) + L" (Error: " + std::to_wstring(AWinCode) + L")", ACode,
                  AWinCode);
}

EComPort EComPort::CreateNoWinCode(int ACode) {
  return EComPort(ComErrorMessage(ACode), ACode, -1);
}

}  // namespace quillet::serial
