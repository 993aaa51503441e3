// quillet.exe's configuration file in the prefix, for benchmarks that start
// the real program with rows stored open, and a wait on a condition.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillet::bench {

inline std::filesystem::path IniPath() {
  wchar_t appdata[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
  return std::filesystem::path(appdata) / L"Brovana" / L"Quillet" / L"skeneri.ini";
}

// Rows 1..ports.size() on these COM ports, stored open (CR LF lines, as the
// profile functions write them).
inline bool WriteIni(const std::vector<int>& ports) {
  std::error_code ignored;
  std::filesystem::create_directories(IniPath().parent_path(), ignored);
  std::ofstream out(IniPath(), std::ios::binary | std::ios::trunc);
  for (std::size_t row = 1; row <= ports.size(); ++row)
    out << "[skener" << row << "]\r\nPort=COM" << ports[row - 1] << "\r\n";
  out << "[Aktivacija]\r\n";
  for (std::size_t row = 1; row <= ports.size(); ++row) out << "cbotvori" << row << "=1\r\n";
  return static_cast<bool>(out);
}

inline void RemoveIni() {
  std::error_code ignored;
  std::filesystem::remove(IniPath(), ignored);
}

}  // namespace quillet::bench
