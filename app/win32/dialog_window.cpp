#include "app/win32/dialog_window.h"

#include "app/main_window_layout.h"
#include "app/win32/error_box_win32.h"
#include "os/win32/helpers/dpi.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {

using os::win32::UniqueFont;

UniqueFont MakeDialogFont(const wchar_t* face, int height96, bool bold, int dpi, BYTE charset) {
  return UniqueFont(CreateFontW(-ScaleForDpi(height96, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                face));
}

DialogWindow::~DialogWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool DialogWindow::CreateHidden(const wchar_t* class_name, const std::wstring& caption, DWORD style,
                                int client_width96, int client_height96) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &DialogWindow::WindowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
  dpi_ = os::win32::ScreenDpi();
  const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, ScaleForDpi(client_width96, dpi_), ScaleForDpi(client_height96, dpi_)};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  hwnd_ =
      CreateWindowExW(ex_style, class_name, caption.c_str(), style, 0, 0, frame.right - frame.left,
                      frame.bottom - frame.top, owner_, nullptr, instance_, this);
  return hwnd_ != nullptr;
}

HWND DialogWindow::AddControl(const wchar_t* window_class, const wchar_t* text, DWORD style, int id,
                              int left, int top, int width, int height, HFONT font,
                              DWORD ex_style) {
  HWND control = CreateWindowExW(
      ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, ScaleForDpi(left, dpi_),
      ScaleForDpi(top, dpi_), ScaleForDpi(width, dpi_), ScaleForDpi(height, dpi_), hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void DialogWindow::CentreOverOwner() {
  RECT owner{};
  RECT self{};
  GetWindowRect(owner_, &owner);
  GetWindowRect(hwnd_, &self);
  const int width = self.right - self.left;
  const int height = self.bottom - self.top;
  const int x = owner.left + ((owner.right - owner.left) - width) / 2;
  const int y = owner.top + ((owner.bottom - owner.top) - height) / 2;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::RunModal() {
  if (hwnd_ == nullptr || Showing()) return;
  modal_done_ = false;
  CentreOverOwner();
  EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  // The first control of the tab order takes the focus.
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
  MSG message{};
  bool quit = false;
  while (!modal_done_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      quit = true;
      break;
    }
    if (IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The owner is enabled before the dialog hides, so it gets the activation back.
  EnableWindow(owner_, TRUE);
  ShowWindow(hwnd_, SW_HIDE);
  if (IsWindow(owner_)) SetActiveWindow(owner_);
  if (quit) PostQuitMessage(static_cast<int>(message.wParam));
}

void DialogWindow::ReportError(const std::wstring& message) {
  ShowStandardErrorBox(hwnd_, message);
}

LRESULT DialogWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      EndModal();
      return 0;
    case WM_NCDESTROY:
      os::win32::ForgetWindowObject(hwnd_);
      hwnd_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK DialogWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = os::win32::WindowObject<DialogWindow>(
      hwnd, message, lparam, [hwnd](DialogWindow* dialog) { dialog->hwnd_ = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); },
      [hwnd] { ShowCurrentExceptionBox(hwnd); });
}

}  // namespace quillet::app::win32
