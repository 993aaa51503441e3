// Paths and files the end-to-end tests share: CTest hands them Linux paths,
// and quillet.exe keeps its configuration in the prefix's roaming AppData.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/wine_path.h"

namespace quillet::e2e {

// A Linux path from CTest as a path on Wine's Z: drive.
using testsupport::WindowsPath;

inline std::filesystem::path AppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

inline std::filesystem::path IniPath() {
  return AppData() / L"Brovana" / L"Quillet" / L"skeneri.ini";
}

// The whole file as bytes; empty when it does not exist.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts from a fresh configuration: the program's folder goes, and the file
// is written as given (CR LF lines, as the profile functions write them).
inline void WriteFreshIni(const std::string& contents) {
  std::error_code ignored;
  std::filesystem::remove_all(AppData() / L"Brovana", ignored);
  std::filesystem::create_directories(IniPath().parent_path());
  std::ofstream(IniPath(), std::ios::binary) << contents;
}

}  // namespace quillet::e2e
