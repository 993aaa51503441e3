#include "app/about_box.h"

namespace quillet::app {

std::wstring HelpFilePath(std::wstring_view exe_path) {
  const std::size_t slash = exe_path.find_last_of(L"\\/");
  const std::wstring_view folder =
      slash == std::wstring_view::npos ? std::wstring_view{} : exe_path.substr(0, slash + 1);
  return std::wstring(folder) + std::wstring(kHelpFileName);
}

}  // namespace quillet::app
