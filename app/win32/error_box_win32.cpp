#include "app/win32/error_box_win32.h"

#include <vector>

#include "app/error_box.h"
#include "os/exception.h"

namespace quillet::app::win32 {

std::wstring ApplicationTitle() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return app::ApplicationTitle(std::wstring_view(path.data(), length));
    path.resize(path.size() * 2);
  }
}

void ShowStandardErrorBox(HWND owner, const std::wstring& message) {
  MessageBoxW(owner, app::ErrorBoxText(message).c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONERROR);
}

std::wstring CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    std::wstring text;
    for (const char* p = e.what(); *p != '\0'; ++p) text.push_back(static_cast<unsigned char>(*p));
    return text;
  } catch (...) {
    return L"Unexpected error";
  }
}

}  // namespace quillet::app::win32
