// A deterministic keyboard for tests: records every key event, has a settable
// Caps Lock and answers the layout calls from a layout table (os/sim/
// layouts.h). TypedText() replays the recorded events the way the focused
// window would see them, so a test can compare what arrived with what was
// meant to be typed. It also plays the desktop the keys go to: windows with a
// title and an owning process, each process with an integrity level (or a
// query that fails), and a log of the batches sent and the waits between
// them, with a hook that runs at each wait (where a test moves the focus).
// Unless told otherwise the target takes every key at once; a test can make
// it take keys only when asked (a slow or hung window), and the paint probe
// (RedrawWindow, GetUpdateRect) then behaves as Windows': the invalidated
// part is painted only once no key waits.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/keyboard_api.h"
#include "os/sim/layouts.h"

namespace quillet::os::sim {

// One recorded event: a keybd_event call or one Unicode key event of a
// SendInput call.
struct RecordedKeyEvent {
  bool unicode = false;
  std::uint16_t code = 0;  // virtual key, or the UTF-16 code unit
  bool keyUp = false;
  Byte scan = 0;                 // keybd_event only
  Dword flags = 0;               // keybd_event only
  std::uintptr_t extraInfo = 0;  // keybd_event only
  friend bool operator==(const RecordedKeyEvent&, const RecordedKeyEvent&) = default;
};

// One SendKeys batch, one wait for the foreground window's thread, or one
// RedrawWindow (the paint probe armed on `window`).
struct KeyboardStep {
  enum class Kind : std::uint8_t { Send, Wait, Invalidate };
  Kind kind = Kind::Send;
  std::size_t events = 0;   // Send: events in the batch
  WindowHandle window = 0;  // Wait, Invalidate: the window asked
  unsigned flags = 0;       // Wait
  unsigned timeoutMs = 0;   // Wait
  friend bool operator==(const KeyboardStep&, const KeyboardStep&) = default;
};

class SimKeyboard final : public KeyboardApi {
 public:
  explicit SimKeyboard(const KeyboardLayoutTable& layout = UsLayout());

  void SetLayout(const KeyboardLayoutTable& layout) { layout_ = &layout; }
  const KeyboardLayoutTable& Layout() const { return *layout_; }
  void SetCapsLock(bool on) { capsLock_ = on; }
  bool CapsLock() const { return capsLock_; }

  const std::vector<RecordedKeyEvent>& Events() const { return events_; }
  void ClearEvents() {
    events_.clear();
    capsLockAt_.clear();
    layoutAt_.clear();
    steps_.clear();
  }
  int CapsLockReads() const { return capsLockReads_; }
  int LayoutReads() const { return layoutReads_; }
  // ToUnicodeEx calls made without kToUnicodeNoStateChange: on Windows they
  // would disturb a dead key the user has pressed.
  int StateChangingToUnicodeCalls() const { return stateChangingToUnicodeCalls_; }
  // VkKeyScanExW and ToUnicodeEx calls together.
  int LayoutQueries() const { return layoutQueries_; }

  // The desktop. Unless changed: the foreground window kForegroundWindow
  // ("Receiver") of process kForegroundProcess, this program is process
  // kOwnProcess, both at medium integrity.
  static constexpr WindowHandle kForegroundWindow = 0x1000;
  static constexpr Dword kForegroundProcess = 4000;
  static constexpr Dword kOwnProcess = 1000;
  void AddWindow(WindowHandle window, Dword process, const std::wstring& title);
  void SetForegroundWindow(WindowHandle window) { foreground_ = window; }
  // An empty level makes the query for that process fail.
  void SetIntegrityLevel(Dword process, std::optional<Dword> level) { integrity_[process] = level; }
  int IntegrityQueries() const { return integrityQueries_; }
  // Runs inside each SendNullMessageTimeout, before it answers, and when the
  // typing asks between batches whether the target has painted (not in the
  // GetUpdateRect that checks a probe just armed): where a test moves the
  // focus.
  void OnWait(std::function<void()> hook) { onWait_ = std::move(hook); }
  void SetWaitsAnswered(bool answered) { waitsAnswered_ = answered; }
  const std::vector<KeyboardStep>& Steps() const { return steps_; }

  // The target. With TakeInputWhenAsked, keys sent wait in the foreground
  // window's queue until TakeInput takes them (never: a hung window).
  void TakeInputWhenAsked() { takesAtOnce_ = false; }
  // The target's thread runs: it takes up to `events` key events, then, once
  // none waits, paints what was invalidated.
  void TakeInput(std::size_t events);
  std::size_t QueuedEvents() const { return queued_; }
  // The most key events ever waiting in the target right after a send.
  std::size_t MostQueuedEvents() const { return mostQueued_; }
  // The window goes away: its queued keys are lost, IsWindow says no.
  void DestroyWindow(WindowHandle window);

  // The characters the recorded events type into the focused window, through
  // the layout in use when each event came and Caps Lock. A dead key shows as U+FFFD: nothing
  // should press one.
  std::wstring TypedText() const;

  std::int16_t GetKeyState(int vk) override;
  KeyboardLayout GetForegroundKeyboardLayout() override;
  std::int16_t VkKeyScanExW(wchar_t ch, KeyboardLayout layout) override;
  ToUnicodeResult ToUnicodeEx(unsigned vk, unsigned scanCode, const KeyStateArray& keyState,
                              KeyboardLayout layout, unsigned flags) override;
  // A Caps Lock press toggles Caps Lock, as on a real keyboard.
  void keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) override;
  unsigned SendInput(std::span<const UnicodeKeyInput> inputs) override;
  WindowHandle GetForegroundWindow() override { return foreground_; }
  std::wstring GetWindowTextW(WindowHandle window) override;
  Dword GetWindowProcessId(WindowHandle window) override;
  Dword GetCurrentProcessId() override { return kOwnProcess; }
  std::optional<Dword> GetProcessIntegrityLevel(Dword processId) override;
  bool SendNullMessageTimeout(WindowHandle window, unsigned flags, unsigned timeoutMs) override;
  bool IsWindow(WindowHandle window) override;
  // Logs the call; the window waits to be painted until the target paints:
  // one that takes keys at once has painted by the next question after the
  // first.
  bool RedrawWindow(WindowHandle window, const WindowRect& rect, unsigned flags) override;
  bool GetUpdateRect(WindowHandle window) override;
  // Answered at once by a target that takes keys at once, else the next time
  // its thread runs (TakeInput); a hung one never answers.
  bool AskNullAnswer(WindowHandle window) override;
  std::uint64_t NullAnswers() override { return nullAnswers_; }
  // Logs the batch, then one keybd_event or SendInput per event.
  void SendKeys(std::span<const KeyInput> inputs) override;
  // The same; after FailNextSend, only the events that call lets through.
  std::size_t SendKeysCounted(std::span<const KeyInput> inputs) override;
  // Scan codes of a US keyboard (set 1) for the keys typing names.
  unsigned MapVirtualKeyW(unsigned code, unsigned mapType) override;

  // The next SendKeys call lets only its first `taken` events through, as
  // SendInput when input is blocked; with `throws`, it then throws.
  void FailNextSend(std::size_t taken, bool throws = false) { failNext_ = Failure{taken, throws}; }

 private:
  struct Window {
    Dword process = 0;
    std::wstring title;
  };
  struct Failure {
    std::size_t taken = 0;
    bool throws = false;
  };
  void Record(const RecordedKeyEvent& event);

  const KeyboardLayoutTable* layout_;
  bool capsLock_ = false;
  std::vector<RecordedKeyEvent> events_;
  std::vector<bool> capsLockAt_;                      // Caps Lock as each event arrived
  std::vector<const KeyboardLayoutTable*> layoutAt_;  // and the layout
  std::map<WindowHandle, Window> windows_;
  WindowHandle foreground_ = kForegroundWindow;
  std::map<Dword, std::optional<Dword>> integrity_;
  int integrityQueries_ = 0;
  std::function<void()> onWait_;
  bool waitsAnswered_ = true;
  std::vector<KeyboardStep> steps_;
  std::optional<Failure> failNext_;
  bool takesAtOnce_ = true;
  bool justInvalidated_ = false;
  std::size_t queued_ = 0;
  std::uint64_t nullAnswers_ = 0;
  bool nullAsked_ = false;
  std::size_t mostQueued_ = 0;
  std::map<WindowHandle, bool> unpainted_;  // invalidated, not painted yet
  std::map<WindowHandle, bool> destroyed_;
  int capsLockReads_ = 0;
  int layoutReads_ = 0;
  int stateChangingToUnicodeCalls_ = 0;
  int layoutQueries_ = 0;
};

}  // namespace quillet::os::sim
