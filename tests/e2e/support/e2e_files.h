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

}  // namespace quillet::e2e
