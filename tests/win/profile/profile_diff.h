// One scenario of the differential test: a starting file (or none) and a
// sequence of writes and reads applied the same way to the emulation and to
// the system's own profile functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "os/win_types.h"

namespace quillet::profile_diff {

struct Op {
  enum class Kind { kWrite, kRead, kDeleteSection };
  Kind kind;
  std::wstring section;
  std::wstring key;
  std::wstring value;  // written value, or the reader's default
  os::Dword bufferSize = 2048;
};

inline Op W(std::wstring section, std::wstring key, std::wstring value) {
  return {Op::Kind::kWrite, std::move(section), std::move(key), std::move(value)};
}
inline Op R(std::wstring section, std::wstring key, std::wstring def = L"dflt",
            os::Dword size = 2048) {
  return {Op::Kind::kRead, std::move(section), std::move(key), std::move(def), size};
}

// WritePrivateProfileStringW(section, NULL, NULL, file).
inline Op D(std::wstring section) {
  return {Op::Kind::kDeleteSection, std::move(section), L"", L""};
}

struct Scenario {
  std::string name;
  std::optional<std::string> initial;  // bytes of the file before; none when empty
  std::vector<Op> ops;
  bool missingFolder = false;  // the file's folder does not exist
};

std::vector<Scenario> Scenarios();

}  // namespace quillet::profile_diff
