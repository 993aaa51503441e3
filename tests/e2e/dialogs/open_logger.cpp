// Stands in for the programs the shell starts for a .chm file or a web
// address: appends its command line (UTF-8) as one line to the file named by
// QUILLET_OPEN_LOG_WIN, so the test sees what the shell was asked to open.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t log_path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QUILLET_OPEN_LOG_WIN", log_path, MAX_PATH) == 0) return 2;
  const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size,
                      nullptr, nullptr);
  HANDLE file = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
