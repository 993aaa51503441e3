// The main window's answers to its logic (the MainView it implements):
// message boxes, timers, the rows' ticks and labels, the status bar, the
// menu ticks, hiding and closing.
#include <windows.h>

#include "app/main_window_layout.h"
#include "app/win32/error_box_win32.h"
#include "app/win32/main_window.h"
#include "app/win32/main_window_parts.h"
#include "os/win32/helpers/device_context.h"
#include "os/win32/helpers/program_file.h"
#include "resources/resource_ids.h"
#include "serial/com_port.h"
#include "serial/win32/com_setup_form.h"

namespace quillet::app::win32 {

using os::win32::SelectInDc;

int TextWidth(HDC dc, HFONT font, std::wstring_view text) {
  SelectInDc select(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

int TextWidth(HWND control, HFONT font, std::wstring_view text) {
  const os::win32::WindowDc dc(control);
  return TextWidth(dc.get(), font, text);
}

bool TForm1::AskYesNo(const std::wstring& text) {
  return MessageBoxW(hwnd_, text.c_str(), ApplicationTitle().c_str(), MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

void TForm1::ShowInformation(const std::wstring& text) {
  MessageBoxW(hwnd_, text.c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONINFORMATION);
}

void TForm1::ShowError(const std::wstring& message) {
  ShowStandardErrorBox(hwnd_, message);
}

void TForm1::SetTimer1Enabled(bool enabled) {
  // Enabling an enabled timer must not restart its interval.
  if (enabled == timer1_enabled_) return;
  timer1_enabled_ = enabled;
  if (enabled) {
    SetTimer(hwnd_, kTimer1, 1000, nullptr);
  } else {
    KillTimer(hwnd_, kTimer1);
  }
}

void TForm1::SetScanTimer(unsigned milliseconds) {
  if (milliseconds == 0) {
    if (scan_timer_armed_) KillTimer(hwnd_, kScanTimer);
    scan_timer_armed_ = false;
    return;
  }
  scan_timer_armed_ = SetTimer(hwnd_, kScanTimer, milliseconds, nullptr) != 0;
}

void TForm1::SetRetryTimer(unsigned milliseconds) {
  if (milliseconds == 0) {
    if (retry_timer_armed_) KillTimer(hwnd_, kRetryTimer);
    retry_timer_armed_ = false;
    return;
  }
  retry_timer_armed_ = SetTimer(hwnd_, kRetryTimer, milliseconds, nullptr) != 0;
}

void TForm1::StopTypingTimer() {
  if (typing_timer_ == nullptr) return;
  // Waits for a callback under way; a tick it posted may still come, and the
  // queue takes an early tick in its stride.
  DeleteTimerQueueTimer(nullptr, typing_timer_, INVALID_HANDLE_VALUE);
  typing_timer_ = nullptr;
}

void TForm1::SetTypingTimer(unsigned milliseconds) {
  StopTypingTimer();
  if (milliseconds == 0 || hwnd_ == nullptr) return;
  const auto tick = [](PVOID window, BOOLEAN) {
    PostMessageW(static_cast<HWND>(window), kTypingTickMessage, 0, 0);
  };
  if (!CreateTimerQueueTimer(&typing_timer_, nullptr, tick, hwnd_, milliseconds, 0,
                             WT_EXECUTEINTIMERTHREAD | WT_EXECUTEONLYONCE)) {
    typing_timer_ = nullptr;
    // The window timer still moves the typing on, if more slowly.
    SetTimer(hwnd_, kTypingTimer, milliseconds, nullptr);
  }
}

std::uint32_t TForm1::LocalMsOfDay() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return ((now.wHour * 60u + now.wMinute) * 60u + now.wSecond) * 1000u + now.wMilliseconds;
}

bool TForm1::OpenChecked(int row) const {
  return IsDlgButtonChecked(hwnd_, OpenCheckBoxId(row)) == BST_CHECKED;
}

void TForm1::SetOpenChecked(int row, bool checked) {
  // BM_SETCHECK reports no click: the logic runs the row's handler itself.
  CheckDlgButton(hwnd_, OpenCheckBoxId(row), checked ? BST_CHECKED : BST_UNCHECKED);
}

void TForm1::SetLabelColour(int id, COLORREF colour) {
  text_colours_[id] = colour;
  InvalidateRect(GetDlgItem(hwnd_, id), nullptr, TRUE);
}

void TForm1::SetStatusLabel(int row, const std::wstring& text, LabelColour colour) {
  const int id = StatusLabelId(row);
  HWND label = GetDlgItem(hwnd_, id);
  if (label == nullptr) return;
  // A row waiting for its device is told its error on every retry: nothing
  // to repaint when nothing changes.
  const auto known = text_colours_.find(id);
  const bool same_colour =
      colour == LabelColour::WindowDefault
          ? known == text_colours_.end()
          : known != text_colours_.end() &&
                known->second == (colour == LabelColour::Red ? RGB(255, 0, 0) : RGB(0, 0, 0));
  wchar_t current[64] = {};
  GetWindowTextW(label, current, 64);
  if (same_colour && text == current) return;
  SetWindowTextW(label, text.c_str());
  // The label is sized to its text; the background under its old size shows again.
  RECT old{};
  GetWindowRect(label, &old);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&old), 2);
  SetWindowPos(label, nullptr, 0, 0, TextWidth(label, FontFor(id), text), old.bottom - old.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd_, &old, TRUE);
  switch (colour) {
    case LabelColour::WindowDefault:
      text_colours_.erase(id);
      break;
    case LabelColour::Black:
      text_colours_[id] = RGB(0, 0, 0);
      break;
    case LabelColour::Red:
      text_colours_[id] = RGB(255, 0, 0);
      break;
  }
  InvalidateRect(label, nullptr, TRUE);
}

void TForm1::SetStatusText(const std::wstring& text) {
  SendMessageW(GetDlgItem(hwnd_, kStatusBarId), SB_SETTEXTW, 0,
               reinterpret_cast<LPARAM>(text.c_str()));
}

bool TForm1::RunMinimizedChecked() const {
  return (GetMenuState(GetMenu(hwnd_), kMenuRunMinimized, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TForm1::UpdateStartWithWindowsTick() {
  const bool ticked = logic_->StartsWithWindows(os::win32::ProgramFilePath());
  CheckMenuItem(GetMenu(hwnd_), kMenuStartWithWindows,
                MF_BYCOMMAND | (ticked ? MF_CHECKED : MF_UNCHECKED));
}

void TForm1::SetRunMinimizedChecked(bool checked) {
  CheckMenuItem(GetMenu(hwnd_), kMenuRunMinimized,
                MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TForm1::ShowPortSetupDialog(serial::TComPort& port) {
  serial::ShowSetupDialog(port, hwnd_, services_.registry);
}

void TForm1::ProcessMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The program's own loop ends on it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void TForm1::Pause(unsigned milliseconds) {
  Sleep(milliseconds);
}

void TForm1::HideApplication() {
  if (tray_ != nullptr) tray_->Tray().HideApplication();
}

void TForm1::ShowInfoBalloon(const std::wstring& title, const std::wstring& text,
                             unsigned milliseconds) {
  if (tray_ != nullptr)
    tray_->Tray().BalloonHint(title, text, TBalloonType::btInfo, milliseconds, true);
}

void TForm1::SetKeyboardCaptionToButtonFace() {
  SetLabelColour(FindControl(L"lbkeyboard")->id, GetSysColor(COLOR_BTNFACE));
}

void TForm1::RequestClose() {
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace quillet::app::win32
