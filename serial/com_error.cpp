#include "serial/com_error.h"

#include <iterator>
#include <string>

namespace quillet::serial {

namespace {

using enum TComExceptions;

struct MessageRow {
  TComExceptions error;
  const wchar_t* text;
};
// Each error beside its text, in code order.
constexpr MessageRow kMessageRows[] = {
    {CE_OpenFailed, L"Unable to open com port"},
    {CE_WriteFailed, L"WriteFile function failed"},
    {CE_ReadFailed, L"ReadFile function failed"},
    {CE_InvalidAsync, L"Invalid Async parameter"},
    {CE_PurgeFailed, L"PurgeComm function failed"},
    {CE_AsyncCheck, L"Unable to get async status"},
    {CE_SetStateFailed, L"SetCommState function failed"},
    {CE_TimeoutsFailed, L"SetCommTimeouts failed"},
    {CE_SetupComFailed, L"SetupComm function failed"},
    {CE_ClearComFailed, L"ClearCommError function failed"},
    {CE_ModemStatFailed, L"GetCommModemStatus function failed"},
    {CE_EscapeComFailed, L"EscapeCommFunction function failed"},
    {CE_TransmitFailed, L"TransmitCommChar function failed"},
    {CE_ConnChangeProp, L"Cannot set property while connected"},
    {CE_EnumPortsFailed, L"EnumPorts function failed"},
    {CE_StoreFailed, L"Failed to store settings"},
    {CE_LoadFailed, L"Failed to load settings"},
    {CE_RegFailed, L"Link (un)registration failed"},
    {CE_LedStateFailed, L"Cannot change led state if ComPort is selected"},
    {CE_ThreadCreated, L"Cannot wait for event if event thread is created"},
    {CE_WaitFailed, L"WaitForEvent method failed"},
    {CE_HasLink, L"A component is linked to OnRxBuf event"},
    {CE_RegError, L"Registry error"},
    {CEPortNotOpen, L"Port Not Open"},
};
static_assert(std::size(kMessageRows) == kComErrorCount);

constexpr bool InCodeOrder() {
  for (std::size_t i = 0; i < std::size(kMessageRows); ++i) {
    if (ComErrorCode(kMessageRows[i].error) != static_cast<int>(i) + 1) return false;
  }
  return true;
}
static_assert(InCodeOrder(), "kMessageRows must list the errors in code order");

constexpr std::array<const wchar_t*, kComErrorCount> MessageTable() {
  std::array<const wchar_t*, kComErrorCount> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = kMessageRows[i].text;
  return table;
}

}  // namespace

const std::array<const wchar_t*, kComErrorCount> ErrorMessageTable = MessageTable();

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
