#include "app/advanced_form.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"

namespace quillet::app {
namespace {

constexpr wchar_t kSection[] = L"Napredna";
// The keys of every advanced section, in the order they are written.
constexpr const wchar_t* kKeys[] = {L"cbprefiks", L"cbsufiks", L"cbCR", L"cbLF",     L"Sufiks",
                                    L"Prefiks",   L"Do",       L"Od",   L"CharDelay"};

int HighOf(AdvancedText spin) {
  return spin == AdvancedText::seCharDelay ? kCharDelayMax : kSpinMax;
}

// The "to" value the coupling leaves after a load of `from` and `to`.
int CoupledTo(int from, int to) {
  return to > 0 && to == from ? std::min(from + 1, kSpinMax) : to;
}

bool HasKey(config::TIniFile& ini, const std::wstring& section, const wchar_t* key) {
  // A present key reads the same whatever the default.
  return ini.ReadString(section, key, L"\x01") != L"\x01" ||
         ini.ReadString(section, key, L"\x02") != L"\x02";
}

int ToInteger(const std::wstring& text) {
  int value = 0;
  if (!ParseWholeNumber(text, value))
    throw Exception(L"'" + text + L"' is not a valid integer value");
  return value;
}

}  // namespace

std::wstring AdvancedSection(int choice) {
  return choice == 0 ? std::wstring(kSection) : kSection + std::to_wstring(choice);
}

std::optional<AdvancedFields> ReadOwnAdvanced(os::ProfileApi& profile, const std::wstring& path,
                                              int row) {
  config::TIniFile ini(profile, path);
  const std::wstring section = AdvancedSection(row);
  if (std::none_of(std::begin(kKeys), std::end(kKeys),
                   [&](const wchar_t* key) { return HasKey(ini, section, key); }))
    return std::nullopt;
  AdvancedFields fields;
  fields.FIncPrefiks = ini.ReadBool(section, L"cbprefiks", false);
  fields.FIncSufiks = ini.ReadBool(section, L"cbsufiks", false);
  fields.FEnter = ini.ReadBool(section, L"cbCR", false);
  fields.FLF = ini.ReadBool(section, L"cbLF", false);
  fields.FSufiks = ini.ReadString(section, L"Sufiks", L"");
  fields.FPrefiks = ini.ReadString(section, L"Prefiks", L"");
  fields.FOd = ini.ReadInteger(section, L"Od", 0);
  fields.FDo = CoupledTo(fields.FOd, ini.ReadInteger(section, L"Do", 0));
  fields.CharDelay = std::clamp(ini.ReadInteger(section, L"CharDelay", 0), 0, kCharDelayMax);
  return fields;
}

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

std::wstring SpinTextOnExit(std::wstring_view text, int low, int high) {
  int value = 0;
  if (!ParseWholeNumber(text, value)) return std::wstring(text);
  if (value < low) return std::to_wstring(low);
  if (value > high) return std::to_wstring(high);
  return std::wstring(text);
}

bool SpinAcceptsChar(wchar_t ch, wchar_t decimal_separator) {
  if (ch == L'\r' || ch == L'\n') return false;
  if (ch < L' ' || ch == 0x7F) return true;
  return (ch >= L'0' && ch <= L'9') || ch == L'+' || ch == L'-' || ch == decimal_separator;
}

AdvancedForm::AdvancedForm(os::ProfileApi& profile, os::ShellApi& shell, AdvancedView& view,
                           AdvancedSettings& form1_settings)
    : profile_(profile), shell_(shell), view_(view), settings_(form1_settings) {}

void AdvancedForm::FormCreate() {
  choice_ = 0;
  FormShow();
  UcitajNaprednaPodesavanja();
  const std::wstring path = config::ConfigFilePath(shell_);
  for (int row = 1; row <= 8; ++row)
    settings_.own[static_cast<std::size_t>(row - 1)] = ReadOwnAdvanced(profile_, path, row);
  ShowChoiceState();
}

std::wstring AdvancedForm::RowCaption(int row) const {
  return settings_.rowCaption ? settings_.rowCaption(row) : L"skener" + std::to_wstring(row);
}

void AdvancedForm::FormShow() {
  std::vector<std::wstring> captions{L"All ports"};
  for (int row = 1; row <= 8; ++row) captions.push_back(RowCaption(row));
  view_.SetChoices(captions, choice_);
  ShowChoiceState();
}

void AdvancedForm::ShowChoiceState() {
  if (choice_ == 0) {
    view_.ShowChoiceState(L"Ports without settings of their own use these.", false);
    return;
  }
  const std::wstring name = L"skener" + std::to_wstring(choice_);
  if (settings_.own[static_cast<std::size_t>(choice_ - 1)]) {
    view_.ShowChoiceState(name + L" has settings of its own.", true);
  } else {
    view_.ShowChoiceState(
        name + L" uses the settings for all ports; Save & Close gives it its own.", false);
  }
}

void AdvancedForm::ChoiceChanged() {
  const int choice = view_.Choice();
  if (choice < 0 || choice > 8 || choice == choice_) return;
  choice_ = choice;
  UcitajNaprednaPodesavanja();
}

void AdvancedForm::UseCommonClick() {
  if (choice_ == 0) return;
  const std::wstring path = config::ConfigFilePath(shell_);
  const os::ProfileWriteResult result =
      profile_.DeletePrivateProfileSection(AdvancedSection(choice_), path);
  if (!result.ok) throw Exception(L"Unable to write to " + path);
  settings_.own[static_cast<std::size_t>(choice_ - 1)].reset();
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
  SetSpinText(AdvancedText::seCharDelay, L"0");
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
  SetSpinText(spin, SpinTextOnExit(view_.Text(spin), kSpinMin, HighOf(spin)));
}

void AdvancedForm::SpinStep(AdvancedText spin, int delta) {
  const int value = std::clamp(Value(spin) + delta, kSpinMin, HighOf(spin));
  SetSpinText(spin, std::to_wstring(value));
}

void AdvancedForm::SetSpinText(AdvancedText spin, const std::wstring& text) {
  if (view_.Text(spin) == text) return;
  view_.SetText(spin, text);
  SpinChanged(spin);
}

void AdvancedForm::UcitajNaprednaPodesavanja() {
  if (choice_ == 0) {
    LoadControls(kSection, &settings_.common);
  } else if (auto& own = settings_.own[static_cast<std::size_t>(choice_ - 1)]) {
    LoadControls(AdvancedSection(choice_), &*own);
  } else {
    // A row without settings of its own starts from the common ones.
    LoadControls(kSection, nullptr);
  }
  ShowChoiceState();
}

void AdvancedForm::LoadControls(const std::wstring& section, AdvancedFields* mirror) {
  AdvancedFields ignored;
  AdvancedFields& fields = mirror != nullptr ? *mirror : ignored;
  config::TIniFile ini(profile_, config::ConfigFilePath(shell_));
  view_.SetChecked(AdvancedCheck::cbprefiks, ini.ReadBool(section, L"cbprefiks", false));
  view_.SetChecked(AdvancedCheck::cbsufiks, ini.ReadBool(section, L"cbsufiks", false));
  fields.FIncSufiks = view_.Checked(AdvancedCheck::cbsufiks);
  fields.FIncPrefiks = view_.Checked(AdvancedCheck::cbprefiks);

  view_.SetChecked(AdvancedCheck::cbCR, ini.ReadBool(section, L"cbCR", false));
  fields.FEnter = view_.Checked(AdvancedCheck::cbCR);
  view_.SetChecked(AdvancedCheck::cbLF, ini.ReadBool(section, L"cbLF", false));
  fields.FLF = view_.Checked(AdvancedCheck::cbLF);

  view_.SetText(AdvancedText::edsufiks, ini.ReadString(section, L"Sufiks", L""));
  fields.FSufiks = view_.Text(AdvancedText::edsufiks);
  view_.SetText(AdvancedText::edprefiks, ini.ReadString(section, L"Prefiks", L""));
  fields.FPrefiks = view_.Text(AdvancedText::edprefiks);

  // Shown unclamped; the change rules run, so "to" may end up differing
  // from the stored value, and FDo takes what is shown.
  SetSpinText(AdvancedText::seOd, std::to_wstring(ini.ReadInteger(section, L"Od", 0)));
  fields.FOd = ToInteger(view_.Text(AdvancedText::seOd));
  SetSpinText(AdvancedText::seDo, std::to_wstring(ini.ReadInteger(section, L"Do", 0)));
  fields.FDo = ToInteger(view_.Text(AdvancedText::seDo));
  // The delay paces typing: a stored value out of range is brought within it.
  const int delay = std::clamp(ini.ReadInteger(section, L"CharDelay", 0), 0, kCharDelayMax);
  SetSpinText(AdvancedText::seCharDelay, std::to_wstring(delay));
  fields.CharDelay = delay;
}

void AdvancedForm::SacuvajNaprednaPodesavanja() {
  if (choice_ == 0) {
    SaveControls(kSection, settings_.common);
    return;
  }
  const std::size_t index = static_cast<std::size_t>(choice_ - 1);
  const std::wstring section = AdvancedSection(choice_);
  AdvancedFields saved = settings_.own[index].value_or(AdvancedFields{});
  try {
    SaveControls(section, saved);
  } catch (...) {
    // What stands in the file now is what the row uses, as at the next start.
    settings_.own[index] = ReadOwnAdvanced(profile_, config::ConfigFilePath(shell_), choice_);
    ShowChoiceState();
    throw;
  }
  settings_.own[index] = saved;
  ShowChoiceState();
}

void AdvancedForm::SaveControls(const std::wstring& section, AdvancedFields& fields) {
  config::TIniFile ini(profile_, config::ConfigFilePath(shell_));
  ini.WriteBool(section, L"cbprefiks", view_.Checked(AdvancedCheck::cbprefiks));
  ini.WriteBool(section, L"cbsufiks", view_.Checked(AdvancedCheck::cbsufiks));
  fields.FIncSufiks = view_.Checked(AdvancedCheck::cbsufiks);
  fields.FIncPrefiks = view_.Checked(AdvancedCheck::cbprefiks);

  ini.WriteBool(section, L"cbCR", view_.Checked(AdvancedCheck::cbCR));
  fields.FEnter = view_.Checked(AdvancedCheck::cbCR);
  ini.WriteBool(section, L"cbLF", view_.Checked(AdvancedCheck::cbLF));
  fields.FLF = view_.Checked(AdvancedCheck::cbLF);

  const std::wstring sufiks = view_.Text(AdvancedText::edsufiks);
  ini.WriteString(section, L"Sufiks", sufiks);
  fields.FSufiks = sufiks;
  const std::wstring prefiks = view_.Text(AdvancedText::edprefiks);
  ini.WriteString(section, L"Prefiks", prefiks);
  fields.FPrefiks = prefiks;

  const int to = ToInteger(view_.Text(AdvancedText::seDo));
  ini.WriteInteger(section, L"Do", to);
  fields.FDo = to;
  const int from = ToInteger(view_.Text(AdvancedText::seOd));
  ini.WriteInteger(section, L"Od", from);
  fields.FOd = from;
  const int delay = std::clamp(ToInteger(view_.Text(AdvancedText::seCharDelay)), 0, kCharDelayMax);
  ini.WriteInteger(section, L"CharDelay", delay);
  fields.CharDelay = delay;
}

}  // namespace quillet::app
