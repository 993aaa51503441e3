// The advanced-settings dialog's logic (Form2): the choice of whose settings
// are shown (all ports, section [Napredna], or one row, section [NapredanN]),
// load and save of the shown choice, Reset, a row's way back to the common
// settings, and the rules of the spin boxes and the coupling of the range.
// The Win32 dialog only shows the controls and forwards their events here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/advanced_fields.h"

namespace quillet::os {
class ProfileApi;
class ShellApi;
}  // namespace quillet::os

namespace quillet::app {

enum class AdvancedText { edprefiks, edsufiks, seOd, seDo, seCharDelay };
enum class AdvancedCheck { cbprefiks, cbsufiks, cbCR, cbLF };

inline constexpr int kSpinMin = 0;
inline constexpr int kSpinMax = 100;

// What the logic needs of the dialog's controls. SetText never raises the
// controls' change events: the logic runs its own change rules after it.
class AdvancedView {
 public:
  virtual ~AdvancedView() = default;
  virtual std::wstring Text(AdvancedText control) const = 0;
  virtual void SetText(AdvancedText control, const std::wstring& text) = 0;
  virtual bool Checked(AdvancedCheck control) const = 0;
  virtual void SetChecked(AdvancedCheck control, bool checked) = 0;
  virtual void CloseDialog() = 0;
  // "Settings for:": index 0 is every port, 1..8 the rows.
  virtual void SetChoices(const std::vector<std::wstring>& captions, int selected) = 0;
  virtual int Choice() const = 0;
  // What the shown choice means, and whether a row can go back to the
  // common settings.
  virtual void ShowChoiceState(const std::wstring& note, bool can_use_common) = 0;
};

// The section a choice is stored in: 0 "Napredna", row N "NapredanN".
std::wstring AdvancedSection(int choice);
// What a row reads from its own section, or nullopt when it has none (no
// key of the advanced settings in it); the range as the dialog's coupling
// would show it, the delay within 0..1000.
std::optional<AdvancedFields> ReadOwnAdvanced(os::ProfileApi& profile, const std::wstring& path,
                                              int row);

// A whole number in decimal: an optional sign and digits, nothing else, within
// 32 bits. False for anything else (an empty text, a lone "-").
bool ParseWholeNumber(std::wstring_view text, int& value);
// A spin box's value as read: its text as a whole number, or 0.
int SpinValue(std::wstring_view text);
// The text a spin box keeps when it loses the focus: a number outside its
// range becomes the nearer bound, anything else stays as it is.
std::wstring SpinTextOnExit(std::wstring_view text, int low = kSpinMin, int high = kSpinMax);
// Keys a spin box takes as typed characters: digits, '+', '-', the locale's
// decimal separator and control characters other than Enter.
bool SpinAcceptsChar(wchar_t ch, wchar_t decimal_separator);

class AdvancedForm {
 public:
  AdvancedForm(os::ProfileApi& profile, os::ShellApi& shell, AdvancedView& view,
               AdvancedSettings& form1_settings);
  AdvancedForm(const AdvancedForm&) = delete;
  AdvancedForm& operator=(const AdvancedForm&) = delete;

  void FormCreate();
  void btnzatvoriClick();
  void Button1Click();
  void seOdChange();
  void seDoChange();
  // Before the dialog shows: the rows' captions with their current ports.
  void FormShow();
  // Another choice in "Settings for:": its settings are loaded.
  void ChoiceChanged();
  // The shown row goes back to the common settings: its section goes.
  void UseCommonClick();

  // The user changed a spin box's text (typing, pasting).
  void SpinChanged(AdvancedText spin);
  // Leaving a spin box: the out-of-range rule, then its change rule.
  void SpinExit(AdvancedText spin);
  // Arrow buttons and the Up/Down keys: one step within 0..100.
  void SpinStep(AdvancedText spin, int delta);

  // Loads the shown choice; at creation also every row's own settings.
  void UcitajNaprednaPodesavanja();
  // Saves the shown choice (a row gets settings of its own). Throws
  // quillet::Exception when a spin box holds no whole number or a write
  // fails; the keys written before stay written.
  void SacuvajNaprednaPodesavanja();

 private:
  // Setting the text a box already shows changes nothing and raises no
  // change, which ends the coupling's chain at 100.
  void SetSpinText(AdvancedText spin, const std::wstring& text);
  int Value(AdvancedText spin) const { return SpinValue(view_.Text(spin)); }
  // Fills the controls from `section`; `mirror` (when set) takes the values.
  void LoadControls(const std::wstring& section, AdvancedFields* mirror);
  void SaveControls(const std::wstring& section, AdvancedFields& mirror);
  void ShowChoiceState();
  std::wstring RowCaption(int row) const;

  os::ProfileApi& profile_;
  os::ShellApi& shell_;
  AdvancedView& view_;
  AdvancedSettings& settings_;
  int choice_ = 0;  // the choice the controls show
};

}  // namespace quillet::app
