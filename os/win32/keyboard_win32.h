// The keyboard seam on real user32: a thin pass-through.
#pragma once

#include "os/keyboard_api.h"

namespace quillet::os::win32 {

class Win32KeyboardApi final : public KeyboardApi {
 public:
  std::int16_t GetKeyState(int vk) override;
  KeyboardLayout GetForegroundKeyboardLayout() override;
  std::int16_t VkKeyScanExW(wchar_t ch, KeyboardLayout layout) override;
  ToUnicodeResult ToUnicodeEx(unsigned vk, unsigned scanCode, const KeyStateArray& keyState,
                              KeyboardLayout layout, unsigned flags) override;
  void keybd_event(Byte vk, Byte scan, Dword flags, std::uintptr_t extraInfo) override;
  unsigned SendInput(std::span<const UnicodeKeyInput> inputs) override;
  void SendKeys(std::span<const KeyInput> inputs) override;
  std::size_t SendKeysCounted(std::span<const KeyInput> inputs) override;
  unsigned MapVirtualKeyW(unsigned code, unsigned mapType) override;
  WindowHandle GetForegroundWindow() override;
  std::wstring GetWindowTextW(WindowHandle window) override;
  Dword GetWindowProcessId(WindowHandle window) override;
  Dword GetCurrentProcessId() override;
  std::optional<Dword> GetProcessIntegrityLevel(Dword processId) override;
  bool SendNullMessageTimeout(WindowHandle window, unsigned flags, unsigned timeoutMs) override;
  WindowHandle GetGUIThreadFocus(WindowHandle window) override;
  bool IsWindow(WindowHandle window) override;
  bool RedrawWindow(WindowHandle window, const WindowRect& rect, unsigned flags) override;
  bool GetUpdateRect(WindowHandle window) override;
  bool AskNullAnswer(WindowHandle window) override;
  std::uint64_t NullAnswers() override;
};

}  // namespace quillet::os::win32
