// Typing received text into the focused window as synthetic key presses.
//
// PlanTyping turns a string into key events against one keyboard layout and
// one Caps Lock state; TypeText reads both, plans and sends. The rules:
// - "a".."z" and "A".."Z", where the layout puts the letter on its own letter
//   key: that key, with Shift exactly when the wanted case differs from what
//   Caps Lock gives.
// - CR, LF, TAB, BS, ESC: a bare key (Shift at most, never Ctrl or Alt), so
//   LF types Enter: the character's own key (Enter, Tab, Backspace, Escape)
//   if it types the character (CR for LF), else the key the layout reports
//   if that does; otherwise as any other character.
// - Every other control character (U+0000..U+001F, U+007F): a Unicode key
//   event, never the Ctrl chord the layout reports: Ctrl+A, Ctrl+V, Ctrl+X
//   or Ctrl+W would fire the focused program's shortcuts.
// - Any other character: the key and modifiers the layout reports (Shift,
//   Ctrl+Alt for AltGr; never Ctrl without Alt), if that key with those
//   modifiers, under the current Caps Lock, types exactly that character and
//   is no dead key; with Caps Lock on, else the same key with Shift the other
//   way if that types it (Caps Lock acts as Shift on that key); otherwise a
//   Unicode key event carrying the character itself.
// Nothing received is dropped or typed as another character.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "os/keyboard_api.h"

namespace quillet::app {

struct KeyEvent {
  enum class Kind : std::uint8_t { VirtualKey, Unicode };
  Kind kind = Kind::VirtualKey;
  std::uint16_t code = 0;  // virtual key, or the UTF-16 code unit
  bool down = true;
  os::Byte scan = 0;      // virtual key: its scan code (named keys), else 0
  bool extended = false;  // virtual key: an extended key (arrows, Home, Del...)

  static KeyEvent KeyDown(os::Byte vk) { return {Kind::VirtualKey, vk, true}; }
  static KeyEvent KeyUp(os::Byte vk) { return {Kind::VirtualKey, vk, false}; }
  static KeyEvent CharDown(wchar_t ch) {
    return {Kind::Unicode, static_cast<std::uint16_t>(ch), true};
  }
  static KeyEvent CharUp(wchar_t ch) {
    return {Kind::Unicode, static_cast<std::uint16_t>(ch), false};
  }
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// For test output: "vk 41 down", "char 20AC up", "vk 2E sc 53 ext down".
std::string Describe(const KeyEvent& event);
inline void PrintTo(const KeyEvent& event, std::ostream* os) {
  *os << Describe(event);
}

// The current keyboard layout, as the planner asks it.
class LayoutQuery {
 public:
  virtual ~LayoutQuery() = default;
  // VkKeyScanExW: low byte virtual key, high byte shift state, -1 if none.
  virtual std::int16_t VkKeyScan(wchar_t ch) const = 0;
  // What the key types with these shift-state bits (VkKeyScanExW's high
  // byte) and Caps Lock, without touching the keyboard state.
  virtual os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte shiftState, bool capsLock) const = 0;
};

// A LayoutQuery over the keyboard seam for one layout handle.
class KeyboardLayoutQuery final : public LayoutQuery {
 public:
  KeyboardLayoutQuery(os::KeyboardApi& keyboard, os::KeyboardLayout layout)
      : keyboard_(keyboard), layout_(layout) {}
  std::int16_t VkKeyScan(wchar_t ch) const override;
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte shiftState, bool capsLock) const override;

 private:
  os::KeyboardApi& keyboard_;
  os::KeyboardLayout layout_;
};

// What one keyboard layout has answered, kept from one string to the next: a
// layout handle always answers the same, and under Wine each question costs
// tens of microseconds a character. A new layout handle starts afresh. Key
// results are kept only when they are one plain character (not a dead key,
// not two characters), so a dead key pending at one moment is not remembered.
class LayoutAnswers {
 public:
  // Forgets every answer unless `layout` is the layout they came from.
  void UseLayout(os::KeyboardLayout layout);
  std::int16_t ScanFor(const LayoutQuery& layout, wchar_t ch);
  os::ToUnicodeResult ResultFor(const LayoutQuery& layout, os::Byte vk, os::Byte shiftState,
                                bool capsLock);

 private:
  std::optional<os::KeyboardLayout> layout_;  // none before the first string
  std::unordered_map<wchar_t, std::int16_t> scans_;
  std::unordered_map<std::uint32_t, os::ToUnicodeResult> results_;
};

// A LayoutQuery that asks `layout` only what `answers` does not know yet.
class RememberingLayoutQuery final : public LayoutQuery {
 public:
  RememberingLayoutQuery(const LayoutQuery& layout, LayoutAnswers& answers)
      : layout_(layout), answers_(answers) {}
  std::int16_t VkKeyScan(wchar_t ch) const override { return answers_.ScanFor(layout_, ch); }
  os::ToUnicodeResult KeyResult(os::Byte vk, os::Byte shiftState, bool capsLock) const override {
    return answers_.ResultFor(layout_, vk, shiftState, capsLock);
  }

 private:
  const LayoutQuery& layout_;
  LayoutAnswers& answers_;
};

std::vector<KeyEvent> PlanTyping(std::wstring_view text, bool capsLock, const LayoutQuery& layout);

// A named key (a configured {TAB}, {CTRL+S}): real key presses with their
// scan codes, `repeat` times; the modifiers of `shiftState` (VkKeyScanExW's
// bits) go down before each press, Ctrl, Alt, Shift, and up after it in
// reverse. Letters and digits are the keys of those virtual keys, whatever
// the layout types there. The scan codes come from MapVirtualKeyW.
std::vector<KeyEvent> PlanNamedKey(os::Byte vk, os::Byte shiftState, int repeat,
                                   os::KeyboardApi& keyboard);

// Sends the events in order, in one call: virtual keys as keybd_event sends
// them (extra information 0), characters as Unicode key events. Returns how
// many the system took. When it took fewer, or the call throws, every key
// pressed and not released by what went through is released (each on its
// own, last pressed first), so no modifier stays down; a throw then goes on.
std::size_t SendKeyEvents(const std::vector<KeyEvent>& events, os::KeyboardApi& keyboard);

// Whether the window's process runs with higher rights (integrity level)
// than this program: Windows would drop keys sent to it while SendInput
// reports success. A failed query says no.
bool RunsWithHigherRights(os::KeyboardApi& keyboard, os::WindowHandle window);

// Up to this many characters go to the system in one call. A longer text
// goes in batches this size, and a batch goes only when the window has taken
// enough of what went before (app/reception/typing_queue): one call of
// thousands of events can overrun its input queue, and Windows drops what
// does not fit while the call reports success.
inline constexpr std::size_t kBatchCharacters = 64;

// How typing a text went.
struct TypeOutcome {
  // The foreground window's process runs with higher rights (integrity
  // level) than this program: Windows would silently drop the keys, so none
  // were sent from there on (for a text of one batch: nothing was typed).
  // Or the window took no keys for a few seconds (not responding).
  bool refused = false;
  std::wstring window_title;  // that window's title, when refused
  // The system took fewer keys than sent (input blocked) or sending threw:
  // nothing more was sent from there on.
  bool failed = false;
  std::size_t typed = 0;  // characters sent (a surrogate pair counts once)
};

// Types the text into the focused window, waiting on the calling thread: the
// typing queue's batches (app/reception/typing_queue.cpp, where these are
// defined), its waits slept. Each batch reads Caps Lock, the
// foreground window and its thread's layout before its first character, as
// a keyboard would: if the focus moves between batches, the rest goes to the
// window that has it now, on that window's layout. Never throws; a key that
// reaches no window is lost, as when no window has the focus.
TypeOutcome TypeText(const std::wstring& text, os::KeyboardApi& keyboard);
// The same, keeping the layout's answers in `answers` for the next string.
TypeOutcome TypeText(const std::wstring& text, os::KeyboardApi& keyboard, LayoutAnswers& answers);

}  // namespace quillet::app
