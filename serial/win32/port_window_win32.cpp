#include "serial/win32/port_window_win32.h"

#include <windows.h>

#include <exception>
#include <memory>

#include "os/exception.h"
#include "os/win32/helpers/unique_handle.h"
#include "os/win32/helpers/window_object.h"
#include "serial/com_port.h"
#include "serial/port_window.h"
#include "serial/sync.h"

namespace quillet::serial::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuilletPortWindow";

LRESULT CALLBACK PortWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* port = os::win32::WindowObject<TCustomComPort>(window, message, lParam);
  if (message != kPortMessage) return DefWindowProcW(window, message, wParam, lParam);
  // A delivery's error goes to the application's handler, and the event
  // thread goes on.
  return os::win32::CallGuarded<LRESULT>(
      0,
      [&]() -> LRESULT {
        // Let the event thread's SendMessageW return before the delivery runs.
        if (InSendMessage()) ReplyMessage(0);
        if (port != nullptr) port->DeliverWindowEvent(static_cast<os::Dword>(wParam));
        return 0;
      },
      [] { HandleApplicationException(std::current_exception()); });
}

bool RegisterPortWindowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PortWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

class Win32PortWindow final : public TPortWindow {
 public:
  explicit Win32PortWindow(TCustomComPort& port) {
    // Zero-sized, never shown, no parent; created on the calling thread,
    // which then receives its messages.
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, GetModuleHandleW(nullptr), &port);
    if (window_ == nullptr) {
      throw Exception(L"Unable to create the port window (Error: " +
                      std::to_wstring(GetLastError()) + L")");
    }
  }
  ~Win32PortWindow() override { DestroyWindow(window_); }
  Win32PortWindow(const Win32PortWindow&) = delete;
  Win32PortWindow& operator=(const Win32PortWindow&) = delete;

  os::WindowHandle Handle() const override { return reinterpret_cast<os::WindowHandle>(window_); }
  void SendEvent(os::Dword eventBit) override { SendMessageW(window_, kPortMessage, eventBit, 0); }

 private:
  HWND window_ = nullptr;
};

// Sleeps on an auto-reset event, and lets messages sent to this thread's
// windows (a port window's deliveries) through meanwhile.
class Win32Waiter final : public TSyncWaiter {
 public:
  Win32Waiter() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  void Wait() override {
    // Peeking runs the messages sent meanwhile; MWMO_INPUTAVAILABLE also
    // wakes for one that arrived before this wait began.
    MSG msg;
    const HANDLE event = event_.get();
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  void Wake() override { SetEvent(event_.get()); }

 private:
  os::win32::UniqueKernelHandle event_;
};

}  // namespace

void InstallPortWindows() {
  static Win32Waiter waiter;
  if (!RegisterPortWindowClass()) return;
  SetSyncWaiter(&waiter);
  SetPortWindowFactory(
      [](TCustomComPort& port) { return std::make_unique<Win32PortWindow>(port); });
}

}  // namespace quillet::serial::win32
