// An emulation of the system's two profile-file functions on real files, so
// that native tests read and write the configuration exactly as the program
// does on Windows. It follows Wine's behaviour, checked against Wine itself by
// a differential test:
//  - a file is decoded whole first (UTF-16 LE/BE or UTF-8 after their byte-
//    order marks, otherwise Windows-1252); lines end at CR or LF; a name
//    or value ends at its first NUL, after it has been trimmed;
//  - section and key names match ignoring ASCII letter case only, after their
//    surrounding blanks (tab, LF, VT, FF, CR, space, Ctrl+Z) are trimmed;
//    the first of duplicate sections or keys is the one read and updated; a
//    line without '=' is a key without a value (comments are such keys);
//  - a value read loses its blanks, then one pair of matching quotes;
//  - writing a value equal to the stored one leaves the file untouched; any
//    other write rewrites the whole file canonically from what it read:
//    blank lines dropped, "[name]" and "key=value" lines without blanks,
//    CRLF endings, the file's own encoding (new files in the ANSI code
//    page); only the name and value just written keep their trailing blanks;
//  - a new key goes after the last key of its section, a new section at the
//    end of the file;
//  - deleting a section removes the first one whose name equals the name
//    given, untrimmed, ignoring ASCII case ("" is the part before the first
//    header, even an empty one); none found leaves the file as it is, no
//    file is no error, a missing folder is ERROR_PATH_NOT_FOUND.
// Only std:: is used, so the emulation also builds with MinGW for that test.
// Where wchar_t has 32 bits, characters beyond U+FFFF travel as one wchar_t
// in the strings and as surrogate pairs in the file and in the counts.
#pragma once

#include <filesystem>

#include "os/profile_api.h"

namespace quillet::os::sim {

struct ProfileFile;

class SimProfile final : public ProfileApi {
 public:
  ProfileString GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                         const std::wstring& defaultValue, Dword bufferSize,
                                         const std::wstring& file) override;
  ProfileWriteResult WritePrivateProfileStringW(const std::wstring& section,
                                                const std::wstring& key, const std::wstring& value,
                                                const std::wstring& file) override;
  // The first section of that name goes, keys and all; the file is rewritten
  // only when one was there.
  ProfileWriteResult DeletePrivateProfileSection(const std::wstring& section,
                                                 const std::wstring& file) override;

  // As if the file's medium were write-protected (a locked card, a CD, a
  // read-only share): every write that would change a file fails with
  // ERROR_WRITE_PROTECT and leaves it as it was. Root writes files whose
  // permissions forbid it, so tests cannot rely on those.
  void SetReadOnlyMedium(bool read_only) { read_only_medium_ = read_only; }

 private:
  ProfileWriteResult Save(const ProfileFile& parsed, const std::filesystem::path& path);

  bool read_only_medium_ = false;
};

}  // namespace quillet::os::sim
