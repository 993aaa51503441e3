#include "os/sim/shell_sim.h"

#include <filesystem>
#include <system_error>

#include "os/sim/profile_sim_file.h"

namespace quillet::os::sim {

bool SimShell::DirectoryExists(const std::wstring& path) {
  std::error_code error;
  return std::filesystem::is_directory(ProfilePath(path), error);
}

bool SimShell::MakeDirectory(const std::wstring& path) {
  std::error_code error;
  // Like CreateDirectoryW: one level only, and an existing folder is a failure.
  return std::filesystem::create_directory(ProfilePath(path), error) && !error;
}

bool SimShell::FileExists(const std::wstring& path) {
  std::error_code error;
  const auto native = ProfilePath(path);
  return std::filesystem::exists(native, error) && !std::filesystem::is_directory(native, error);
}

}  // namespace quillet::os::sim
