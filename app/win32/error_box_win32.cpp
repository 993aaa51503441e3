#include "app/win32/error_box_win32.h"

#include "app/error_box.h"
#include "os/exception.h"
#include "os/win32/helpers/program_file.h"

namespace quillet::app::win32 {

std::wstring ApplicationTitle() {
  return app::ApplicationTitle(os::win32::ProgramFilePath());
}

void ShowStandardErrorBox(HWND owner, const std::wstring& message) {
  MessageBoxW(owner, app::ErrorBoxText(message).c_str(), ApplicationTitle().c_str(),
              MB_OK | MB_ICONERROR);
}

void ShowCurrentExceptionBox(HWND owner) {
  ShowStandardErrorBox(owner, CurrentExceptionMessage());
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
