// A keyboard seam that hands every call on to another one, for benchmark
// probes that note what passes through and override only those calls.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "os/keyboard_api.h"

namespace quillet::bench {

class ForwardingKeyboard : public os::KeyboardApi {
 public:
  // The target must outlive the forwarder; it is not used before the first call.
  explicit ForwardingKeyboard(os::KeyboardApi& target) : target_(target) {}

  std::int16_t GetKeyState(int vk) override { return target_.GetKeyState(vk); }
  os::KeyboardLayout GetForegroundKeyboardLayout() override {
    return target_.GetForegroundKeyboardLayout();
  }
  std::int16_t VkKeyScanExW(wchar_t ch, os::KeyboardLayout layout) override {
    return target_.VkKeyScanExW(ch, layout);
  }
  os::ToUnicodeResult ToUnicodeEx(unsigned vk, unsigned scan, const os::KeyStateArray& state,
                                  os::KeyboardLayout layout, unsigned flags) override {
    return target_.ToUnicodeEx(vk, scan, state, layout, flags);
  }
  void keybd_event(os::Byte vk, os::Byte scan, os::Dword flags, std::uintptr_t extra) override {
    target_.keybd_event(vk, scan, flags, extra);
  }
  unsigned SendInput(std::span<const os::UnicodeKeyInput> inputs) override {
    return target_.SendInput(inputs);
  }
  os::WindowHandle GetForegroundWindow() override { return target_.GetForegroundWindow(); }
  std::wstring GetWindowTextW(os::WindowHandle window) override {
    return target_.GetWindowTextW(window);
  }
  os::Dword GetWindowProcessId(os::WindowHandle window) override {
    return target_.GetWindowProcessId(window);
  }
  os::Dword GetCurrentProcessId() override { return target_.GetCurrentProcessId(); }
  std::optional<os::Dword> GetProcessIntegrityLevel(os::Dword process) override {
    return target_.GetProcessIntegrityLevel(process);
  }
  bool SendNullMessageTimeout(os::WindowHandle window, unsigned flags,
                              unsigned timeout_ms) override {
    return target_.SendNullMessageTimeout(window, flags, timeout_ms);
  }
  void SendKeys(std::span<const os::KeyInput> inputs) override { target_.SendKeys(inputs); }
  os::WindowHandle GetGUIThreadFocus(os::WindowHandle window) override {
    return target_.GetGUIThreadFocus(window);
  }
  bool IsWindow(os::WindowHandle window) override { return target_.IsWindow(window); }
  bool RedrawWindow(os::WindowHandle window, const os::WindowRect& rect, unsigned flags) override {
    return target_.RedrawWindow(window, rect, flags);
  }
  bool GetUpdateRect(os::WindowHandle window) override { return target_.GetUpdateRect(window); }
  bool AskNullAnswer(os::WindowHandle window) override { return target_.AskNullAnswer(window); }
  std::uint64_t NullAnswers() override { return target_.NullAnswers(); }

 private:
  os::KeyboardApi& target_;
};

}  // namespace quillet::bench
