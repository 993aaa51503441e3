#include "app/tray_icon.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillet::app {
namespace {

constexpr unsigned long kErrorTimeout = 1460;  // ERROR_TIMEOUT
constexpr int kMoreTries = 31;
constexpr unsigned kRetryPause = 1000;
constexpr unsigned kHideBalloonDelay = 5000;
constexpr unsigned kLongestTimedBalloon = 10000;

unsigned Bit(TTrayIconState state) {
  return 1u << static_cast<unsigned>(state);
}

std::wstring Cut(const std::wstring& text, std::size_t length) {
  return text.substr(0, length);
}

}  // namespace

unsigned BalloonInfoFlags(TBalloonType type) {
  switch (type) {
    case TBalloonType::btError:
      return 3;  // NIIF_ERROR
    case TBalloonType::btInfo:
      return 1;  // NIIF_INFO
    case TBalloonType::btWarning:
      return 2;  // NIIF_WARNING
    case TBalloonType::btNone:
      break;
  }
  return 0;
}

TTrayIcon::TTrayIcon(TrayShell& shell, TrayApplication& application)
    : shell_(shell), application_(application) {}

void TTrayIcon::SetHint(std::wstring hint) {
  FHint = std::move(hint);
}
void TTrayIcon::SetIcon(std::uintptr_t icon) {
  FIcon = icon;
}
void TTrayIcon::SetWindow(std::uintptr_t window) {
  FWindow = window;
}

bool TTrayIcon::HasState(TTrayIconState state) const {
  return (FState & Bit(state)) != 0;
}

void TTrayIcon::SetState(TTrayIconState state, bool on) {
  if (on)
    FState |= Bit(state);
  else
    FState &= ~Bit(state);
}

bool TTrayIcon::ApplicationVisible() const {
  return !application_.MainWindowMinimised();
}

bool TTrayIcon::Request(TTrayRequest request, bool balloon_only) {
  for (int tries = 0;; ++tries) {
    if (shell_.Notify(request, FIconData, balloon_only)) return true;
    // A busy shell (the Explorer hangs or is starting) answers with 0 or a
    // time-out; anything else will not get better by waiting.
    const unsigned long error = shell_.LastError();
    if ((error != 0 && error != kErrorTimeout) || tries == kMoreTries) return false;
    shell_.Sleep(kRetryPause);
    // A timed-out request may still have been carried out: ask the shell
    // whether the icon exists before trying again.
    if (request == TTrayRequest::Add && shell_.Notify(TTrayRequest::Modify, FIconData, false))
      return true;
    if (request == TTrayRequest::Delete && !shell_.Notify(TTrayRequest::Modify, FIconData, false))
      return true;
  }
}

void TTrayIcon::AddIcon() {
  if (IconVisible() || !FActive) return;
  if (!Request(TTrayRequest::Add, false)) return;
  SetState(TTrayIconState::tisTrayIconVisible, true);
  Request(TTrayRequest::SetVersion, false);
}

void TTrayIcon::DeleteIcon() {
  if (!IconVisible()) return;
  if (Request(TTrayRequest::Delete, false)) SetState(TTrayIconState::tisTrayIconVisible, false);
}

void TTrayIcon::Activate() {
  FIconData = TNotifyIconRecord{};
  FIconData.window = FWindow;
  FIconData.icon = FIcon;
  FIconData.tip = Cut(FHint.substr(0, FHint.find(L'|')), kTipLength);
  SetState(TTrayIconState::tisHooked, true);
  FActive = true;
  AddIcon();
}

void TTrayIcon::Deactivate() {
  shell_.StopTimer2();
  SetState(TTrayIconState::tisHooked, false);
  DeleteIcon();
  FActive = false;
}

void TTrayIcon::HideApplication() {
  if (ApplicationVisible()) application_.MinimiseApplication();
  // Without an icon nothing could bring a hidden window back: it stays on
  // the taskbar, minimised.
  if (IconVisible()) application_.HideMainWindow();
}

void TTrayIcon::ShowApplication() {
  application_.ShowMainWindow();
  if (!ApplicationVisible()) application_.RestoreApplication();
}

void TTrayIcon::MinimiseCommand() {
  if (FActive && HasState(TTrayIconState::tisHooked)) HideApplication();
}

void TTrayIcon::BalloonHint(const std::wstring& Title, const std::wstring& Value,
                            TBalloonType BalloonType, unsigned Delay, bool CancelPrevious) {
  if (!IconVisible()) return;
  FTime = shell_.NowSeconds();
  FTimeDelay = Delay / 1000;
  if (CancelPrevious) HideBalloon();
  FIconData.info_title = Cut(Title, kInfoTitleLength);
  FIconData.info = Cut(Value, kInfoLength);
  FIconData.timeout = Delay;
  FIconData.info_flags = BalloonInfoFlags(BalloonType);
  if (!Request(TTrayRequest::Modify, true)) return;
  const bool showing = !Title.empty() || !Value.empty();
  FBalloonCount = showing ? FBalloonCount + 1 : std::max(0, FBalloonCount - 1);
  if (showing && Delay < kLongestTimedBalloon) shell_.StartTimer2(Delay);
}

void TTrayIcon::HideBalloon() {
  if (FBalloonCount < 0) return;
  // One empty request more than the balloons counted, so a balloon the count
  // missed goes too.
  const int requests = FBalloonCount + 1;
  for (int i = 0; i < requests; ++i)
    BalloonHint(L"", L"", TBalloonType::btNone, kHideBalloonDelay, false);
}

void TTrayIcon::Timer2() {
  shell_.StopTimer2();
  HideBalloon();
}

long TTrayIcon::CallbackMessage(unsigned lparam_message) {
  switch (lparam_message) {
    case kWmLButtonDown:
    case kWmRButtonDown:
    case kWmMButtonDown:
      SetState(TTrayIconState::tisClicked, true);
      return 0;
    case kWmLButtonUp:
      if (HasState(TTrayIconState::tisClicked)) {
        SetState(TTrayIconState::tisClicked, false);
        if (!ApplicationVisible()) ShowApplication();
      }
      return 0;
    case kWmRButtonUp:
    case kWmMButtonUp:
      SetState(TTrayIconState::tisClicked, false);
      return 0;
    case kNinBalloonTimeout: {
      // The shell also times out a balloon we have replaced since: only a
      // time-out later than the last request's own delay hides ours.
      const double whole_seconds = std::floor(shell_.NowSeconds() - FTime);
      if (whole_seconds > static_cast<double>(FTimeDelay)) HideBalloon();
      return 1;
    }
    case kNinBalloonUserClick:
      HideBalloon();
      return 1;
    default:
      return 0;
  }
}

void TTrayIcon::TaskbarCreated() {
  DeleteIcon();
  // A rebuilt shell knows none of the old icons and refuses to delete ours
  // (Wine with E_FAIL, which is not retried); unless a modify shows the icon
  // still there, it is gone and must be added again.
  if (IconVisible() && !shell_.Notify(TTrayRequest::Modify, FIconData, false))
    SetState(TTrayIconState::tisTrayIconVisible, false);
  AddIcon();
}

void TTrayIcon::EndSession(bool ending) {
  if (ending)
    DeleteIcon();
  else
    AddIcon();
}

}  // namespace quillet::app
