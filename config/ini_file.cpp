#include "config/ini_file.h"

#include "config/value_codecs.h"
#include "os/exception.h"

namespace quillet::config {

TIniFile::TIniFile(os::ProfileApi& profile, std::wstring path)
    : profile_(profile), path_(std::move(path)) {}

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& def) {
  return profile_.GetPrivateProfileStringW(section, key, def, os::kProfileBufferSize, path_).value;
}

int TIniFile::ReadInteger(const std::wstring& section, const std::wstring& key, int def) {
  return ParseIniInteger(ReadString(section, key, L"")).value_or(def);
}

bool TIniFile::ReadBool(const std::wstring& section, const std::wstring& key, bool def) {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value) {
  if (!profile_.WritePrivateProfileStringW(section, key, value, path_).ok) {
    throw Exception(L"Unable to write to " + path_);
  }
}

void TIniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value) {
  WriteString(section, key, std::to_wstring(value));
}

void TIniFile::WriteBool(const std::wstring& section, const std::wstring& key, bool value) {
  WriteString(section, key, value ? L"1" : L"0");
}

}  // namespace quillet::config
