#include "serial/win32/com_combo_box.h"

#include "serial/com_port.h"
#include "serial/com_storage.h"

namespace quillet::serial {

TComComboBox::TComComboBox(HWND parent, int id, int left, int top, int width, int dropHeight,
                           os::RegistryApi& registry)
    : FComSelect(*this, registry) {
  FHandle = ::CreateWindowExW(
      0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, left,
      top, width, dropHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), nullptr);
}

TComComboBox::~TComComboBox() {
  SetComPort(nullptr);
  // The control itself goes with its parent window.
}

void TComComboBox::SetComPort(TCustomComPort* value) {
  TCustomComPort* const old = FComSelect.ComPort();
  if (value == old) return;
  if (old != nullptr) old->FreeNotifier().Remove(this);
  FComSelect.SetComPort(value);
  if (value != nullptr) {
    value->FreeNotifier().Add(this, [this](TCustomComPort*) { PortDestroyed(); });
    UpdateSettings();
  }
}

void TComComboBox::PortDestroyed() {
  FComSelect.SetComPort(nullptr);
  if (Count() > 0) ::SendMessageW(FHandle, CB_SETCURSEL, 0, 0);
}

void TComComboBox::SetComProperty(TComProperty value) {
  FComSelect.SetComProperty(value);
  if (Count() == 0) return;
  if (FComSelect.ComPort() != nullptr) {
    UpdateSettings();
  } else {
    ::SendMessageW(FHandle, CB_SETCURSEL, 0, 0);
  }
}

void TComComboBox::UpdateSettings() {
  int index = static_cast<int>(::SendMessageW(FHandle, CB_GETCURSEL, 0, 0));
  FComSelect.UpdateSettings(index);
  ::SendMessageW(FHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::wstring TComComboBox::Text() const {
  const auto index = static_cast<int>(::SendMessageW(FHandle, CB_GETCURSEL, 0, 0));
  return index < 0 ? std::wstring() : Strings(index);
}

void TComComboBox::SetText(const std::wstring& value) {
  // CB_FINDSTRINGEXACT compares ignoring case.
  const LRESULT index = ::SendMessageW(FHandle, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(value.c_str()));
  if (index != CB_ERR) ::SendMessageW(FHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TComComboBox::HandleCommand(WORD code) {
  if (code != CBN_SELCHANGE) return;
  FComSelect.Change(Text());
  if (FOnChange) FOnChange();
}

void TComComboBox::Clear() {
  ::SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
}

void TComComboBox::Add(const std::wstring& text) {
  ::SendMessageW(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int TComComboBox::Count() const {
  return static_cast<int>(::SendMessageW(FHandle, CB_GETCOUNT, 0, 0));
}

std::wstring TComComboBox::Strings(int index) const {
  const LRESULT length = ::SendMessageW(FHandle, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::SendMessageW(FHandle, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace quillet::serial
