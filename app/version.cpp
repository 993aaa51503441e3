#include "app/version.h"

namespace quillet::app {

FileVersion FileVersionFromFixedInfo(std::uint32_t file_version_ms, std::uint32_t file_version_ls) {
  return {static_cast<std::uint16_t>(file_version_ms >> 16),
          static_cast<std::uint16_t>(file_version_ms & 0xFFFFu),
          static_cast<std::uint16_t>(file_version_ls >> 16),
          static_cast<std::uint16_t>(file_version_ls & 0xFFFFu)};
}

std::wstring VersionText(const FileVersion& version) {
  return std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L"." +
         std::to_wstring(version.release);
}

std::wstring VersionCaption(const FileVersion& version) {
  return L"v" + VersionText(version);
}

}  // namespace quillet::app
