// The profile-file half of the platform seam: the two kernel32 calls through
// which the configuration file is read and written, one value at a time, so
// that every rule of the file format stays the system's own.
#pragma once

#include <string>

#include "os/win_types.h"

namespace quillet::os {

// The buffer every reader of the configuration file hands the system.
inline constexpr Dword kProfileBufferSize = 2048;

// What GetPrivateProfileStringW leaves in a buffer of the size asked for: the
// string (at most bufferSize - 1 characters) and the count it returns.
struct ProfileString {
  std::wstring value;
  Dword count = 0;
};

// WritePrivateProfileStringW's result; error is GetLastError() after a
// failure and meaningless after a success.
struct ProfileWriteResult {
  bool ok = false;
  Dword error = kErrorSuccess;
};

class ProfileApi {
 public:
  virtual ~ProfileApi() = default;

  // The file must be a full path: the system looks for bare names elsewhere.
  virtual ProfileString GetPrivateProfileStringW(const std::wstring& section,
                                                 const std::wstring& key,
                                                 const std::wstring& defaultValue, Dword bufferSize,
                                                 const std::wstring& file) = 0;
  virtual ProfileWriteResult WritePrivateProfileStringW(const std::wstring& section,
                                                        const std::wstring& key,
                                                        const std::wstring& value,
                                                        const std::wstring& file) = 0;
  // WritePrivateProfileStringW(section, NULL, NULL, file): removes the
  // section with every key in it. A section that is not there is no error.
  // A double that cannot delete says so rather than pretending it did.
  virtual ProfileWriteResult DeletePrivateProfileSection(const std::wstring& /*section*/,
                                                         const std::wstring& /*file*/) {
    return {false, kErrorInvalidParameter};
  }
};

}  // namespace quillet::os
