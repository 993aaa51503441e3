// The advanced-settings dialog's logic (Form2): load and save of section
// [Napredna], Reset, and the rules of the two 0..100 spin boxes and their
// coupling. The Win32 dialog only shows the controls and forwards their
// events here.
#pragma once

#include <string>
#include <string_view>

#include "app/advanced_fields.h"

namespace quillet::os {
class ProfileApi;
class ShellApi;
}  // namespace quillet::os

namespace quillet::app {

enum class AdvancedText { edprefiks, edsufiks, seOd, seDo };
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
};

// A whole number in decimal: an optional sign and digits, nothing else, within
// 32 bits. False for anything else (an empty text, a lone "-").
bool ParseWholeNumber(std::wstring_view text, int& value);
// A spin box's value as read: its text as a whole number, or 0.
int SpinValue(std::wstring_view text);
// The text a spin box keeps when it loses the focus: a number outside 0..100
// becomes the nearer bound, anything else stays as it is.
std::wstring SpinTextOnExit(std::wstring_view text);
// Keys a spin box takes as typed characters: digits, '+', '-', the locale's
// decimal separator and control characters other than Enter.
bool SpinAcceptsChar(wchar_t ch, wchar_t decimal_separator);

class AdvancedForm {
 public:
  AdvancedForm(os::ProfileApi& profile, os::ShellApi& shell, AdvancedView& view,
               AdvancedFields& form1_fields);
  AdvancedForm(const AdvancedForm&) = delete;
  AdvancedForm& operator=(const AdvancedForm&) = delete;

  void FormCreate();
  void btnzatvoriClick();
  void Button1Click();
  void seOdChange();
  void seDoChange();

  // The user changed a spin box's text (typing, pasting).
  void SpinChanged(AdvancedText spin);
  // Leaving a spin box: the out-of-range rule, then its change rule.
  void SpinExit(AdvancedText spin);
  // Arrow buttons and the Up/Down keys: one step within 0..100.
  void SpinStep(AdvancedText spin, int delta);

  void UcitajNaprednaPodesavanja();
  // Throws quillet::Exception when a spin box holds no whole number or a
  // write fails; the keys written before stay written.
  void SacuvajNaprednaPodesavanja();

 private:
  // Setting the text a box already shows changes nothing and raises no
  // change, which ends the coupling's chain at 100.
  void SetSpinText(AdvancedText spin, const std::wstring& text);
  int Value(AdvancedText spin) const { return SpinValue(view_.Text(spin)); }

  os::ProfileApi& profile_;
  os::ShellApi& shell_;
  AdvancedView& view_;
  AdvancedFields& fields_;
};

}  // namespace quillet::app
