// TForm1: the main window on Win32. It creates the controls of the layout
// table, forwards every event to the portable MainForm and reflects its state;
// no exception leaves the window procedure.
#pragma once

#include <windows.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "app/main_window_logic.h"
#include "app/main_window_view.h"
#include "app/services.h"
#include "app/win32/main_window_pictures.h"
#include "app/win32/monitor_window.h"
#include "app/win32/single_instance_guard.h"
#include "app/win32/tray_icon_win32.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

class TForm1 final : public MainView {
 public:
  TForm1(HINSTANCE instance, Services services);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;
  ~TForm1() override;

  // Creates the window hidden, with its controls and menu, centred on the
  // screen, and runs FormCreate. False when the window cannot be created.
  bool Create();
  // True when Create stopped because another copy of the program runs;
  // that copy has been brought forward and this one is to end with code 0.
  bool SecondCopy() const { return second_copy_; }
  // Shows and paints the window; its first showing runs FormShow.
  void Show(int show_command);
  // Makes the tray icon and puts it in the notification area (once).
  // Start-up does it after
  // the first paint, since the shell may keep the caller waiting; a window
  // shown minimised gets it before, for the minimise balloon.
  void ActivateTrayIcon();

  HWND Handle() const { return hwnd_; }
  MainForm& Logic() { return *logic_; }

  // MainView
  bool AskYesNo(const std::wstring& text) override;
  void ShowInformation(const std::wstring& text) override;
  void ShowError(const std::wstring& message) override;
  std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::now();
  }
  void SetScanTimer(unsigned milliseconds) override;
  void SetRetryTimer(unsigned milliseconds) override;
  void SetTypingTimer(unsigned milliseconds) override;
  void WaitWhileClosing(unsigned milliseconds) override { Sleep(milliseconds); }
  std::uint32_t LocalMsOfDay() const override;
  bool Timer1Enabled() const override { return timer1_enabled_; }
  void SetTimer1Enabled(bool enabled) override;
  bool OpenChecked(int row) const override;
  void SetOpenChecked(int row, bool checked) override;
  void SetStatusLabel(int row, const std::wstring& text, LabelColour colour) override;
  void SetStatusText(const std::wstring& text) override;
  bool RunMinimizedChecked() const override;
  void SetRunMinimizedChecked(bool checked) override;
  void ShowPortSetupDialog(serial::TComPort& port) override;
  void ProcessMessages() override;
  void Pause(unsigned milliseconds) override;
  void HideApplication() override;
  bool ApplicationHidden() const override { return hwnd_ != nullptr && !IsWindowVisible(hwnd_); }
  void ShowInfoBalloon(const std::wstring& title, const std::wstring& text,
                       unsigned milliseconds) override;
  void SetKeyboardCaptionToButtonFace() override;
  void RequestClose() override;

  // The tray icon; null until ActivateTrayIcon.
  TTrayIconWindow* TrayIcon() const { return tray_.get(); }

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateFonts();
  void CreateControls();
  void CreateMainMenu();
  void PlaceWindow();
  void OnCommand(int id, int code);
  void OnClose();
  // Settings > Start with Windows shows whether the Run value names this program.
  void UpdateStartWithWindowsTick();
  void OnDeviceChange(WPARAM event, LPARAM data);
  void ConnectSerialEngine();
  void SetLabelColour(int id, COLORREF colour);
  void PaintBackground(HDC dc);
  LRESULT OnControlColour(HDC dc, HWND control);
  HFONT FontFor(int id) const;
  void InstancesInstanceCreated(TAppInstances& sender, std::uint32_t process_id);

  HINSTANCE instance_;
  Services services_;
  std::unique_ptr<MainForm> logic_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  os::win32::UniqueFont font_default_;
  os::win32::UniqueFont font_caption_;
  os::win32::UniqueFont font_caption_bold_;
  // The picture panel right of the divider; the captions on it paint its
  // matching part behind their text.
  LayoutRect picture_panel_{};
  os::win32::UniqueBrush picture_brush_;
  std::unique_ptr<MenuIcons> menu_icons_;
  os::win32::UniqueMenu menu_;  // owned until attached to the window
  std::map<int, COLORREF> text_colours_;
  bool timer1_enabled_ = false;
  bool scan_timer_armed_ = false;
  bool retry_timer_armed_ = false;
  // The typing timer: a timer-queue timer that posts kTypingTickMessage, since
  // a window timer is rounded up to 10 ms and the typing looks at the window
  // every millisecond while it is behind.
  static constexpr UINT kTypingTickMessage = WM_APP + 2;
  HANDLE typing_timer_ = nullptr;
  void StopTypingTimer();
  bool shown_once_ = false;
  bool asking_to_close_ = false;
  std::unique_ptr<TAppInstances> instances_;  // the single-instance guard
  std::unique_ptr<TTrayIconWindow> tray_;
  std::unique_ptr<TMonitorForm> monitor_;  // its window exists only while shown
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  bool minimised_ = false;
  bool engine_connected_ = false;
  bool second_copy_ = false;
};

}  // namespace quillet::app::win32
