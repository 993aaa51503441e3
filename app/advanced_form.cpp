#include "app/advanced_form.h"

#include <algorithm>
#include <limits>

#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"

namespace quillet::app {
namespace {

constexpr wchar_t kSection[] = L"Napredna";

int ToInteger(const std::wstring& text) {
  int value = 0;
  if (!ParseWholeNumber(text, value))
    throw Exception(L"'" + text + L"' is not a valid integer value");
  return value;
}

}  // namespace

bool ParseWholeNumber(std::wstring_view text, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                   : std::numeric_limits<int>::max();
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > limit) return false;
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

int SpinValue(std::wstring_view text) {
  int value = 0;
  return ParseWholeNumber(text, value) ? value : 0;
}

std::wstring SpinTextOnExit(std::wstring_view text) {
  int value = 0;
  if (!ParseWholeNumber(text, value)) return std::wstring(text);
  if (value < kSpinMin) return std::to_wstring(kSpinMin);
  if (value > kSpinMax) return std::to_wstring(kSpinMax);
  return std::wstring(text);
}

bool SpinAcceptsChar(wchar_t ch, wchar_t decimal_separator) {
  if (ch == L'\r' || ch == L'\n') return false;
  if (ch < L' ' || ch == 0x7F) return true;
  return (ch >= L'0' && ch <= L'9') || ch == L'+' || ch == L'-' || ch == decimal_separator;
}

AdvancedForm::AdvancedForm(os::ProfileApi& profile, os::ShellApi& shell, AdvancedView& view,
                           AdvancedFields& form1_fields)
    : profile_(profile), shell_(shell), view_(view), fields_(form1_fields) {}

void AdvancedForm::FormCreate() {
  UcitajNaprednaPodesavanja();
}

void AdvancedForm::btnzatvoriClick() {
  // A failed save ends here with its error: the dialog stays open.
  SacuvajNaprednaPodesavanja();
  view_.CloseDialog();
}

void AdvancedForm::Button1Click() {
  view_.SetText(AdvancedText::edprefiks, L"");
  view_.SetText(AdvancedText::edsufiks, L"");
  view_.SetChecked(AdvancedCheck::cbprefiks, false);
  view_.SetChecked(AdvancedCheck::cbsufiks, false);
  view_.SetChecked(AdvancedCheck::cbCR, false);
  view_.SetChecked(AdvancedCheck::cbLF, false);
  SetSpinText(AdvancedText::seOd, L"0");
  SetSpinText(AdvancedText::seDo, L"0");
}

void AdvancedForm::seOdChange() {
  const int from = Value(AdvancedText::seOd);
  if (from > 0) SetSpinText(AdvancedText::seDo, std::to_wstring(std::min(from + 1, kSpinMax)));
}

void AdvancedForm::seDoChange() {
  const int to = Value(AdvancedText::seDo);
  const int from = Value(AdvancedText::seOd);
  if (to > 0 && to == from)
    SetSpinText(AdvancedText::seDo, std::to_wstring(std::min(from + 1, kSpinMax)));
}

void AdvancedForm::SpinChanged(AdvancedText spin) {
  if (spin == AdvancedText::seOd) seOdChange();
  if (spin == AdvancedText::seDo) seDoChange();
}

void AdvancedForm::SpinExit(AdvancedText spin) {
  SetSpinText(spin, SpinTextOnExit(view_.Text(spin)));
}

void AdvancedForm::SpinStep(AdvancedText spin, int delta) {
  const int value = std::clamp(Value(spin) + delta, kSpinMin, kSpinMax);
  SetSpinText(spin, std::to_wstring(value));
}

void AdvancedForm::SetSpinText(AdvancedText spin, const std::wstring& text) {
  if (view_.Text(spin) == text) return;
  view_.SetText(spin, text);
  SpinChanged(spin);
}

void AdvancedForm::UcitajNaprednaPodesavanja() {
  config::TIniFile ini(profile_, config::ConfigFilePath(shell_));
  view_.SetChecked(AdvancedCheck::cbprefiks, ini.ReadBool(kSection, L"cbprefiks", false));
  view_.SetChecked(AdvancedCheck::cbsufiks, ini.ReadBool(kSection, L"cbsufiks", false));
  fields_.FIncSufiks = view_.Checked(AdvancedCheck::cbsufiks);
  fields_.FIncPrefiks = view_.Checked(AdvancedCheck::cbprefiks);

  view_.SetChecked(AdvancedCheck::cbCR, ini.ReadBool(kSection, L"cbCR", false));
  fields_.FEnter = view_.Checked(AdvancedCheck::cbCR);
  view_.SetChecked(AdvancedCheck::cbLF, ini.ReadBool(kSection, L"cbLF", false));
  fields_.FLF = view_.Checked(AdvancedCheck::cbLF);

  view_.SetText(AdvancedText::edsufiks, ini.ReadString(kSection, L"Sufiks", L""));
  fields_.FSufiks = view_.Text(AdvancedText::edsufiks);
  view_.SetText(AdvancedText::edprefiks, ini.ReadString(kSection, L"Prefiks", L""));
  fields_.FPrefiks = view_.Text(AdvancedText::edprefiks);

  // Shown unclamped; the change rules run, so "to" may end up differing
  // from the stored value, and FDo takes what is shown.
  SetSpinText(AdvancedText::seOd, std::to_wstring(ini.ReadInteger(kSection, L"Od", 0)));
  fields_.FOd = ToInteger(view_.Text(AdvancedText::seOd));
  SetSpinText(AdvancedText::seDo, std::to_wstring(ini.ReadInteger(kSection, L"Do", 0)));
  fields_.FDo = ToInteger(view_.Text(AdvancedText::seDo));
}

void AdvancedForm::SacuvajNaprednaPodesavanja() {
  config::TIniFile ini(profile_, config::ConfigFilePath(shell_));
  ini.WriteBool(kSection, L"cbprefiks", view_.Checked(AdvancedCheck::cbprefiks));
  ini.WriteBool(kSection, L"cbsufiks", view_.Checked(AdvancedCheck::cbsufiks));
  fields_.FIncSufiks = view_.Checked(AdvancedCheck::cbsufiks);
  fields_.FIncPrefiks = view_.Checked(AdvancedCheck::cbprefiks);

  ini.WriteBool(kSection, L"cbCR", view_.Checked(AdvancedCheck::cbCR));
  fields_.FEnter = view_.Checked(AdvancedCheck::cbCR);
  ini.WriteBool(kSection, L"cbLF", view_.Checked(AdvancedCheck::cbLF));
  fields_.FLF = view_.Checked(AdvancedCheck::cbLF);

  const std::wstring sufiks = view_.Text(AdvancedText::edsufiks);
  ini.WriteString(kSection, L"Sufiks", sufiks);
  fields_.FSufiks = sufiks;
  const std::wstring prefiks = view_.Text(AdvancedText::edprefiks);
  ini.WriteString(kSection, L"Prefiks", prefiks);
  fields_.FPrefiks = prefiks;

  const int to = ToInteger(view_.Text(AdvancedText::seDo));
  ini.WriteInteger(kSection, L"Do", to);
  fields_.FDo = to;
  const int from = ToInteger(view_.Text(AdvancedText::seOd));
  ini.WriteInteger(kSection, L"Od", from);
  fields_.FOd = from;
}

}  // namespace quillet::app
