// The program's version as the about box shows it: major.minor.release from
// the fixed part of the file's version resource; the build number is left out.
#pragma once

#include <cstdint>
#include <string>

namespace quillet::app {

struct FileVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t release = 0;
  std::uint16_t build = 0;
};

// From VS_FIXEDFILEINFO's dwFileVersionMS and dwFileVersionLS.
FileVersion FileVersionFromFixedInfo(std::uint32_t file_version_ms, std::uint32_t file_version_ls);
// "1.0.5"
std::wstring VersionText(const FileVersion& version);
// The about box's version label: "v1.0.5".
std::wstring VersionCaption(const FileVersion& version);

}  // namespace quillet::app
