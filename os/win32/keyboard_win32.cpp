#include "os/win32/keyboard_win32.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace quillet::os::win32 {

namespace {

HKL ToHkl(KeyboardLayout layout) {
  return reinterpret_cast<HKL>(layout);
}

HWND ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

// Closes a process or token handle on every way out.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_) ::CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return handle_; }
  HANDLE* Put() { return &handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::int16_t Win32KeyboardApi::GetKeyState(int vk) {
  return ::GetKeyState(vk);
}

KeyboardLayout Win32KeyboardApi::GetForegroundKeyboardLayout() {
  DWORD thread = 0;
  if (HWND foreground = ::GetForegroundWindow())
    thread = ::GetWindowThreadProcessId(foreground, nullptr);
  // Thread 0 is the calling thread.
  return reinterpret_cast<KeyboardLayout>(::GetKeyboardLayout(thread));
}

std::int16_t Win32KeyboardApi::VkKeyScanExW(wchar_t ch, KeyboardLayout layout) {
  return ::VkKeyScanExW(ch, ToHkl(layout));
}

ToUnicodeResult Win32KeyboardApi::ToUnicodeEx(unsigned vk, unsigned scanCode,
                                              const KeyStateArray& keyState, KeyboardLayout layout,
                                              unsigned flags) {
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
  SendKeysCounted(inputs);
}

std::size_t Win32KeyboardApi::SendKeysCounted(std::span<const KeyInput> inputs) {
  if (inputs.empty()) return 0;
  std::vector<INPUT> events(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    events[i].type = INPUT_KEYBOARD;
    events[i].ki.wVk = inputs[i].unicode ? 0 : inputs[i].code;
    events[i].ki.wScan = inputs[i].unicode ? inputs[i].code : inputs[i].scan;
    events[i].ki.dwFlags = (inputs[i].unicode ? KEYEVENTF_UNICODE : 0) |
                           (inputs[i].keyUp ? KEYEVENTF_KEYUP : 0) |
                           (!inputs[i].unicode && inputs[i].extended ? KEYEVENTF_EXTENDEDKEY : 0);
  }
  return ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

unsigned Win32KeyboardApi::MapVirtualKeyW(unsigned code, unsigned mapType) {
  return ::MapVirtualKeyW(code, mapType);
}

}  // namespace quillet::os::win32

namespace quillet::os::win32 {

WindowHandle Win32KeyboardApi::GetForegroundWindow() {
  return reinterpret_cast<WindowHandle>(::GetForegroundWindow());
}

std::wstring Win32KeyboardApi::GetWindowTextW(WindowHandle window) {
  const int length = ::GetWindowTextLengthW(ToHwnd(window));
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(ToHwnd(window), text.data(), length + 1)));
  return text;
}

Dword Win32KeyboardApi::GetWindowProcessId(WindowHandle window) {
  DWORD process = 0;
  if (!::GetWindowThreadProcessId(ToHwnd(window), &process)) return 0;
  return process;
}

Dword Win32KeyboardApi::GetCurrentProcessId() {
  return ::GetCurrentProcessId();
}

std::optional<Dword> Win32KeyboardApi::GetProcessIntegrityLevel(Dword processId) {
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process.Get()) return std::nullopt;
  ScopedHandle token;
  if (!::OpenProcessToken(process.Get(), TOKEN_QUERY, token.Put())) return std::nullopt;
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) return std::nullopt;
  std::vector<BYTE> buffer(size);
  if (!::GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer.data(), size, &size))
    return std::nullopt;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
  PSID sid = label->Label.Sid;
  if (!sid || !::IsValidSid(sid)) return std::nullopt;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  if (count == 0) return std::nullopt;
  return static_cast<Dword>(*::GetSidSubAuthority(sid, count - 1));
}

bool Win32KeyboardApi::SendNullMessageTimeout(WindowHandle window, unsigned flags,
                                              unsigned timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(ToHwnd(window), WM_NULL, 0, 0, flags, timeoutMs, &result) != 0;
}

WindowHandle Win32KeyboardApi::GetGUIThreadFocus(WindowHandle window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(ToHwnd(window), nullptr);
  if (thread != 0 && ::GetGUIThreadInfo(thread, &info) && info.hwndFocus)
    return reinterpret_cast<WindowHandle>(info.hwndFocus);
  return window;
}

bool Win32KeyboardApi::IsWindow(WindowHandle window) {
  return ::IsWindow(ToHwnd(window)) != FALSE;
}

bool Win32KeyboardApi::RedrawWindow(WindowHandle window, const WindowRect& rect, unsigned flags) {
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  return ::RedrawWindow(ToHwnd(window), &r, nullptr, flags) != FALSE;
}

namespace {
// Answers come on the thread that asked, inside its message loop.
std::atomic<std::uint64_t> g_null_answers{0};
void CALLBACK NullAnswered(HWND, UINT, ULONG_PTR, LRESULT) {
  ++g_null_answers;
}
}  // namespace

bool Win32KeyboardApi::AskNullAnswer(WindowHandle window) {
  return ::SendMessageCallbackW(ToHwnd(window), WM_NULL, 0, 0, NullAnswered, 0) != FALSE;
}

std::uint64_t Win32KeyboardApi::NullAnswers() {
  return g_null_answers.load();
}

bool Win32KeyboardApi::GetUpdateRect(WindowHandle window) {
  return ::GetUpdateRect(ToHwnd(window), nullptr, FALSE) != FALSE;
}

}  // namespace quillet::os::win32
