// The error of port operations, with its code (1 to 24) and Windows error.
// Code n is the TComExceptions value of ordinal n - 1: the port names its
// errors by that enumeration, handlers and stored figures see the numbers.
#pragma once

#include <array>
#include <string>

#include "os/exception.h"
#include "serial/com_types.h"

namespace quillet::serial {

inline constexpr int kComErrorCount = 24;
static_assert(static_cast<int>(TComExceptions::CEPortNotOpen) + 1 == kComErrorCount,
              "one code per TComExceptions value");

// The number of an error, 1 to 24.
constexpr int ComErrorCode(TComExceptions error) {
  return static_cast<int>(error) + 1;
}

// The message of each error code; index 0 holds code 1.
extern const std::array<const wchar_t*, kComErrorCount> ErrorMessageTable;

// The message of a code from 1 to 24; empty for any other.
std::wstring ComErrorMessage(int code);
// The TComExceptions value of a code from 1 to 24.
TComExceptions ComExceptionOf(int code);

class EComPort : public Exception {
 public:
  // Message: the code's text followed by " (Error: <AWinCode>)".
  static EComPort Create(int ACode, int AWinCode);
  static EComPort Create(TComExceptions AError, int AWinCode) {
    return Create(ComErrorCode(AError), AWinCode);
  }
  // Message: the code's text alone; WinCode -1.
  static EComPort CreateNoWinCode(int ACode);
  static EComPort CreateNoWinCode(TComExceptions AError) {
    return CreateNoWinCode(ComErrorCode(AError));
  }

  int Code() const { return FCode; }
  int WinCode() const { return FWinCode; }

 private:
  EComPort(std::wstring message, int code, int winCode);

  int FWinCode;
  int FCode;
};

}  // namespace quillet::serial
