#include "app/error_box.h"

#include <cwctype>

namespace quillet::app {

std::wstring ApplicationTitle(std::wstring_view exe_path) {
  const auto slash = exe_path.find_last_of(L"\\/");
  std::wstring_view name = slash == std::wstring_view::npos ? exe_path : exe_path.substr(slash + 1);
  name = name.substr(0, name.find(L'.'));
  std::wstring title(name);
  for (std::size_t i = 1; i < title.size(); ++i) {
    title[i] = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(title[i])));
  }
  return title;
}

std::wstring ErrorBoxText(std::wstring_view message) {
  std::wstring text(message);
  if (!text.empty() && text.back() > L'.') text.push_back(L'.');
  return text;
}

}  // namespace quillet::app
