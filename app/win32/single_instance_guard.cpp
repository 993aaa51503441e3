#include "app/win32/single_instance_guard.h"

#include "app/single_instance_protocol.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {
namespace {

std::vector<std::wstring> SplitLines(const wchar_t* text, std::size_t length) {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == L'\r' && i + 1 < length && text[i + 1] == L'\n') {
      lines.push_back(line);
      line.clear();
      ++i;
    } else {
      line.push_back(text[i]);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

TAppInstances::TAppInstances(HINSTANCE instance) {
  window_class_ =
      WindowClassRegistration(instance, kInstancesWindowClass.data(), &TAppInstances::WindowProc);
  // Top-level and never shown: the other copies find it among this thread's windows.
  FHandle = CreateWindowExW(0, kInstancesWindowClass.data(), L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, instance, this);
  FAppInstances = TAppInstanceRegistry::Acquire();
  // Without its window or the shared objects the guard cannot tell copies
  // apart; the program then starts as any first copy would.
  if (FHandle == nullptr || !FAppInstances) FActive = false;
}

TAppInstances::~TAppInstances() {
  if (FHandle != nullptr) DestroyWindow(FHandle);
  FAppInstances.reset();
  window_class_.reset();
}

TAppInstances::CheckResult TAppInstances::Check() {
  if (!FActive || FMaxInstances <= 0 || !FAppInstances) return CheckResult::Run;
  const bool registered = FAppInstances->LastRegistration() != Registration::Full;
  // A copy that found no room in the list is refused like any other extra copy.
  if (registered) {
    const int index = FAppInstances->GetAllInstanceIndex(FAppInstances->ProcessId());
    // -1: the lock wait timed out (a hung copy holds it) or the entry is
    // gone; the guard cannot decide, and the copy starts normally.
    if (index < 0 || index < FMaxInstances) return CheckResult::Run;
    QueryOthers();
    if (!FActive) return CheckResult::Run;
  }
  if (FOnRejected) FOnRejected(*this);
  if (FAutoActivate) FAppInstances->SwitchTo(0);
  if (FSendCmdLine) FAppInstances->SendCmdLineParams(kInstancesWindowClass, FHandle);
  FAppInstances.reset();  // unregisters
  return CheckResult::Rejected;
}

void TAppInstances::QueryOthers() {
  const DWORD self = FAppInstances->ProcessId();
  for (DWORD id : FAppInstances->Instances()) {
    if (id == self) continue;
    // A copy without an application window gives no answer and counts as active.
    if (HWND window = FindApplicationWindow(id)) {
      SendToThreadWindows(window, FAppInstances->MessageId(), kInstanceQuery,
                          reinterpret_cast<LPARAM>(FHandle), true);
    }
    if (!FActive) return;
  }
}

LRESULT CALLBACK TAppInstances::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = os::win32::WindowObject<TAppInstances>(
      hwnd, message, lparam, [hwnd](TAppInstances* guard) noexcept { guard->FHandle = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    os::win32::ForgetWindowObject(hwnd);
    self->FHandle = nullptr;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  // A handler's failure stays in this copy: the sender only waits for an
  // answer, and 0 is what the window would answer to these messages anyway.
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); }, [] {});
}

LRESULT TAppInstances::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COPYDATA) {
    const auto sender = reinterpret_cast<HWND>(wparam);
    if (sender != FHandle && lparam != 0)
      return OnCopyData(sender, *reinterpret_cast<const COPYDATASTRUCT*>(lparam));
  } else if (FAppInstances && message == FAppInstances->MessageId()) {
    const DWORD self = FAppInstances->ProcessId();
    switch (wparam) {
      case kInstanceCreated:
        if (static_cast<DWORD>(lparam) != self && FOnInstanceCreated)
          FOnInstanceCreated(*this, static_cast<DWORD>(lparam));
        break;
      case kInstanceDestroyed:
        if (static_cast<DWORD>(lparam) != self && FOnInstanceDestroyed)
          FOnInstanceDestroyed(*this, static_cast<DWORD>(lparam));
        break;
      case kInstanceQuery: {
        const auto asker = reinterpret_cast<HWND>(lparam);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(asker, FAppInstances->MessageId(), kInstanceAnswer, FActive ? 1 : 0,
                            SMTO_NORMAL | SMTO_ABORTIFHUNG, kInstanceSendTimeoutMs, &ignored);
        break;
      }
      case kInstanceAnswer:
        FActive = lparam != 0;
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(FHandle, message, wparam, lparam);
}

LRESULT TAppInstances::OnCopyData(HWND /*sender*/, const COPYDATASTRUCT& data) {
  if (data.dwData == kCopyDataCommandLine) {
    // The data come from another process: take only whole UTF-16 code units
    // and nothing from a null pointer.
    if (FOnCmdLineReceived && (data.lpData != nullptr || data.cbData == 0)) {
      const std::size_t length = data.lpData != nullptr ? data.cbData / sizeof(wchar_t) : 0;
      FOnCmdLineReceived(*this, SplitLines(static_cast<const wchar_t*>(data.lpData), length));
    }
  } else if (FOnDataAvailable) {
    FOnDataAvailable(*this, data.dwData, data.lpData, data.lpData != nullptr ? data.cbData : 0);
  }
  return 1;
}

void RestoreApplication(HWND main_window) {
  if (main_window == nullptr || !IsWindow(main_window)) return;
  // Hidden in the tray the window is minimised and invisible: SW_RESTORE
  // shows it, with its taskbar button, and restores it in one step.
  if (IsIconic(main_window) || !IsWindowVisible(main_window)) {
    ShowWindow(main_window, SW_RESTORE);
    ShowOwnedPopups(main_window, TRUE);
  }
}

void BringApplicationToFront(HWND main_window) {
  if (main_window == nullptr || !IsWindow(main_window)) return;
  HWND popup = GetLastActivePopup(main_window);
  if (popup != nullptr && IsWindowVisible(popup) && IsWindowEnabled(popup))
    SetForegroundWindow(popup);
}

}  // namespace quillet::app::win32
