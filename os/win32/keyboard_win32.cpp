#include "os/win32/keyboard_win32.h"

#include <windows.h>

#include <vector>

namespace quillet::os::win32 {

namespace {

HKL ToHkl(KeyboardLayout layout) { return reinterpret_cast<HKL>(layout); }

}  // namespace

std::int16_t Win32KeyboardApi::GetKeyState(int vk) { return ::GetKeyState(vk); }

KeyboardLayout Win32KeyboardApi::GetForegroundKeyboardLayout() {
  DWORD thread = 0;
  if (HWND foreground = ::GetForegroundWindow()) thread = ::GetWindowThreadProcessId(foreground, nullptr);
  // Thread 0 is the calling thread.
  return reinterpret_cast<KeyboardLayout>(::GetKeyboardLayout(thread));
}

std::int16_t Win32KeyboardApi::VkKeyScanExW(wchar_t ch, KeyboardLayout layout) {
  return ::VkKeyScanExW(ch, ToHkl(layout));
}

ToUnicodeResult Win32KeyboardApi::ToUnicodeEx(unsigned vk, unsigned scanCode, const KeyStateArray& keyState,
                                              KeyboardLayout layout, unsigned flags) {
  wchar_t buffer[16] = {};
  const int capacity = static_cast<int>(std::size(buffer));
  ToUnicodeResult out;
  out.result = ::ToUnicodeEx(vk, scanCode, keyState.data(), buffer, capacity, flags, ToHkl(layout));
  // Some implementations return a count without filling the buffer; never
  // read past what we own.
  int count = out.result < 0 ? 1 : out.result;
  if (count > capacity) count = capacity;
  out.text.assign(buffer, static_cast<std::size_t>(count));
  return out;
}

void Win32KeyboardApi::keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) {
  ::keybd_event(vk, scan, flags, static_cast<ULONG_PTR>(extraInfo));
}

unsigned Win32KeyboardApi::SendInput(std::span<const UnicodeKeyInput> inputs) {
  if (inputs.empty()) return 0;
  std::vector<INPUT> events(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    events[i].type = INPUT_KEYBOARD;
    events[i].ki.wVk = 0;
    events[i].ki.wScan = static_cast<WORD>(inputs[i].ch);
    events[i].ki.dwFlags = KEYEVENTF_UNICODE | (inputs[i].keyUp ? KEYEVENTF_KEYUP : 0);
  }
  return ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

void Win32KeyboardApi::SendKeys(std::span<const KeyInput> inputs) {
  if (inputs.empty()) return;
  std::vector<INPUT> events(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    events[i].type = INPUT_KEYBOARD;
    events[i].ki.wVk = inputs[i].unicode ? 0 : inputs[i].code;
    events[i].ki.wScan = inputs[i].unicode ? inputs[i].code : 0;
    events[i].ki.dwFlags = (inputs[i].unicode ? KEYEVENTF_UNICODE : 0) | (inputs[i].keyUp ? KEYEVENTF_KEYUP : 0);
  }
  ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

}  // namespace quillet::os::win32
