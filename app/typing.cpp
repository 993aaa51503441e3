#include "app/typing.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <span>
#include <utility>

namespace quillet::app {

namespace {

using os::Byte;

bool IsBareKeyControl(wchar_t ch) {
  return ch == L'\r' || ch == L'\n' || ch == L'\t' || ch == 0x08 || ch == 0x1B;
}

bool IsControl(wchar_t ch) {
  return ch < 0x20 || ch == 0x7F;
}

// Modifiers go down Ctrl, Alt, Shift and come up in reverse: Alt is never
// down without Ctrl, so Ctrl+Alt reads as AltGr and never arms the menu bar,
// and Shift is never down with Alt alone (the layout-switch hot key).
constexpr std::pair<Byte, Byte> kModifierOrder[] = {
    {os::kShiftStateCtrl, os::kVkControl},
    {os::kShiftStateAlt, os::kVkMenu},
    {os::kShiftStateShift, os::kVkShift},
};

void AddKeyPress(std::vector<KeyEvent>& out, Byte vk, Byte shiftState) {
  for (const auto& [bit, modifier] : kModifierOrder)
    if (shiftState & bit) out.push_back(KeyEvent::KeyDown(modifier));
  out.push_back(KeyEvent::KeyDown(vk));
  out.push_back(KeyEvent::KeyUp(vk));
  for (auto it = std::rbegin(kModifierOrder); it != std::rend(kModifierOrder); ++it)
    if (shiftState & it->first) out.push_back(KeyEvent::KeyUp(it->second));
}

void AddCharacter(std::vector<KeyEvent>& out, wchar_t ch) {
  out.push_back(KeyEvent::CharDown(ch));
  out.push_back(KeyEvent::CharUp(ch));
}

bool Types(const os::ToUnicodeResult& result, wchar_t ch) {
  return result.result == 1 && result.text.size() == 1 && result.text[0] == ch;
}

// The key and modifiers the layout reports, when they really type ch. The
// lookup ignores Caps Lock; where Caps Lock acts as Shift on that key (German
// digits, French é and digits), the same key with Shift the other way types
// ch, which keeps it a real key press rather than a Unicode event.
bool AddReportedKey(std::vector<KeyEvent>& out, wchar_t ch, std::int16_t scan, bool capsLock,
                    const LayoutQuery& layout) {
  if (scan == -1) return false;
  const auto vk = static_cast<Byte>(scan & 0xFF);
  auto shiftState = static_cast<Byte>((scan >> 8) & 0xFF);
  // Kana and other shift bits cannot be pressed from here.
  if (shiftState & ~(os::kShiftStateShift | os::kShiftStateCtrl | os::kShiftStateAlt)) return false;
  // Ctrl without Alt is a shortcut in the focused program, not a character.
  if ((shiftState & os::kShiftStateCtrl) && !(shiftState & os::kShiftStateAlt)) return false;
  if (!Types(layout.KeyResult(vk, shiftState, capsLock), ch)) {
    if (!capsLock) return false;
    shiftState ^= os::kShiftStateShift;
    if (!Types(layout.KeyResult(vk, shiftState, capsLock), ch)) return false;
  }
  AddKeyPress(out, vk, shiftState);
  return true;
}

// The key a control character has on every layout.
Byte OwnKey(wchar_t ch) {
  switch (ch) {
    case L'\r':
    case L'\n':
      return os::kVkReturn;
    case L'\t':
      return os::kVkTab;
    case 0x08:
      return os::kVkBack;
    default:
      return os::kVkEscape;
  }
}

// CR, LF, TAB, BS and ESC go as a bare key (Shift at most), so that LF types
// Enter: the character's own key when it types the character (CR for LF),
// which on Windows is the key the lookup reports for CR, LF, TAB and BS; else
// the lookup's bare key when that types it. The own key comes first because
// the lookup is not always a bare key: for ESC some layouts report Ctrl+[
// (bare: "["), and Wine reports for LF a key of its own (0xE4).
bool AddBareKey(std::vector<KeyEvent>& out, wchar_t ch, std::int16_t scan, bool capsLock,
                const LayoutQuery& layout) {
  const auto typesIt = [&](Byte vk, Byte shiftState) {
    const os::ToUnicodeResult r = layout.KeyResult(vk, shiftState, capsLock);
    return r.result == 1 && r.text.size() == 1 &&
           (r.text[0] == ch || (ch == L'\n' && r.text[0] == L'\r'));
  };
  if (typesIt(OwnKey(ch), 0)) {
    AddKeyPress(out, OwnKey(ch), 0);
    return true;
  }
  if (scan == -1) return false;
  const auto vk = static_cast<Byte>(scan & 0xFF);
  const Byte shiftState = (scan & 0x100) ? os::kShiftStateShift : 0;
  if (!typesIt(vk, shiftState)) return false;
  AddKeyPress(out, vk, shiftState);
  return true;
}

// Keys whose down went through and whose up did not, in the order pressed.
std::vector<KeyEvent> HeldAfter(std::span<const KeyEvent> sent) {
  std::vector<KeyEvent> held;
  for (const KeyEvent& e : sent) {
    if (e.kind != KeyEvent::Kind::VirtualKey) continue;
    const auto same =
        std::find_if(held.begin(), held.end(), [&](const KeyEvent& h) { return h.code == e.code; });
    if (e.down && same == held.end()) held.push_back(e);
    if (!e.down && same != held.end()) held.erase(same);
  }
  return held;
}

// Releases the keys, last pressed first, each on its own: one refused
// release does not keep the others down.
void Release(const std::vector<KeyEvent>& held, os::KeyboardApi& keyboard) {
  for (auto it = held.rbegin(); it != held.rend(); ++it) {
    const os::KeyInput up{false, it->code, true, it->scan, it->extended};
    try {
      keyboard.SendKeysCounted(std::span(&up, 1));
    } catch (...) {
      // Nothing more can be done for this key.
    }
  }
}

// The extended keys among those typing names: the navigation block.
bool IsExtendedKey(Byte vk) {
  return (vk >= 0x21 && vk <= 0x28) || vk == 0x2D || vk == 0x2E;
}

}  // namespace

// Windows drops synthetic input aimed at a process of a higher integrity
// level (one run as administrator, say) and SendInput still reports success.
// A query that fails (the process has gone, access refused) is no reason to
// hold the text back.
bool RunsWithHigherRights(os::KeyboardApi& keyboard, os::WindowHandle window) {
  if (window == 0) return false;
  const os::Dword own = keyboard.GetCurrentProcessId();
  const os::Dword process = keyboard.GetWindowProcessId(window);
  if (process == 0 || process == own) return false;
  const std::optional<os::Dword> theirs = keyboard.GetProcessIntegrityLevel(process);
  if (!theirs) return false;
  const std::optional<os::Dword> ours = keyboard.GetProcessIntegrityLevel(own);
  return ours && *theirs > *ours;
}

std::string Describe(const KeyEvent& event) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto hex = [](unsigned value, int digits) {
    std::string out;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
    return out;
  };
  if (event.kind == KeyEvent::Kind::Unicode)
    return "char " + hex(event.code, 4) + (event.down ? " down" : " up");
  return "vk " + hex(event.code, 2) + (event.scan ? " sc " + hex(event.scan, 2) : "") +
         (event.extended ? " ext" : "") + (event.down ? " down" : " up");
}

std::vector<KeyEvent> PlanNamedKey(Byte vk, Byte shiftState, int repeat,
                                   os::KeyboardApi& keyboard) {
  const auto key = [&](Byte code, bool down) {
    KeyEvent e = down ? KeyEvent::KeyDown(code) : KeyEvent::KeyUp(code);
    e.scan = static_cast<Byte>(keyboard.MapVirtualKeyW(code, os::kMapVkVkToVsc));
    e.extended = IsExtendedKey(code);
    return e;
  };
  std::vector<KeyEvent> out;
  for (int i = 0; i < repeat; ++i) {
    for (const auto& [bit, modifier] : kModifierOrder)
      if (shiftState & bit) out.push_back(key(modifier, true));
    out.push_back(key(vk, true));
    out.push_back(key(vk, false));
    for (auto it = std::rbegin(kModifierOrder); it != std::rend(kModifierOrder); ++it)
      if (shiftState & it->first) out.push_back(key(it->second, false));
  }
  return out;
}

std::int16_t KeyboardLayoutQuery::VkKeyScan(wchar_t ch) const {
  return keyboard_.VkKeyScanExW(ch, layout_);
}

os::ToUnicodeResult KeyboardLayoutQuery::KeyResult(Byte vk, Byte shiftState, bool capsLock) const {
  os::KeyStateArray state{};
  if (shiftState & os::kShiftStateShift) state[os::kVkShift] = state[os::kVkLShift] = 0x80;
  if (shiftState & os::kShiftStateCtrl) state[os::kVkControl] = state[os::kVkLControl] = 0x80;
  if (shiftState & os::kShiftStateAlt) state[os::kVkMenu] = state[os::kVkLMenu] = 0x80;
  if (capsLock) state[os::kVkCapital] = 0x01;
  return keyboard_.ToUnicodeEx(vk, 0, state, layout_, os::kToUnicodeNoStateChange);
}

void LayoutAnswers::UseLayout(os::KeyboardLayout layout) {
  if (layout_ == layout) return;
  scans_.clear();
  results_.clear();
  layout_ = layout;
}

std::int16_t LayoutAnswers::ScanFor(const LayoutQuery& layout, wchar_t ch) {
  const auto known = scans_.find(ch);
  if (known != scans_.end()) return known->second;
  const std::int16_t scan = layout.VkKeyScan(ch);
  scans_.emplace(ch, scan);
  return scan;
}

os::ToUnicodeResult LayoutAnswers::ResultFor(const LayoutQuery& layout, Byte vk, Byte shiftState,
                                             bool capsLock) {
  const std::uint32_t key = static_cast<std::uint32_t>(vk) |
                            static_cast<std::uint32_t>(shiftState) << 8 |
                            (capsLock ? 1u << 16 : 0u);
  const auto known = results_.find(key);
  if (known != results_.end()) return known->second;
  os::ToUnicodeResult result = layout.KeyResult(vk, shiftState, capsLock);
  // Only a plain single character is the layout's own answer for good: a
  // dead key the user has just pressed can colour any other.
  if (result.result == 1) results_.emplace(key, result);
  return result;
}

std::vector<KeyEvent> PlanTyping(std::wstring_view text, bool capsLock, const LayoutQuery& layout) {
  std::vector<KeyEvent> out;
  out.reserve(text.size() * 2);
  for (const wchar_t ch : text) {
    if (IsControl(ch) && !IsBareKeyControl(ch)) {
      AddCharacter(out, ch);
      continue;
    }
    const std::int16_t scan = layout.VkKeyScan(ch);
    const bool lower = ch >= L'a' && ch <= L'z';
    const bool upper = ch >= L'A' && ch <= L'Z';
    if (lower || upper) {
      const auto letterKey = static_cast<Byte>(lower ? ch - 0x20 : ch);
      if (scan != -1 && (scan & 0xFF) == letterKey) {
        AddKeyPress(out, letterKey, (lower == capsLock) ? os::kShiftStateShift : 0);
        continue;
      }
    } else if (IsBareKeyControl(ch) && AddBareKey(out, ch, scan, capsLock, layout)) {
      continue;
    }
    if (!AddReportedKey(out, ch, scan, capsLock, layout)) AddCharacter(out, ch);
  }
  return out;
}

std::size_t SendKeyEvents(const std::vector<KeyEvent>& events, os::KeyboardApi& keyboard) {
  std::vector<os::KeyInput> inputs;
  inputs.reserve(events.size());
  for (const KeyEvent& e : events)
    inputs.push_back({e.kind == KeyEvent::Kind::Unicode, e.code, !e.down, e.scan, e.extended});
  std::size_t taken = 0;
  try {
    taken = keyboard.SendKeysCounted(inputs);
  } catch (...) {
    // How far it got is unknown: release every key the events press.
    std::vector<KeyEvent> downs;
    std::copy_if(events.begin(), events.end(), std::back_inserter(downs),
                 [](const KeyEvent& e) { return e.down; });
    Release(HeldAfter(downs), keyboard);
    throw;
  }
  if (taken < events.size()) Release(HeldAfter(std::span(events).first(taken)), keyboard);
  return taken;
}

}  // namespace quillet::app
