// What the native bad-input tests share: deterministic garbage bytes, and
// the keys of a profile file as the system reads them, to show that a write
// keeps every other key.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "os/sim/profile_sim_file.h"

namespace quillet::config::testing {

inline std::string Garbage(std::uint32_t seed, std::size_t size) {
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    out.push_back(static_cast<char>(seed >> 24));
  }
  return out;
}

// The keys of the file as the system reads them: the first of duplicate
// sections and keys wins, names compare ignoring ASCII case.
using Values = std::map<std::pair<std::u16string, std::u16string>, std::optional<std::u16string>>;

inline std::u16string Lower(std::u16string text) {
  for (char16_t& ch : text) {
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
  }
  return text;
}

// A name or value cut at a NUL can end in blanks, which the system trims
// when it reads its own rewrite; a nameless line without '=' becomes blank.
// Such keys change in Wine's rewrite as well (the differential test under
// Wine covers them); every other key must come through untouched.
inline bool KeptVerbatim(const os::sim::ProfileEntry& entry) {
  const bool valueTrimmed =
      !entry.value || os::sim::TrimProfileBlanks(*entry.value) == *entry.value;
  return !entry.name.empty() && os::sim::TrimProfileBlanks(entry.name) == entry.name &&
         valueTrimmed;
}

inline Values VisibleValues(const std::string& bytes) {
  Values values;
  std::set<std::u16string> seen;
  for (const auto& section : os::sim::ParseProfile(bytes).sections) {
    // Only the first of sections of the same name is ever looked into.
    if (!seen.insert(Lower(section.name)).second) continue;
    for (const auto& entry : section.entries) {
      if (KeptVerbatim(entry))
        values.emplace(std::pair{Lower(section.name), Lower(entry.name)}, entry.value);
    }
  }
  return values;
}

}  // namespace quillet::config::testing
