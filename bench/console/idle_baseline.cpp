// The bare baseline of the idle figures: what any program serving these
// ports must do under Wine, and nothing more. Opens the ports named on its
// command line (COM11 COM12 ...) with overlapped I/O, the full event mask
// 0x05FF and one WaitCommEvent loop per port on its own thread, then runs a
// hidden window's message loop. The window's caption tells the driver that
// every port is open ("... ready") or that one is not ("... failed").
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/raw_com_port.h"

namespace {

constexpr wchar_t kClass[] = L"QuilletIdleBaseline";

HANDLE OpenPort(const std::wstring& name) {
  HANDLE h = quillet::testsupport::OpenRawComPort(name, COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 1000});
  if (h == INVALID_HANDLE_VALUE) return h;
  SetupComm(h, 1024, 1024);
  SetCommMask(h, 0x05FF);
  return h;
}

// Waits for the port's events and reads whatever arrives, until the handle
// is closed under it.
void Serve(HANDLE port) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  char buffer[1024];
  for (;;) {
    DWORD mask = 0, n = 0;
    if (!WaitCommEvent(port, &mask, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, &ov, &n, TRUE)) break;
    }
    if (mask & EV_RXCHAR) {
      OVERLAPPED rov{};
      rov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      DWORD got = 0;
      if (!ReadFile(port, buffer, sizeof buffer, &got, &rov) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(port, &rov, &got, TRUE);
      CloseHandle(rov.hEvent);
    }
  }
  CloseHandle(ov.hEvent);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<HANDLE> ports;
  bool all_open = true;
  for (int i = 1; i < argc; ++i) {
    HANDLE h = OpenPort(argv[i]);
    if (h == INVALID_HANDLE_VALUE) {
      all_open = false;
      continue;
    }
    ports.push_back(h);
  }
  std::vector<std::thread> threads;
  for (HANDLE h : ports) threads.emplace_back(Serve, h);

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = kClass;
  RegisterClassW(&wc);
  const std::wstring caption =
      std::wstring(L"Quillet idle baseline ") + (all_open ? L"ready" : L"failed");
  CreateWindowExW(0, kClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                  200, 100, nullptr, nullptr, instance, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The driver ends this program with TerminateProcess; nothing to undo.
  for (auto& t : threads) t.detach();
  return 0;
}
