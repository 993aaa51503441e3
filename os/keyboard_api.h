// The keyboard half of the platform seam: the user32 calls the typing routine
// makes, one method per call, in Windows' own vocabulary so that a test can
// check the exact key events sent; and the few questions it asks about the
// window the keys go to (its title, whether its process runs with higher
// rights, whether its thread has taken its input).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "os/win_types.h"

namespace quillet::os {

// A keyboard layout handle (HKL), carried as a number.
using KeyboardLayout = std::uintptr_t;

// Virtual keys the typing routine names.
inline constexpr Byte kVkBack = 0x08;
inline constexpr Byte kVkTab = 0x09;
inline constexpr Byte kVkReturn = 0x0D;
inline constexpr Byte kVkShift = 0x10;
inline constexpr Byte kVkControl = 0x11;
inline constexpr Byte kVkMenu = 0x12;
inline constexpr Byte kVkCapital = 0x14;
inline constexpr Byte kVkEscape = 0x1B;
inline constexpr Byte kVkLShift = 0xA0;
inline constexpr Byte kVkLControl = 0xA2;
inline constexpr Byte kVkLMenu = 0xA4;

// keybd_event / KEYBDINPUT flags.
inline constexpr Dword kKeyeventfExtendedKey = 0x0001;
inline constexpr Dword kKeyeventfKeyup = 0x0002;
inline constexpr Dword kKeyeventfUnicode = 0x0004;

// ToUnicodeEx flag: leave the kernel's dead-key state alone (Windows 10 1607
// and later; older systems ignore it).
inline constexpr unsigned kToUnicodeNoStateChange = 0x4;

// SendMessageTimeoutW flags.
inline constexpr unsigned kSmtoBlock = 0x0001;
inline constexpr unsigned kSmtoAbortIfHung = 0x0002;

// RedrawWindow flags.
inline constexpr unsigned kRdwInvalidate = 0x0001;
inline constexpr unsigned kRdwNoErase = 0x0020;

// A rectangle in a window's client area, as RECT.
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Integrity levels: the last sub-authority of the TokenIntegrityLevel SID.
inline constexpr Dword kIntegrityLow = 0x1000;
inline constexpr Dword kIntegrityMedium = 0x2000;
inline constexpr Dword kIntegrityHigh = 0x3000;
inline constexpr Dword kIntegritySystem = 0x4000;

// VkKeyScanExW's high byte.
inline constexpr Byte kShiftStateShift = 0x01;
inline constexpr Byte kShiftStateCtrl = 0x02;
inline constexpr Byte kShiftStateAlt = 0x04;

// A key-state array as GetKeyboardState fills it: bit 0x80 = down, bit 0x01 =
// toggled on.
using KeyStateArray = std::array<Byte, 256>;

// What ToUnicodeEx reports for one key: its return value (> 0: that many
// characters, < 0: a dead key, whose spacing character is in text, 0: none)
// and the characters.
struct ToUnicodeResult {
  int result = 0;
  std::wstring text;
};

// One KEYEVENTF_UNICODE key event: the UTF-16 code unit goes in wScan.
struct UnicodeKeyInput {
  wchar_t ch = 0;
  bool keyUp = false;
};

// MapVirtualKeyW: virtual key to scan code.
inline constexpr unsigned kMapVkVkToVsc = 0;

// One event of a batch: a virtual key as keybd_event sends it (no extra
// information), or a KEYEVENTF_UNICODE code unit.
struct KeyInput {
  bool unicode = false;
  std::uint16_t code = 0;  // virtual key, or the UTF-16 code unit
  bool keyUp = false;
  Byte scan = 0;          // virtual key: its scan code, 0 when not given
  bool extended = false;  // virtual key: KEYEVENTF_EXTENDEDKEY (arrows, Home, Del...)
};

class KeyboardApi {
 public:
  virtual ~KeyboardApi() = default;

  // GetKeyState: bit 0 = toggled on, bit 15 = down.
  virtual std::int16_t GetKeyState(int vk) = 0;

  // GetKeyboardLayout of the thread that owns the foreground window, or of
  // the calling thread when there is no foreground window.
  virtual KeyboardLayout GetForegroundKeyboardLayout() = 0;

  // VkKeyScanExW: low byte virtual key, high byte shift state, -1 if no key.
  virtual std::int16_t VkKeyScanExW(wchar_t ch, KeyboardLayout layout) = 0;

  virtual ToUnicodeResult ToUnicodeEx(unsigned vk, unsigned scanCode, const KeyStateArray& keyState,
                                      KeyboardLayout layout, unsigned flags) = 0;

  virtual void keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) = 0;

  // SendInput of Unicode key events; returns how many were inserted.
  virtual unsigned SendInput(std::span<const UnicodeKeyInput> inputs) = 0;

  // GetForegroundWindow; 0 when no window is in the foreground.
  virtual WindowHandle GetForegroundWindow() = 0;

  // GetWindowTextW, the whole title; "" when it cannot be read.
  virtual std::wstring GetWindowTextW(WindowHandle window) = 0;

  // GetWindowThreadProcessId: the process that owns the window, 0 if none.
  virtual Dword GetWindowProcessId(WindowHandle window) = 0;

  virtual Dword GetCurrentProcessId() = 0;

  // The integrity level of a process: OpenProcess with
  // PROCESS_QUERY_LIMITED_INFORMATION, OpenProcessToken with TOKEN_QUERY,
  // GetTokenInformation(TokenIntegrityLevel), the SID's last sub-authority.
  // Empty when any step fails (the process has gone, access refused).
  virtual std::optional<Dword> GetProcessIntegrityLevel(Dword processId) = 0;

  // SendMessageTimeoutW(window, WM_NULL, 0, 0, flags, timeoutMs): returns
  // once the window's thread has answered, i.e. is back at its message loop,
  // or after the time-out; false when it did not answer.
  virtual bool SendNullMessageTimeout(WindowHandle window, unsigned flags, unsigned timeoutMs) = 0;

  // SendMessageCallbackW(window, WM_NULL, ...): asks the window's thread to
  // answer without waiting for it. The answer comes while this thread takes
  // its messages and adds one to NullAnswers(). False when not sent.
  virtual bool AskNullAnswer(WindowHandle /*window*/) { return false; }
  virtual std::uint64_t NullAnswers() { return 0; }

  // GetGUIThreadInfo of the window's thread: its hwndFocus, the window that
  // gets the keys; the window itself when its thread has no focus window or
  // the call fails.
  virtual WindowHandle GetGUIThreadFocus(WindowHandle window) { return window; }

  // IsWindow: the window still exists.
  virtual bool IsWindow(WindowHandle window) { return window != 0; }

  // RedrawWindow(window, &rect, nullptr, flags). Invalidating without
  // RDW_UPDATENOW sends no message: it never waits for the window.
  virtual bool RedrawWindow(WindowHandle /*window*/, const WindowRect& /*rect*/,
                            unsigned /*flags*/) {
    return false;
  }

  // GetUpdateRect(window, nullptr, FALSE): whether part of the window waits
  // to be painted. Sends no message.
  virtual bool GetUpdateRect(WindowHandle /*window*/) { return false; }

  // MapVirtualKeyW(code, mapType); 0 when there is no translation. Here:
  // none, so keys go with scan code 0 as keybd_event callers often send them.
  virtual unsigned MapVirtualKeyW(unsigned /*code*/, unsigned /*mapType*/) { return 0; }

  // The events in order. Windows takes them in one SendInput call: one trip
  // into the system for a whole scan, and the user's own keys cannot land in
  // the middle of it. Here: one keybd_event or SendInput call per event.
  virtual void SendKeys(std::span<const KeyInput> inputs) {
    for (const KeyInput& input : inputs) {
      if (input.unicode) {
        const UnicodeKeyInput unicode{static_cast<wchar_t>(input.code), input.keyUp};
        SendInput(std::span(&unicode, 1));
      } else {
        keybd_event(
            static_cast<Byte>(input.code), input.scan,
            (input.keyUp ? kKeyeventfKeyup : 0) | (input.extended ? kKeyeventfExtendedKey : 0), 0);
      }
    }
  }

  // SendKeys, telling how many events the system took: SendInput inserts
  // fewer (none) when input is blocked, and the rest are lost. Here: all.
  virtual std::size_t SendKeysCounted(std::span<const KeyInput> inputs) {
    SendKeys(inputs);
    return inputs.size();
  }
};

}  // namespace quillet::os
