#include "os/sim/profile_sim_file.h"

#include <algorithm>
#include <iterator>

#include "os/sim/profile_sim_cp1252.h"

namespace quillet::os::sim {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

char16_t AsciiLower(char16_t ch) {
  return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch + 32) : ch;
}

bool StartsWith(const std::string& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && bytes.compare(0, prefix.size(), prefix) == 0;
}

std::u16string DecodeUtf16(const std::string& bytes, std::size_t start, bool bigEndian) {
  std::u16string text;
  // A trailing odd byte is no character.
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(
        static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

void AppendUtf16(std::u16string& text, char32_t cp) {
  if (cp < 0x10000) {
    text.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// The system's UTF-8 decoder: a byte that cannot start a sequence is one
// U+FFFD; a lead whose first continuation byte is out of its range (overlong,
// surrogate, beyond U+10FFFF) makes one U+FFFD of both; a sequence cut short
// by a byte that continues nothing, or by the end, makes one U+FFFD.
std::u16string DecodeUtf8(const std::string& bytes, std::size_t start) {
  std::u16string text;
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  auto continues = [](unsigned char byte) { return (byte & 0xC0) == 0x80; };
  std::size_t i = start;
  while (i < bytes.size()) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      text.push_back(lead);
      ++i;
      continue;
    }
    const std::size_t extra = lead >= 0xC2 && lead < 0xE0   ? 1
                              : lead >= 0xE0 && lead < 0xF0 ? 2
                              : lead >= 0xF0 && lead < 0xF5 ? 3
                                                            : 0;
    if (extra == 0 || i + 1 >= bytes.size() || !continues(at(i + 1))) {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    const unsigned char second = at(i + 1);
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) {
      text.push_back(kReplacement);
      i += 2;
      continue;
    }
    char32_t cp = lead & (0x3F >> extra);
    std::size_t j = i + 1;
    while (j <= i + extra && j < bytes.size() && continues(at(j)))
      cp = (cp << 6) | (at(j++) & 0x3F);
    if (j == i + extra + 1) {
      AppendUtf16(text, cp);
    } else {
      text.push_back(kReplacement);
    }
    i = j;
  }
  return text;
}

std::u16string Decode(const std::string& bytes, ProfileEncoding& encoding) {
  if (StartsWith(bytes, "\xFF\xFE")) {
    encoding = ProfileEncoding::kUtf16Le;
    return DecodeUtf16(bytes, 2, false);
  }
  if (StartsWith(bytes, "\xFE\xFF")) {
    encoding = ProfileEncoding::kUtf16Be;
    return DecodeUtf16(bytes, 2, true);
  }
  if (StartsWith(bytes, "\xEF\xBB\xBF")) {
    encoding = ProfileEncoding::kUtf8;
    return DecodeUtf8(bytes, 3);
  }
  encoding = ProfileEncoding::kAnsi;
  // In chunks, so that a file of megabytes costs one pass and block copies.
  std::u16string text;
  text.reserve(bytes.size());
  char16_t chunk[4096];
  for (std::size_t at = 0; at < bytes.size(); at += std::size(chunk)) {
    const std::size_t n = std::min(std::size(chunk), bytes.size() - at);
    for (std::size_t i = 0; i < n; ++i)
      chunk[i] = Cp1252ToUnicode(static_cast<unsigned char>(bytes[at + i]));
    text.append(chunk, n);
  }
  return text;
}

std::string Encode(std::u16string_view text, ProfileEncoding encoding) {
  std::string out;
  switch (encoding) {
    case ProfileEncoding::kAnsi: {
      out.resize(text.size());
      char* bytes = out.data();
      for (std::size_t i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(UnicodeToCp1252(text[i]));
      break;
    }
    case ProfileEncoding::kUtf8:
      out = "\xEF\xBB\xBF";
      AppendUtf8(out, text);
      break;
    case ProfileEncoding::kUtf16Le:
    case ProfileEncoding::kUtf16Be: {
      const bool big = encoding == ProfileEncoding::kUtf16Be;
      out = big ? "\xFE\xFF" : "\xFF\xFE";
      for (char16_t ch : text) {
        const char high = static_cast<char>(ch >> 8);
        const char low = static_cast<char>(ch & 0xFF);
        out.push_back(big ? high : low);
        out.push_back(big ? low : high);
      }
      break;
    }
  }
  return out;
}

// A NUL does not end a line: the name and the value are found on the whole
// line and trimmed, and only then does each end at its first NUL.
std::u16string Field(std::u16string_view text) {
  std::u16string field = TrimProfileBlanks(text);
  field.resize(std::min(field.size(), field.find(u'\0')));
  return field;
}

void ParseLine(std::u16string_view raw, ProfileFile& file) {
  const std::u16string line = TrimProfileBlanks(raw);
  if (line.empty()) return;
  const std::u16string_view view(line);
  if (line.front() == u'[') {
    const std::size_t close = line.rfind(u']');
    if (close != std::u16string::npos) {
      file.sections.push_back({Field(view.substr(1, close - 1)), {}});
      return;
    }
  }
  // Comments are no exception: a ';' line is a key like any other.
  const std::size_t equals = line.find(u'=');
  auto& entries = file.sections.back().entries;
  if (equals == std::u16string::npos) {
    entries.push_back({Field(view), std::nullopt});
  } else {
    // A line that starts with '=' is dropped when the key before it has no
    // name either, as the system does.
    const bool nameless = TrimProfileBlanks(view.substr(0, equals)).empty();
    if (nameless && !entries.empty() && entries.back().name.empty()) return;
    entries.push_back({Field(view.substr(0, equals)), Field(view.substr(equals + 1))});
  }
}

}  // namespace

// Ctrl+Z counts as a blank too: the system's parser takes it for a DOS
// end-of-file mark left at the end of a line.
bool IsProfileBlank(char16_t ch) {
  return ch == u' ' || (ch >= u'\t' && ch <= u'\r') || ch == 0x1A;
}

std::u16string TrimProfileBlanks(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsProfileBlank(text[begin])) ++begin;
  while (end > begin && IsProfileBlank(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

bool ProfileNamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

ProfileFile ParseProfile(const std::string& bytes) {
  ProfileFile file;
  const std::u16string text = Decode(bytes, file.encoding);
  file.sections.push_back({});
  // A plain scan for line ends: files of megabytes are read on every call.
  const char16_t* chars = text.data();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && chars[end] != u'\r' && chars[end] != u'\n') ++end;
    ParseLine(std::u16string_view(text).substr(start, end - start), file);
    start = end + 1;
  }
  return file;
}

std::string SerializeProfile(const ProfileFile& file) {
  std::u16string text;
  for (const auto& section : file.sections) {
    // A section without a name has no header: its keys fall to the section
    // before it when the file is read again, as with the system.
    if (!section.name.empty()) text += u"[" + section.name + u"]\r\n";
    for (const auto& entry : section.entries) {
      text += entry.name;
      if (entry.value) text += u"=" + *entry.value;
      text += u"\r\n";
    }
  }
  return Encode(text, file.encoding);
}

std::filesystem::path ProfilePath(const std::wstring& file) {
#ifdef _WIN32
  return std::filesystem::path(file);
#else
  std::wstring native = file;
  for (wchar_t& ch : native) {
    if (ch == L'\\') ch = L'/';
  }
  return std::filesystem::path(native);
#endif
}

}  // namespace quillet::os::sim
