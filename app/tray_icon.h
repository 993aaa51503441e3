// TTrayIcon: the program's icon in the notification area, the hiding of the
// main window there on minimising, the click that brings it back, and the
// balloons. Portable: the shell, the timer and the clock come through
// TrayShell, the main window through TrayApplication (app/win32 has the real
// ones, tests fakes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet::app {

// Used as a bit set (FState).
enum class TTrayIconState { tisTrayIconVisible, tisHooked, tisClicked };

// Balloon icons; BalloonInfoFlags gives the shell's NIIF_* value.
enum class TBalloonType { btNone, btError, btInfo, btWarning };
unsigned BalloonInfoFlags(TBalloonType type);

enum class TTrayRequest { Add, Modify, Delete, SetVersion };

// The fields of NOTIFYICONDATAW the program fills, without <windows.h>.
struct TNotifyIconRecord {
  std::uintptr_t window = 0;           // hWnd: the tray icon's invisible window
  unsigned id = 1;                     // uID
  unsigned callback_message = 0x0401;  // uCallbackMessage: WM_USER + 1
  std::uintptr_t icon = 0;             // hIcon
  std::wstring tip;                    // szTip, at most 127 characters
  std::wstring info_title;             // szInfoTitle, at most 63
  std::wstring info;                   // szInfo, at most 255
  unsigned timeout = 0;                // uTimeout, milliseconds
  unsigned info_flags = 0;             // dwInfoFlags (NIIF_*)
};

inline constexpr std::size_t kTipLength = 127;
inline constexpr std::size_t kInfoTitleLength = 63;
inline constexpr std::size_t kInfoLength = 255;

// Messages the callback message carries in its long parameter.
inline constexpr unsigned kWmMouseMove = 0x0200;
inline constexpr unsigned kWmLButtonDown = 0x0201;
inline constexpr unsigned kWmLButtonUp = 0x0202;
inline constexpr unsigned kWmLButtonDblClk = 0x0203;
inline constexpr unsigned kWmRButtonDown = 0x0204;
inline constexpr unsigned kWmRButtonUp = 0x0205;
inline constexpr unsigned kWmRButtonDblClk = 0x0206;
inline constexpr unsigned kWmMButtonDown = 0x0207;
inline constexpr unsigned kWmMButtonUp = 0x0208;
inline constexpr unsigned kWmMButtonDblClk = 0x0209;
inline constexpr unsigned kNinBalloonShow = 0x0402;       // WM_USER + 2
inline constexpr unsigned kNinBalloonHide = 0x0403;       // WM_USER + 3
inline constexpr unsigned kNinBalloonTimeout = 0x0404;    // WM_USER + 4
inline constexpr unsigned kNinBalloonUserClick = 0x0405;  // WM_USER + 5

// The shell, timer and clock of the tray icon.
class TrayShell {
 public:
  virtual ~TrayShell() = default;
  // Shell_NotifyIconW. balloon_only: a modify with NIF_INFO alone; otherwise
  // add and modify carry NIF_MESSAGE | NIF_ICON | NIF_TIP.
  virtual bool Notify(TTrayRequest request, const TNotifyIconRecord& record, bool balloon_only) = 0;
  virtual unsigned long LastError() = 0;
  virtual void Sleep(unsigned milliseconds) = 0;  // blocking pause between retries
  virtual double NowSeconds() = 0;                // FTime clock
  virtual void StartTimer2(unsigned milliseconds) = 0;
  virtual void StopTimer2() = 0;
};

// What the tray icon does to the application's main window.
class TrayApplication {
 public:
  virtual ~TrayApplication() = default;
  virtual bool MainWindowMinimised() const = 0;
  // Main window to minimised, owned windows hidden; the application's
  // minimise event fires.
  virtual void MinimiseApplication() = 0;
  virtual void HideMainWindow() = 0;
  // Back on the taskbar, still minimised.
  virtual void ShowMainWindow() = 0;
  // Restored and active, owned windows shown, focus back where it was.
  virtual void RestoreApplication() = 0;
};

class TTrayIcon {
 public:
  TTrayIcon(TrayShell& shell, TrayApplication& application);
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // Hint, icon and window take effect at the next Activate.
  void SetHint(std::wstring hint);
  void SetIcon(std::uintptr_t icon);
  void SetWindow(std::uintptr_t window);

  void Activate();    // fill the record, install the hook, add the icon
  void Deactivate();  // stop timer 2, remove the hook, delete the icon
  bool Active() const { return FActive; }

  bool HasState(TTrayIconState state) const;
  bool IconVisible() const { return HasState(TTrayIconState::tisTrayIconVisible); }
  bool ApplicationVisible() const;
  const TNotifyIconRecord& IconData() const { return FIconData; }

  void HideApplication();
  void ShowApplication();

  void BalloonHint(const std::wstring& Title, const std::wstring& Value, TBalloonType BalloonType,
                   unsigned Delay, bool CancelPrevious);
  void HideBalloon();
  int BalloonCount() const { return FBalloonCount; }

  // The main window got WM_SYSCOMMAND == SC_MINIMIZE, before its default
  // handling (which must be skipped when the window is minimised already).
  void MinimiseCommand();
  // WM_USER + 1 with the mouse or balloon message; returns the answer.
  long CallbackMessage(unsigned lparam_message);
  void TaskbarCreated();
  void EndSession(bool ending);
  void Timer2();

 private:
  void SetState(TTrayIconState state, bool on);
  // One request under the retry rule; true when it counts as done.
  bool Request(TTrayRequest request, bool balloon_only);
  void AddIcon();
  void DeleteIcon();

  TrayShell& shell_;
  TrayApplication& application_;
  std::wstring FHint;
  std::uintptr_t FIcon = 0;
  std::uintptr_t FWindow = 0;
  bool FActive = false;
  unsigned FState = 0;
  int FBalloonCount = 0;
  double FTime = 0;
  unsigned FTimeDelay = 0;
  TNotifyIconRecord FIconData;
};

}  // namespace quillet::app
