// TForm2: the advanced-settings dialog on Win32. It shows the controls and
// forwards their events to AdvancedForm, which decides everything.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/advanced_fields.h"
#include "app/advanced_form.h"
#include "app/main_window_view.h"
#include "app/services.h"
#include "app/win32/dialog_window.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

inline constexpr wchar_t kForm2Class[] = L"TForm2";
inline constexpr wchar_t kForm2Caption[] = L"Advanced settings";

// Control ids of the dialog, for the view and the tests.
inline constexpr int kForm2Edprefiks = 3101;
inline constexpr int kForm2Edsufiks = 3102;
inline constexpr int kForm2Cbprefiks = 3103;
inline constexpr int kForm2Cbsufiks = 3104;
inline constexpr int kForm2CbCR = 3105;
inline constexpr int kForm2CbLF = 3106;
inline constexpr int kForm2SeOd = 3107;
inline constexpr int kForm2SeDo = 3108;
inline constexpr int kForm2Button1 = 3109;
inline constexpr int kForm2Btnzatvori = 3110;
inline constexpr int kForm2SeOdArrows = 3111;
inline constexpr int kForm2SeDoArrows = 3112;
inline constexpr int kForm2Choice = 3113;
inline constexpr int kForm2UseCommon = 3114;
inline constexpr int kForm2ChoiceNote = 3115;
inline constexpr int kForm2KeyHint = 3116;
inline constexpr int kForm2SeCharDelay = 3117;
inline constexpr int kForm2SeCharDelayArrows = 3118;

class TForm2 final : public DialogWindow, public ModalForm, public AdvancedView {
 public:
  // form1_settings: the main window's copies of the common and each row's values.
  TForm2(HINSTANCE instance, HWND owner, Services services, AdvancedSettings& form1_settings);
  ~TForm2() override;
  // Creates the dialog hidden; its creation loads the advanced settings.
  // False when the window cannot be created.
  bool Create();

  // ModalForm
  bool Showing() const override { return DialogWindow::Showing(); }
  void ShowModal() override;

  // AdvancedView
  std::wstring Text(AdvancedText control) const override;
  void SetText(AdvancedText control, const std::wstring& text) override;
  bool Checked(AdvancedCheck control) const override;
  void SetChecked(AdvancedCheck control, bool checked) override;
  void CloseDialog() override { EndModal(); }
  void SetChoices(const std::vector<std::wstring>& captions, int selected) override;
  int Choice() const override;
  void ShowChoiceState(const std::wstring& note, bool can_use_common) override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void CreateControls();
  void AddSpinBox(int id, int arrows_id, int left, int top, int high = kSpinMax);
  void AddLabel(const wchar_t* text, int left, int top, HFONT font);
  void OnCommand(int id, int code);
  // Runs a handler of the logic; an error that ends it goes to the standard error box.
  template <typename F>
  void Run(F&& handler);
  static LRESULT CALLBACK SpinEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);

  AdvancedForm logic_;
  os::win32::UniqueFont font_;
  os::win32::UniqueFont font_bold_;
  os::win32::UniqueFont font_plus_;
  wchar_t decimal_separator_ = L'.';
  bool setting_text_ = false;  // programmatic changes raise no change event
};

}  // namespace quillet::app::win32
