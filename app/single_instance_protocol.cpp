#include "app/single_instance_protocol.h"

namespace quillet::app {

std::wstring InstanceIdentifier(std::wstring_view upper_case_path) {
  std::wstring id = L"App";
  id.reserve(id.size() + upper_case_path.size());
  for (wchar_t ch : upper_case_path) id.push_back(ch == L'\\' ? L'_' : ch);
  return id;
}

std::wstring CommandLineTransferText(const std::vector<std::wstring>& parameters) {
  std::wstring text;
  for (const std::wstring& parameter : parameters) {
    text += parameter;
    text += L"\r\n";
  }
  return text;
}

}  // namespace quillet::app
