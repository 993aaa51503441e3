#include "os/sim/profile_sim.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "os/sim/profile_sim_file.h"

namespace quillet::os::sim {

namespace {

// wchar_t is 32 bits on Linux; the program's texts are UTF-16 all the same.
std::u16string ToUtf16(const std::wstring& text) {
  std::u16string out;
  for (wchar_t ch : text) {
    const auto cp = static_cast<char32_t>(ch);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::wstring FromUtf16(std::u16string_view text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if constexpr (sizeof(wchar_t) == 4) {
      if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] < 0xE000) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((ch - 0xD800) << 10) + (text[++i] - 0xDC00)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(ch));
  }
  return out;
}

std::optional<std::string> ReadBytes(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  // One read of the whole file: configuration files can be megabytes.
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(bytes.data(), size)) return std::nullopt;
  return bytes;
}

// The error the system reports when the file cannot be written.
Dword WriteError(const std::filesystem::path& path) {
  std::error_code error;
  const auto parent = path.parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) return kErrorPathNotFound;
  return kErrorAccessDenied;
}

ProfileSection* FindSection(ProfileFile& file, std::u16string_view name) {
  auto it = std::find_if(
      file.sections.begin(), file.sections.end(),
      [&](const ProfileSection& section) { return ProfileNamesEqual(section.name, name); });
  return it == file.sections.end() ? nullptr : &*it;
}

ProfileEntry* FindEntry(ProfileSection& section, std::u16string_view name) {
  auto it =
      std::find_if(section.entries.begin(), section.entries.end(),
                   [&](const ProfileEntry& entry) { return ProfileNamesEqual(entry.name, name); });
  return it == section.entries.end() ? nullptr : &*it;
}

std::u16string TrimLeadingBlanks(const std::u16string& text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsProfileBlank(text[begin])) ++begin;
  return text.substr(begin);
}

ProfileString Truncated(std::u16string_view text, Dword bufferSize) {
  const std::size_t length = std::min<std::size_t>(text.size(), bufferSize - 1);
  return {FromUtf16(text.substr(0, length)), static_cast<Dword>(length)};
}

// A value in matching quotes loses them. With a buffer that cuts the value
// the system copies the text after the opening quote, closing quote
// included, and then drops the last character copied once the copy reaches
// the closing quote's place or the one before it.
ProfileString Unquoted(std::u16string_view value, Dword bufferSize) {
  const bool quoted = value.size() > 1 && (value.front() == u'"' || value.front() == u'\'') &&
                      value.back() == value.front();
  if (!quoted) return Truncated(value, bufferSize);
  const std::size_t inner = value.size() - 2;
  std::size_t copied = std::min<std::size_t>(bufferSize - 1, inner + 1);
  if (copied > 0 && copied >= inner) --copied;
  return {FromUtf16(value.substr(1, copied)), static_cast<Dword>(copied)};
}

}  // namespace

ProfileString SimProfile::GetPrivateProfileStringW(const std::wstring& section,
                                                   const std::wstring& key,
                                                   const std::wstring& defaultValue,
                                                   Dword bufferSize, const std::wstring& file) {
  if (bufferSize == 0) return {};
  if (const auto bytes = ReadBytes(ProfilePath(file))) {
    ProfileFile parsed = ParseProfile(*bytes);
    if (ProfileSection* found = FindSection(parsed, TrimProfileBlanks(ToUtf16(section)))) {
      const ProfileEntry* entry = FindEntry(*found, TrimProfileBlanks(ToUtf16(key)));
      if (entry != nullptr && entry->value) return Unquoted(*entry->value, bufferSize);
    }
  }
  // The default loses trailing spaces, but no other blanks.
  std::u16string fallback = ToUtf16(defaultValue);
  while (!fallback.empty() && fallback.back() == u' ') fallback.pop_back();
  return Truncated(fallback, bufferSize);
}

ProfileWriteResult SimProfile::WritePrivateProfileStringW(const std::wstring& section,
                                                          const std::wstring& key,
                                                          const std::wstring& value,
                                                          const std::wstring& file) {
  const auto path = ProfilePath(file);
  const auto bytes = ReadBytes(path);
  ProfileFile parsed =
      bytes ? ParseProfile(*bytes) : ProfileFile{ProfileEncoding::kAnsi, {ProfileSection{}}};

  // Names are looked up trimmed, but what is stored loses leading blanks
  // only; the trailing ones go when the file is next read.
  const std::u16string sectionText = ToUtf16(section);
  const std::u16string keyText = ToUtf16(key);
  const std::u16string newValue = TrimLeadingBlanks(ToUtf16(value));

  ProfileSection* target = FindSection(parsed, TrimProfileBlanks(sectionText));
  if (target == nullptr) {
    parsed.sections.push_back({TrimLeadingBlanks(sectionText), {}});
    target = &parsed.sections.back();
  }
  if (ProfileEntry* entry = FindEntry(*target, TrimProfileBlanks(keyText))) {
    // An unchanged value leaves the file exactly as it was.
    if (entry->value && *entry->value == newValue) return {true, kErrorSuccess};
    entry->value = newValue;
  } else {
    target->entries.push_back({TrimLeadingBlanks(keyText), newValue});
  }

  return Save(parsed, path);
}

ProfileWriteResult SimProfile::DeletePrivateProfileSection(const std::wstring& section,
                                                           const std::wstring& file) {
  const auto path = ProfilePath(file);
  const auto bytes = ReadBytes(path);
  if (!bytes) {
    // No file, nothing to remove; a missing folder is an error all the same.
    const Dword error = WriteError(path);
    return error == kErrorPathNotFound ? ProfileWriteResult{false, error}
                                       : ProfileWriteResult{true, kErrorSuccess};
  }
  ProfileFile parsed = ParseProfile(*bytes);
  // Unlike every other lookup, the name is compared as given, blanks and all.
  const std::u16string name = ToUtf16(section);
  // The part before the first header is a section named "" for this too.
  const auto found = std::find_if(
      parsed.sections.begin(), parsed.sections.end(),
      [&](const ProfileSection& candidate) { return ProfileNamesEqual(candidate.name, name); });
  if (found == parsed.sections.end()) return {true, kErrorSuccess};
  parsed.sections.erase(found);
  return Save(parsed, path);
}

ProfileWriteResult SimProfile::Save(const ProfileFile& parsed, const std::filesystem::path& path) {
  if (read_only_medium_) return {false, kErrorWriteProtect};
  const std::string out = SerializeProfile(parsed);
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return {false, kErrorAccessDenied};
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  if (!stream) return {false, WriteError(path)};
  stream.write(out.data(), static_cast<std::streamsize>(out.size()));
  stream.close();
  if (!stream) return {false, kErrorAccessDenied};
  return {true, kErrorSuccess};
}

}  // namespace quillet::os::sim
