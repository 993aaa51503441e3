// A deterministic keyboard for tests: records every key event, has a settable
// Caps Lock and answers the layout calls from a layout table (os/sim/
// layouts.h). TypedText() replays the recorded events the way the focused
// window would see them, so a test can compare what arrived with what was
// meant to be typed.
#pragma once

#include <cstdint>
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
  }
  int CapsLockReads() const { return capsLockReads_; }
  int LayoutReads() const { return layoutReads_; }
  // ToUnicodeEx calls made without kToUnicodeNoStateChange: on Windows they
  // would disturb a dead key the user has pressed.
  int StateChangingToUnicodeCalls() const { return stateChangingToUnicodeCalls_; }
  // VkKeyScanExW and ToUnicodeEx calls together.
  int LayoutQueries() const { return layoutQueries_; }

  // The characters the recorded events type into the focused window, through
  // the layout and Caps Lock. A dead key shows as U+FFFD: nothing should
  // press one.
  std::wstring TypedText() const;

  std::int16_t GetKeyState(int vk) override;
  KeyboardLayout GetForegroundKeyboardLayout() override;
  std::int16_t VkKeyScanExW(wchar_t ch, KeyboardLayout layout) override;
  ToUnicodeResult ToUnicodeEx(unsigned vk, unsigned scanCode, const KeyStateArray& keyState,
                              KeyboardLayout layout, unsigned flags) override;
  // A Caps Lock press toggles Caps Lock, as on a real keyboard.
  void keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) override;
  unsigned SendInput(std::span<const UnicodeKeyInput> inputs) override;

 private:
  const KeyboardLayoutTable* layout_;
  bool capsLock_ = false;
  std::vector<RecordedKeyEvent> events_;
  std::vector<bool> capsLockAt_;  // Caps Lock as each event arrived
  int capsLockReads_ = 0;
  int layoutReads_ = 0;
  int stateChangingToUnicodeCalls_ = 0;
  int layoutQueries_ = 0;
};

}  // namespace quillet::os::sim
