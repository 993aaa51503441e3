// The readers of the configuration file's value texts, on any text.
#include <cstddef>
#include <cstdint>

#include "config/setting_names.h"
#include "config/value_codecs.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using quillet::fuzz::Require;

bool UpperIsYes(std::wstring_view text) {
  if (text.size() != 3) return false;
  const wchar_t yes[] = L"YES";
  for (std::size_t i = 0; i < 3; ++i) {
    const wchar_t up = text[i] >= L'a' && text[i] <= L'z' ? text[i] - 32 : text[i];
    if (up != yes[i]) return false;
  }
  return true;
}

void CheckNames(const quillet::config::SettingNames& names, std::wstring_view text) {
  const std::size_t index = quillet::config::ParseSettingName(names, text);
  Require(index < names.texts.size());
  // Each entry reads back as itself, in any letter case.
  if (text.size() <= 16) {
    for (std::size_t i = 0; i < names.texts.size(); ++i) {
      Require(quillet::config::ParseSettingName(names, names.texts[i]) == i);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillet::config;
  const std::wstring text = quillet::fuzz::WideText(data, size);

  if (const auto number = ParseIniInteger(text)) {
    // Whatever reads as a number reads the same from its decimal form.
    Require(ParseIniInteger(std::to_wstring(*number)) == number);
  }
  Require(ParseYesNo(text) == UpperIsYes(text));
  Require(ParseYesNo(YesNoText(ParseYesNo(text))) == ParseYesNo(text));

  const std::uint8_t code = ParseCharText(text);
  Require(ParseCharText(CharText(code)) == code);
  if (size > 0) Require(ParseCharText(CharText(data[0])) == data[0]);

  for (const SettingNames* names :
       {&kBaudRateNames, &kStopBitsNames, &kDataBitsNames, &kParityNames, &kFlowControlNames,
        &kRtsFlowNames, &kDtrFlowNames}) {
    CheckNames(*names, text);
  }
  return 0;
}
