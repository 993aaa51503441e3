// A deterministic keyboard for tests: records every key event, has a settable
// Caps Lock and answers the layout calls from a layout table (os/sim/
// layouts.h). TypedText() replays the recorded events the way the focused
// window would see them, so a test can compare what arrived with what was
// meant to be typed. It also plays the desktop the keys go to: windows with a
// title and an owning process, each process with an integrity level (or a
// query that fails), and a log of the batches sent and the waits between
// them, with a hook that runs at each wait (where a test moves the focus).
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

// One SendKeys batch, or one wait for the foreground window's thread.
struct KeyboardStep {
  enum class Kind : std::uint8_t { Send, Wait };
  Kind kind = Kind::Send;
  std::size_t events = 0;   // Send: events in the batch
  WindowHandle window = 0;  // Wait: the window asked
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
  // Runs inside each SendNullMessageTimeout, before it answers.
  void OnWait(std::function<void()> hook) { onWait_ = std::move(hook); }
  void SetWaitsAnswered(bool answered) { waitsAnswered_ = answered; }
  const std::vector<KeyboardStep>& Steps() const { return steps_; }

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
  int capsLockReads_ = 0;
  int layoutReads_ = 0;
  int stateChangingToUnicodeCalls_ = 0;
  int layoutQueries_ = 0;
};

}  // namespace quillet::os::sim
