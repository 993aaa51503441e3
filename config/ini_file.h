// Typed access to one INI file through the system's profile functions: each
// call reads or writes one value; nothing is held between calls.
#pragma once

#include <string>

#include "os/profile_api.h"

namespace quillet::config {

class TIniFile {
 public:
  TIniFile(os::ProfileApi& profile, std::wstring path);

  const std::wstring& FileName() const { return path_; }

  // At most 2047 characters come back; a missing key gives def.
  std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                          const std::wstring& def);
  // Missing, empty or unreadable gives def (integer forms: config/value_codecs.h).
  int ReadInteger(const std::wstring& section, const std::wstring& key, int def);
  // A flag: an integer with the default 1 or 0, non-zero is true.
  bool ReadBool(const std::wstring& section, const std::wstring& key, bool def);

  // Each throws quillet::Exception("Unable to write to <path>") on failure.
  void WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  void WriteInteger(const std::wstring& section, const std::wstring& key, int value);
  void WriteBool(const std::wstring& section, const std::wstring& key, bool value);

 private:
  os::ProfileApi& profile_;
  std::wstring path_;
};

}  // namespace quillet::config
