#include "serial/win32/com_setup_form.h"

#include <exception>
#include <vector>

#include "os/exception.h"
#include "os/win32/helpers/device_context.h"
#include "os/win32/helpers/dpi.h"
#include "os/win32/helpers/window_object.h"
#include "serial/com_port.h"
#include "serial/component.h"

namespace quillet::serial {

namespace {

// The layout in pixels at 96 dots per inch.
constexpr int kClientWidth = 231;
constexpr int kClientHeight = 216;
constexpr RECT kGroupBox = {8, 8, 8 + 217, 8 + 169};
// Inside the group box.
constexpr int kLabelLeft = 8;
constexpr int kFirstLabelTop = 24;
constexpr int kComboLeft = 80;
constexpr int kFirstComboTop = 16;
constexpr int kComboWidth = 129;
constexpr int kRowStep = 24;
constexpr RECT kOkButton = {70, 184, 70 + 75, 184 + 25};
constexpr RECT kCancelButton = {150, 184, 150 + 75, 184 + 25};

constexpr TComProperty kComboProperties[6] = {
    TComProperty::cpPort,     TComProperty::cpBaudRate, TComProperty::cpDataBits,
    TComProperty::cpStopBits, TComProperty::cpParity,   TComProperty::cpFlowControl};
const wchar_t* const kLabels[6] = {L"Port",      L"Baud rate", L"Data bits",
                                   L"Stop bits", L"Parity",    L"Flow control"};

// An empty, hidden dialog with its caption; the controls are made in pixels.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* tmpl = reinterpret_cast<DLGTEMPLATE*>(words.data());
  tmpl->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  for (const wchar_t* c = L"Port settings";; ++c) {
    words.push_back(static_cast<WORD>(*c));
    if (*c == L'\0') break;
  }
  return words;
}

HWND MakeChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id,
               const RECT& r) {
  return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                           r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TComSetupFrm::TComSetupFrm(HWND owner, os::RegistryApi& registry) : FOwner(owner) {
  const std::vector<WORD> tmpl = DialogTemplate();
  FHandle = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()), owner,
                                         DialogProc, reinterpret_cast<LPARAM>(this));
  if (FHandle == nullptr) throw Exception(L"Cannot create the port settings dialog");
  try {
    CreateControls(registry);
  } catch (...) {
    ::DestroyWindow(FHandle);
    throw;
  }
}

TComSetupFrm::~TComSetupFrm() {
  // The lists let go of their port before their controls go.
  for (auto& combo : FCombos) combo.reset();
  ::DestroyWindow(FHandle);
}

void TComSetupFrm::CreateControls(os::RegistryApi& registry) {
  const int dpi = os::win32::ScreenDpi();
  auto px = [dpi](int v) { return ::MulDiv(v, dpi, 96); };
  auto scaled = [&px](const RECT& r) {
    return RECT{px(r.left), px(r.top), px(r.right), px(r.bottom)};
  };

  FFont.reset(::CreateFontW(-px(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));

  // Creation order is the tab order: the lists, then OK, then Cancel.
  std::vector<HWND> controls;
  controls.push_back(MakeChild(FHandle, L"BUTTON", L"", BS_GROUPBOX, -1, scaled(kGroupBox)));
  {
    const os::win32::WindowDc dc(FHandle);
    const os::win32::SelectInDc select(dc.get(), FFont.get());
    for (int i = 0; i < 6; ++i) {
      SIZE extent{};
      ::GetTextExtentPoint32W(dc.get(), kLabels[i], static_cast<int>(wcslen(kLabels[i])), &extent);
      const int left = px(kGroupBox.left + kLabelLeft);
      const int top = px(kGroupBox.top + kFirstLabelTop + i * kRowStep);
      controls.push_back(MakeChild(FHandle, L"STATIC", kLabels[i], SS_LEFT | SS_NOPREFIX, -1,
                                   RECT{left, top, left + extent.cx, top + extent.cy}));
    }
  }
  for (int i = 0; i < 6; ++i) {
    FCombos[static_cast<std::size_t>(i)] = std::make_unique<TComComboBox>(
        FHandle, kComSetupComboId + i, px(kGroupBox.left + kComboLeft),
        px(kGroupBox.top + kFirstComboTop + i * kRowStep), px(kComboWidth), px(200), registry);
    controls.push_back(FCombos[static_cast<std::size_t>(i)]->Handle());
  }
  controls.push_back(MakeChild(FHandle, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP,
                               kComSetupOkId, scaled(kOkButton)));
  controls.push_back(MakeChild(FHandle, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP,
                               kComSetupCancelId, scaled(kCancelButton)));
  for (HWND control : controls) {
    if (control == nullptr) throw Exception(L"Cannot create the port settings dialog");
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);
  }
  // Fill after the font is set, so each list's height fits it.
  for (int i = 0; i < 6; ++i)
    FCombos[static_cast<std::size_t>(i)]->SetComProperty(kComboProperties[i]);

  // Client area of the layout, centred on the screen.
  RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  ::SetWindowPos(FHandle, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

TModalResult TComSetupFrm::ShowModal() {
  FModalResult = TModalResult::mrNone;
  const bool disableOwner = FOwner != nullptr && ::IsWindowEnabled(FOwner);
  if (disableOwner) ::EnableWindow(FOwner, FALSE);
  ::ShowWindow(FHandle, SW_SHOW);
  ::SetFocus(FCombos[0]->Handle());
  MSG msg;
  while (FModalResult == TModalResult::mrNone) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The application is quitting: pass the request on to its own loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      FModalResult = TModalResult::mrCancel;
    } else if (got == -1) {
      FModalResult = TModalResult::mrCancel;
    } else if (!::IsDialogMessageW(FHandle, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  // The owner is enabled before the dialog hides, so it gets the activation back.
  if (disableOwner) ::EnableWindow(FOwner, TRUE);
  ::ShowWindow(FHandle, SW_HIDE);
  return FModalResult;
}

INT_PTR CALLBACK TComSetupFrm::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = os::win32::DialogObject<TComSetupFrm>(window, message, lParam);
  if (message == WM_INITDIALOG) return TRUE;
  if (self == nullptr) return FALSE;
  // A failed handler counts as handled; the application's handler shows why.
  return os::win32::CallGuarded<INT_PTR>(
      TRUE, [&] { return self->HandleMessage(message, wParam, lParam) ? TRUE : FALSE; },
      [] { HandleApplicationException(std::current_exception()); });
}

bool TComSetupFrm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == kComSetupOkId) {
        FModalResult = TModalResult::mrOk;
      } else if (id == kComSetupCancelId) {
        FModalResult = TModalResult::mrCancel;
      } else if (id >= kComSetupComboId && id < kComSetupComboId + 6) {
        FCombos[static_cast<std::size_t>(id - kComSetupComboId)]->HandleCommand(HIWORD(wParam));
      }
      // IDCANCEL comes from Escape, which this dialog ignores.
      return true;
    }
    case WM_CLOSE:
      FModalResult = TModalResult::mrCancel;
      return true;
    default:
      return false;
  }
}

void ShowSetupDialog(TCustomComPort& port, HWND owner, os::RegistryApi& registry) {
  TComSetupFrm form(owner, registry);
  for (int i = 0; i < 6; ++i) form.Combo(i).SetComPort(&port);
  for (int i = 0; i < 6; ++i) form.Combo(i).UpdateSettings();
  if (form.ShowModal() != TModalResult::mrOk) return;
  port.BeginUpdate();
  std::exception_ptr failure;
  try {
    for (int i = 0; i < 6; ++i) form.Combo(i).ApplySettings();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    port.EndUpdate();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace quillet::serial
