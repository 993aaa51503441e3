// The profile emulation's view of one file: its encoding, its sections and
// keys in file order, and the conversions between that and the bytes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillet::os::sim {

enum class ProfileEncoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

struct ProfileEntry {
  std::u16string name;
  std::optional<std::u16string> value;  // empty for a line without '='
};

struct ProfileSection {
  std::u16string name;  // the lines before the first header form a section named ""
  std::vector<ProfileEntry> entries;
};

struct ProfileFile {
  ProfileEncoding encoding = ProfileEncoding::kAnsi;
  std::vector<ProfileSection> sections;
};

ProfileFile ParseProfile(const std::string& bytes);
std::string SerializeProfile(const ProfileFile& file);

// Tab, LF, VT, FF, CR, space and Ctrl+Z; no other Unicode blank.
bool IsProfileBlank(char16_t ch);
std::u16string TrimProfileBlanks(std::u16string_view text);
bool ProfileNamesEqual(std::u16string_view a, std::u16string_view b);

// A path in Windows form as the file system here takes it.
std::filesystem::path ProfilePath(const std::wstring& file);

}  // namespace quillet::os::sim
