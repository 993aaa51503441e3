// Portable spellings of the Windows vocabulary the platform seam speaks, so
// that portable code and os/sim can name handles, flags and error numbers
// exactly as the Win32 calls do without including <windows.h>.
#pragma once

#include <cstdint>

namespace quillet::os {

using Dword = std::uint32_t;
using Word = std::uint16_t;
using Byte = std::uint8_t;
using Bool = int;

// A kernel object handle. Device handles are invalid when all bits are set
// (INVALID_HANDLE_VALUE); event and mapping handles are invalid when 0.
using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandleValue = ~Handle{0};
inline constexpr Handle kNullHandle = 0;

// Window handle, carried as a number so portable code can pass it through.
using WindowHandle = std::uintptr_t;

// Windows error numbers used across the seam.
inline constexpr Dword kErrorSuccess = 0;
inline constexpr Dword kErrorFileNotFound = 2;
inline constexpr Dword kErrorPathNotFound = 3;
inline constexpr Dword kErrorAccessDenied = 5;
inline constexpr Dword kErrorInvalidHandle = 6;
inline constexpr Dword kErrorWriteProtect = 19;
inline constexpr Dword kErrorNotReady = 21;
inline constexpr Dword kErrorGenFailure = 31;
inline constexpr Dword kErrorSharingViolation = 32;
inline constexpr Dword kErrorInvalidParameter = 87;
inline constexpr Dword kErrorInvalidName = 123;
inline constexpr Dword kErrorAlreadyExists = 183;
inline constexpr Dword kErrorOperationAborted = 995;
inline constexpr Dword kErrorIoIncomplete = 996;
inline constexpr Dword kErrorIoPending = 997;
inline constexpr Dword kErrorTimeout = 1460;

}  // namespace quillet::os
