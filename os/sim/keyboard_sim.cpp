#include "os/sim/keyboard_sim.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace quillet::os::sim {

SimKeyboard::SimKeyboard(const KeyboardLayoutTable& layout) : layout_(&layout) {
  AddWindow(kForegroundWindow, kForegroundProcess, L"Receiver");
  integrity_[kForegroundProcess] = kIntegrityMedium;
  integrity_[kOwnProcess] = kIntegrityMedium;
}

void SimKeyboard::AddWindow(WindowHandle window, Dword process, const std::wstring& title) {
  windows_[window] = {process, title};
}

std::wstring SimKeyboard::GetWindowTextW(WindowHandle window) {
  const auto it = windows_.find(window);
  return it == windows_.end() ? std::wstring() : it->second.title;
}

Dword SimKeyboard::GetWindowProcessId(WindowHandle window) {
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second.process;
}

std::optional<Dword> SimKeyboard::GetProcessIntegrityLevel(Dword processId) {
  ++integrityQueries_;
  const auto it = integrity_.find(processId);
  return it == integrity_.end() ? std::nullopt : it->second;
}

bool SimKeyboard::SendNullMessageTimeout(WindowHandle window, unsigned flags, unsigned timeoutMs) {
  steps_.push_back({KeyboardStep::Kind::Wait, 0, window, flags, timeoutMs});
  if (onWait_) onWait_();
  return waitsAnswered_;
}

bool SimKeyboard::IsWindow(WindowHandle window) {
  return window != 0 && windows_.count(window) != 0 && !destroyed_[window];
}

bool SimKeyboard::RedrawWindow(WindowHandle window, const WindowRect& /*rect*/, unsigned flags) {
  steps_.push_back({KeyboardStep::Kind::Invalidate, 0, window, flags, 0});
  if (!IsWindow(window)) return false;
  if (flags & kRdwInvalidate) {
    unpainted_[window] = true;
    justInvalidated_ = true;
  }
  return true;
}

bool SimKeyboard::GetUpdateRect(WindowHandle window) {
  // Asked again after the batch: the typing is between batches.
  if (!std::exchange(justInvalidated_, false)) {
    if (onWait_) onWait_();
    // A target that takes keys at once has painted by now.
    if (takesAtOnce_) unpainted_.clear();
  }
  return IsWindow(window) && unpainted_[window];
}

bool SimKeyboard::AskNullAnswer(WindowHandle window) {
  if (!IsWindow(window)) return false;
  if (takesAtOnce_) {
    ++nullAnswers_;
  } else {
    nullAsked_ = true;
  }
  return true;
}

void SimKeyboard::TakeInput(std::size_t events) {
  if (std::exchange(nullAsked_, false)) ++nullAnswers_;
  queued_ -= std::min(events, queued_);
  if (queued_ == 0) unpainted_.clear();
}

void SimKeyboard::DestroyWindow(WindowHandle window) {
  destroyed_[window] = true;
  unpainted_.erase(window);
  if (window == foreground_) queued_ = 0;
}

void SimKeyboard::SendKeys(std::span<const KeyInput> inputs) {
  SendKeysCounted(inputs);
}

std::size_t SimKeyboard::SendKeysCounted(std::span<const KeyInput> inputs) {
  steps_.push_back({KeyboardStep::Kind::Send, inputs.size()});
  const std::optional<Failure> failure = std::exchange(failNext_, std::nullopt);
  const std::size_t taken = failure ? std::min(failure->taken, inputs.size()) : inputs.size();
  KeyboardApi::SendKeys(inputs.first(taken));
  if (!takesAtOnce_) {
    queued_ += taken;
    mostQueued_ = std::max(mostQueued_, queued_);
  }
  if (failure && failure->throws) throw std::runtime_error("SendInput failed");
  return taken;
}

unsigned SimKeyboard::MapVirtualKeyW(unsigned code, unsigned mapType) {
  if (mapType != kMapVkVkToVsc) return 0;
  static constexpr char kLetters[] = "QWERTYUIOPASDFGHJKLZXCVBNM";
  static constexpr Byte kLetterScans[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
                                          0x19, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25,
                                          0x26, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32};
  for (std::size_t i = 0; i < 26; ++i)
    if (code == static_cast<unsigned>(kLetters[i])) return kLetterScans[i];
  if (code >= '1' && code <= '9') return code - '1' + 0x02;
  if (code >= 0x70 && code <= 0x79) return code - 0x70 + 0x3B;  // F1..F10
  if (code >= 0x7C && code <= 0x86) return code - 0x7C + 0x64;  // F13..F23
  switch (code) {
    case '0':
      return 0x0B;
    case kVkBack:
      return 0x0E;
    case kVkTab:
      return 0x0F;
    case kVkReturn:
      return 0x1C;
    case kVkControl:
      return 0x1D;
    case kVkShift:
      return 0x2A;
    case kVkMenu:
      return 0x38;
    case 0x20:
      return 0x39;  // space
    case kVkEscape:
      return 0x01;
    case 0x7A:
      return 0x57;  // F11
    case 0x7B:
      return 0x58;  // F12
    case 0x87:
      return 0x76;  // F24
    case 0x21:
      return 0x49;  // Page Up
    case 0x22:
      return 0x51;  // Page Down
    case 0x23:
      return 0x4F;  // End
    case 0x24:
      return 0x47;  // Home
    case 0x25:
      return 0x4B;  // Left
    case 0x26:
      return 0x48;  // Up
    case 0x27:
      return 0x4D;  // Right
    case 0x28:
      return 0x50;  // Down
    case 0x2D:
      return 0x52;  // Insert
    case 0x2E:
      return 0x53;  // Delete
    default:
      return 0;
  }
}

void SimKeyboard::Record(const RecordedKeyEvent& event) {
  events_.push_back(event);
  capsLockAt_.push_back(capsLock_);
  layoutAt_.push_back(layout_);
}

std::int16_t SimKeyboard::GetKeyState(int vk) {
  if (vk != kVkCapital) return 0;
  ++capsLockReads_;
  return capsLock_ ? 1 : 0;
}

KeyboardLayout SimKeyboard::GetForegroundKeyboardLayout() {
  ++layoutReads_;
  return layout_->hkl;
}

std::int16_t SimKeyboard::VkKeyScanExW(wchar_t ch, KeyboardLayout layout) {
  ++layoutQueries_;
  if (layout != layout_->hkl) return -1;
  return LayoutVkKeyScan(*layout_, ch);
}

ToUnicodeResult SimKeyboard::ToUnicodeEx(unsigned vk, unsigned /*scanCode*/,
                                         const KeyStateArray& keyState, KeyboardLayout layout,
                                         unsigned flags) {
  ++layoutQueries_;
  if (!(flags & kToUnicodeNoStateChange)) ++stateChangingToUnicodeCalls_;
  if (layout != layout_->hkl || vk > 0xFF) return {};
  Byte shiftState = 0;
  if (keyState[kVkShift] & 0x80) shiftState |= kShiftStateShift;
  if (keyState[kVkControl] & 0x80) shiftState |= kShiftStateCtrl;
  if (keyState[kVkMenu] & 0x80) shiftState |= kShiftStateAlt;
  return LayoutToUnicode(*layout_, static_cast<Byte>(vk), shiftState,
                         (keyState[kVkCapital] & 0x01) != 0);
}

void SimKeyboard::keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) {
  const bool keyUp = (flags & kKeyeventfKeyup) != 0;
  Record({false, vk, keyUp, scan, flags, extraInfo});
  if (vk == kVkCapital && !keyUp) capsLock_ = !capsLock_;
}

unsigned SimKeyboard::SendInput(std::span<const UnicodeKeyInput> inputs) {
  for (const UnicodeKeyInput& input : inputs) {
    Record({true, static_cast<std::uint16_t>(input.ch), input.keyUp, 0,
            kKeyeventfUnicode | (input.keyUp ? kKeyeventfKeyup : 0), 0});
  }
  return static_cast<unsigned>(inputs.size());
}

std::wstring SimKeyboard::TypedText() const {
  std::wstring text;
  bool shift = false, ctrl = false, alt = false;
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const RecordedKeyEvent& e = events_[i];
    if (e.unicode) {
      if (!e.keyUp) text += static_cast<wchar_t>(e.code);
      continue;
    }
    switch (e.code) {
      case kVkShift:
        shift = !e.keyUp;
        continue;
      case kVkControl:
        ctrl = !e.keyUp;
        continue;
      case kVkMenu:
        alt = !e.keyUp;
        continue;
      case kVkCapital:
        continue;
      default:
        break;
    }
    if (e.keyUp) continue;
    Byte state = 0;
    if (shift) state |= kShiftStateShift;
    if (ctrl) state |= kShiftStateCtrl;
    if (alt) state |= kShiftStateAlt;
    const ToUnicodeResult r =
        LayoutToUnicode(*layoutAt_[i], static_cast<Byte>(e.code), state, capsLockAt_[i]);
    if (r.result < 0)
      text += L'\uFFFD';
    else if (r.result > 0)
      text += r.text;
  }
  return text;
}

}  // namespace quillet::os::sim
