#include "app/win32/advanced_dialog.h"

#include <commctrl.h>

#include <exception>
#include <string>

#include "app/main_window_layout.h"
#include "app/reception/key_script.h"
#include "app/win32/error_box_win32.h"
#include "os/exception.h"
#include "os/win32/helpers/device_context.h"

namespace quillet::app::win32 {
namespace {

// A dialog frame whose title bar has no buttons.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
// The choice of whose settings are shown sits above the first controls,
// which move down by this much; the key names stand to their right.
constexpr int kTop = 54;
constexpr int kClientWidth = 400;
constexpr int kClientHeight = 329;

int IdOf(AdvancedText control) {
  switch (control) {
    case AdvancedText::edprefiks:
      return kForm2Edprefiks;
    case AdvancedText::edsufiks:
      return kForm2Edsufiks;
    case AdvancedText::seOd:
      return kForm2SeOd;
    case AdvancedText::seDo:
      return kForm2SeDo;
    case AdvancedText::seCharDelay:
      return kForm2SeCharDelay;
  }
  return 0;
}

int IdOf(AdvancedCheck control) {
  switch (control) {
    case AdvancedCheck::cbprefiks:
      return kForm2Cbprefiks;
    case AdvancedCheck::cbsufiks:
      return kForm2Cbsufiks;
    case AdvancedCheck::cbCR:
      return kForm2CbCR;
    case AdvancedCheck::cbLF:
      return kForm2CbLF;
  }
  return 0;
}

wchar_t LocaleDecimalSeparator() {
  wchar_t text[4] = {};
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 4) > 1 ? text[0] : L'.';
}

}  // namespace

TForm2::TForm2(HINSTANCE instance, HWND owner, Services services, AdvancedSettings& form1_settings)
    : DialogWindow(instance, owner),
      logic_(services.profile, services.shell, *this, form1_settings) {}

TForm2::~TForm2() {
  if (Handle() != nullptr) DestroyWindow(Handle());
}

bool TForm2::Create() {
  if (!CreateHidden(kForm2Class, kForm2Caption, kStyle, kClientWidth, kClientHeight)) return false;
  decimal_separator_ = LocaleDecimalSeparator();
  font_ = MakeDialogFont(L"Tahoma", 11, false, Dpi());
  font_bold_ = MakeDialogFont(L"Tahoma", 11, true, Dpi());
  font_plus_ = MakeDialogFont(L"Tahoma", 16, true, Dpi());
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  CreateControls();
  Run([this] { logic_.FormCreate(); });
  return true;
}

void TForm2::ShowModal() {
  // The rows' captions name the ports they have now.
  Run([this] { logic_.FormShow(); });
  RunModal();
}

template <typename F>
void TForm2::Run(F&& handler) {
  try {
    handler();
  } catch (...) {
    ReportError(CurrentExceptionMessage());
  }
}

void TForm2::AddLabel(const wchar_t* text, int left, int top, HFONT font) {
  HWND label =
      AddControl(WC_STATICW, text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, -1, left, top, 10, 13, font);
  if (label == nullptr) return;
  // Sized to its text.
  SIZE size{};
  {
    const os::win32::WindowDc dc(label);
    const os::win32::SelectInDc select(dc.get(), font);
    GetTextExtentPoint32W(dc.get(), text, static_cast<int>(wcslen(text)), &size);
  }
  SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::AddSpinBox(int id, int arrows_id, int left, int top, int high) {
  HWND edit = AddControl(WC_EDITW, L"0", ES_AUTOHSCROLL | WS_TABSTOP, id, left, top,
                         high > kSpinMax ? 56 : 48, 22, font_.get(), WS_EX_CLIENTEDGE);
  // The arrows sit inside the box's 48 pixels (UDS_ALIGNRIGHT narrows the edit).
  HWND arrows = AddControl(UPDOWN_CLASSW, L"", UDS_ALIGNRIGHT | UDS_ARROWKEYS, arrows_id, 0, 0, 0,
                           0, font_.get());
  if (edit == nullptr || arrows == nullptr) return;
  SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
  SendMessageW(arrows, UDM_SETRANGE32, kSpinMin, high);
  SetWindowSubclass(edit, &TForm2::SpinEditProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TForm2::CreateControls() {
  // Labels and lines first; the controls that take the focus in tab order.
  AddLabel(L"Settings for:", 16, 14, font_.get());
  AddControl(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kForm2ChoiceNote, 16, 36, 370, 13,
             font_.get());
  AddLabel(L"Prefix", 16, kTop + 13, font_.get());
  AddLabel(L"Sufix", 136, kTop + 13, font_.get());
  AddLabel(L"+", 56, kTop + 89, font_plus_.get());
  AddLabel(L"Barcode text from:", 17, kTop + 128, font_.get());
  AddLabel(L"Barcode text to:", 121, kTop + 128, font_.get());
  AddLabel(L"character", 71, kTop + 150, font_.get());
  AddLabel(L"characters", 190, kTop + 149, font_.get());
  AddLabel(L"(Default 0)", 17, kTop + 175, font_.get());
  AddLabel(L"(Default 0)", 132, kTop + 175, font_.get());
  AddLabel(L"Delay between characters (ms):", 17, kTop + 201, font_.get());
  AddLabel(L"Keys by name:", 252, kTop + 13, font_.get());
  const std::wstring hint(reception::KeyNamesHint());
  AddControl(WC_STATICW, hint.c_str(), SS_LEFT | SS_NOPREFIX, kForm2KeyHint, 252, kTop + 32, 136,
             150, font_.get());
  // The lines: 216 x 8, along the bottom edge; the first spans the key names too.
  AddControl(WC_STATICW, L"", SS_ETCHEDHORZ, -1, 16, kTop - 3, 372, 2, font_.get());
  AddControl(WC_STATICW, L"", SS_ETCHEDHORZ, -1, 17, kTop + 120, 216, 2, font_.get());
  AddControl(WC_STATICW, L"", SS_ETCHEDHORZ, -1, 17, kTop + 226, 371, 2, font_.get());

  HWND choice = AddControl(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                           kForm2Choice, 88, 10, 140, 200, font_.get());
  if (choice != nullptr) SendMessageW(choice, CB_SETMINVISIBLE, 9, 0);
  AddControl(WC_BUTTONW, L"Use all ports' settings", BS_PUSHBUTTON | WS_TABSTOP, kForm2UseCommon,
             236, 9, 152, 23, font_.get());
  AddControl(WC_EDITW, L"", ES_AUTOHSCROLL | ES_UPPERCASE | WS_TABSTOP, kForm2Edprefiks, 16,
             kTop + 32, 89, 21, font_.get(), WS_EX_CLIENTEDGE);
  AddControl(WC_EDITW, L"", ES_AUTOHSCROLL | ES_UPPERCASE | WS_TABSTOP, kForm2Edsufiks, 136,
             kTop + 32, 97, 21, font_.get(), WS_EX_CLIENTEDGE);
  AddControl(WC_BUTTONW, L"Add prefix", BS_AUTOCHECKBOX | WS_TABSTOP, kForm2Cbprefiks, 16,
             kTop + 59, 97, 17, font_.get());
  AddControl(WC_BUTTONW, L"Add sufix", BS_AUTOCHECKBOX | WS_TABSTOP, kForm2Cbsufiks, 136, kTop + 59,
             97, 17, font_.get());
  AddControl(WC_BUTTONW, L"CR", BS_AUTOCHECKBOX | WS_TABSTOP, kForm2CbCR, 17, kTop + 91, 37, 17,
             font_bold_.get());
  AddControl(WC_BUTTONW, L"LF", BS_AUTOCHECKBOX | WS_TABSTOP, kForm2CbLF, 79, kTop + 91, 52, 17,
             font_bold_.get());
  AddSpinBox(kForm2SeOd, kForm2SeOdArrows, 17, kTop + 147);
  AddSpinBox(kForm2SeDo, kForm2SeDoArrows, 136, kTop + 147);
  AddSpinBox(kForm2SeCharDelay, kForm2SeCharDelayArrows, 177, kTop + 198, kCharDelayMax);
  AddControl(WC_BUTTONW, L"Reset", BS_PUSHBUTTON | WS_TABSTOP, kForm2Button1, 17, kTop + 242, 75,
             25, font_.get());
  AddControl(WC_BUTTONW, L"Save && Close", BS_PUSHBUTTON | WS_TABSTOP, kForm2Btnzatvori, 136,
             kTop + 242, 104, 25, font_.get());
}

void TForm2::SetChoices(const std::vector<std::wstring>& captions, int selected) {
  HWND choice = GetDlgItem(Handle(), kForm2Choice);
  SendMessageW(choice, CB_RESETCONTENT, 0, 0);
  for (const std::wstring& caption : captions)
    SendMessageW(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption.c_str()));
  SendMessageW(choice, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int TForm2::Choice() const {
  const LRESULT selected = SendDlgItemMessageW(Handle(), kForm2Choice, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? 0 : static_cast<int>(selected);
}

void TForm2::ShowChoiceState(const std::wstring& note, bool can_use_common) {
  SetDlgItemTextW(Handle(), kForm2ChoiceNote, note.c_str());
  EnableWindow(GetDlgItem(Handle(), kForm2UseCommon), can_use_common ? TRUE : FALSE);
}

std::wstring TForm2::Text(AdvancedText control) const {
  HWND edit = GetDlgItem(Handle(), IdOf(control));
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TForm2::SetText(AdvancedText control, const std::wstring& text) {
  setting_text_ = true;
  SetDlgItemTextW(Handle(), IdOf(control), text.c_str());
  setting_text_ = false;
}

bool TForm2::Checked(AdvancedCheck control) const {
  return IsDlgButtonChecked(Handle(), IdOf(control)) == BST_CHECKED;
}

void TForm2::SetChecked(AdvancedCheck control, bool checked) {
  CheckDlgButton(Handle(), IdOf(control), checked ? BST_CHECKED : BST_UNCHECKED);
}

void TForm2::OnCommand(int id, int code) {
  const bool spin = id == kForm2SeOd || id == kForm2SeDo || id == kForm2SeCharDelay;
  const AdvancedText which = id == kForm2SeOd   ? AdvancedText::seOd
                             : id == kForm2SeDo ? AdvancedText::seDo
                                                : AdvancedText::seCharDelay;
  if (spin && code == EN_CHANGE && !setting_text_) Run([&] { logic_.SpinChanged(which); });
  if (spin && code == EN_KILLFOCUS) Run([&] { logic_.SpinExit(which); });
  if (id == kForm2Choice && code == CBN_SELCHANGE) Run([this] { logic_.ChoiceChanged(); });
  if (code != BN_CLICKED) return;
  if (id == kForm2UseCommon) Run([this] { logic_.UseCommonClick(); });
  if (id == kForm2Button1) Run([this] { logic_.Button1Click(); });
  if (id == kForm2Btnzatvori) Run([this] { logic_.btnzatvoriClick(); });
}

LRESULT TForm2::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->code != UDN_DELTAPOS) break;
      const auto* change = reinterpret_cast<const NMUPDOWN*>(lparam);
      const AdvancedText which = header->idFrom == kForm2SeOdArrows   ? AdvancedText::seOd
                                 : header->idFrom == kForm2SeDoArrows ? AdvancedText::seDo
                                                                      : AdvancedText::seCharDelay;
      Run([&] { logic_.SpinStep(which, change->iDelta > 0 ? 1 : -1); });
      return TRUE;  // the logic has set the text; the arrows keep no value of their own
    }
    case WM_CLOSE:
      return 0;  // no cancel path: only "Save & Close" closes the dialog
    default:
      break;
  }
  return DialogWindow::HandleMessage(message, wparam, lparam);
}

LRESULT CALLBACK TForm2::SpinEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR /*id*/, DWORD_PTR data) {
  const auto* self = reinterpret_cast<const TForm2*>(data);
  if (message == WM_CHAR &&
      !SpinAcceptsChar(static_cast<wchar_t>(wparam), self->decimal_separator_)) {
    MessageBeep(MB_OK);
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, &TForm2::SpinEditProc, 1);
  return DefSubclassProc(edit, message, wparam, lparam);
}

}  // namespace quillet::app::win32
