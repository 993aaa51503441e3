// Which signal tells that a window has taken the keys sent to it? Types into
// a receiver process of its own (a window that counts the characters it has
// handled and spends a set time on each) in batches of 64 characters, waiting
// between batches by each candidate, and prints the most characters ever
// queued ahead of the receiver (sent and not yet handled) and the speed:
//   wait_signals_bench.exe [characters] [microseconds a character]
// Candidates: no wait; SendMessageTimeout(WM_NULL); WaitForInputIdle on the
// window's process; the paint probe (a 1x1 part of the focus window
// invalidated, then GetUpdateRect polled until the window has painted it:
// WM_PAINT is retrieved only when no input waits), waiting for the probe
// before each batch (one batch ahead) or before the batch after next (two).
// Then Quillet's own typing (TypeText: the typing queue's batches through
// the real keyboard seam) beside a bare SendInput of the same characters in
// batches of 64 with no wait, each timed until the receiver has handled all.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/typing.h"
#include "os/win32/keyboard_win32.h"

namespace {

constexpr wchar_t kClass[] = L"QuilletWaitSignalsReceiver";
constexpr wchar_t kMapping[] = L"QuilletWaitSignalsCount";
constexpr std::size_t kBatch = 64;

struct Shared {
  volatile LONG handled;
  volatile LONG spinMicroseconds;
  volatile LONG paints;
};
Shared* shared = nullptr;

Shared* OpenShared(bool create) {
  HANDLE mapping = create ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               sizeof(Shared), kMapping)
                          : OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kMapping);
  if (!mapping) return nullptr;
  return static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
}

void Spin(long microseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
  while (std::chrono::steady_clock::now() < end) {
  }
}

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CHAR:
      Spin(shared->spinMicroseconds);
      InterlockedIncrement(&shared->handled);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      InterlockedIncrement(&shared->paints);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

int RunReceiver() {
  shared = OpenShared(false);
  if (!shared) return 3;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ReceiverProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  HWND window = CreateWindowW(kClass, L"Receiver", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300,
                              200, nullptr, nullptr, wc.hInstance, nullptr);
  SetForegroundWindow(window);
  SetFocus(window);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

enum class Method { None, WmNull, InputIdle, ProbeOne, ProbeTwo, Quillet };

const char* Name(Method m) {
  switch (m) {
    case Method::None:
      return "no wait";
    case Method::WmNull:
      return "SendMessageTimeout WM_NULL (1 s)";
    case Method::InputIdle:
      return "WaitForInputIdle (1 s)";
    case Method::ProbeOne:
      return "paint probe, one batch ahead";
    case Method::Quillet:
      return "Quillet's typing (TypeText)";
    default:
      return "paint probe, two batches ahead";
  }
}

HWND FocusOf(HWND foreground) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(foreground, nullptr);
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) return info.hwndFocus;
  return foreground;
}

void ArmProbe(HWND window) {
  RECT one{0, 0, 1, 1};
  RedrawWindow(window, &one, nullptr, RDW_INVALIDATE | RDW_NOERASE);
}

bool ProbePending(HWND window) {
  return GetUpdateRect(window, nullptr, FALSE) != FALSE;
}

// Characters a second, or 0 when not all arrived.
double Measure(Method method, HWND target, HANDLE process, long total, long spin) {
  shared->spinMicroseconds = spin;
  const LONG start = shared->handled;
  std::vector<INPUT> inputs;
  long sent = 0, maxAhead = 0;
  const auto t0 = std::chrono::steady_clock::now();
  bool probeArmed = false;
  if (method == Method::Quillet) {
    std::wstring text;
    for (long i = 0; i < total; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    quillet::os::win32::Win32KeyboardApi keyboard;
    quillet::app::TypeText(text, keyboard);
    sent = total;
  }
  while (sent < total) {
    if (sent > 0) {
      const HWND focus = FocusOf(target);
      switch (method) {
        case Method::None:
        case Method::Quillet:
          break;
        case Method::WmNull: {
          DWORD_PTR r;
          SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, &r);
          break;
        }
        case Method::InputIdle:
          WaitForInputIdle(process, 1000);
          break;
        case Method::ProbeOne:
          ArmProbe(focus);
          while (ProbePending(focus)) Sleep(1);
          break;
        case Method::ProbeTwo:
          // The probe armed before the previous batch shows that everything
          // before that batch is taken; then this one goes, two ahead at most.
          if (probeArmed)
            while (ProbePending(focus)) Sleep(1);
          ArmProbe(focus);
          probeArmed = true;
          break;
      }
    }
    const long count = std::min<long>(kBatch, total - sent);
    inputs.assign(static_cast<std::size_t>(count) * 2, INPUT{});
    for (long i = 0; i < count; ++i) {
      for (int up = 0; up < 2; ++up) {
        INPUT& in = inputs[static_cast<std::size_t>(i * 2 + up)];
        in.type = INPUT_KEYBOARD;
        in.ki.wScan = static_cast<WORD>(L'a' + (sent + i) % 26);
        in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      }
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    sent += count;
    const long ahead = sent - (shared->handled - start);
    if (ahead > maxAhead) maxAhead = ahead;
  }
  const auto sentAt = std::chrono::steady_clock::now();
  // A sampler after the last batch would see less; the last send is the peak.
  for (int i = 0; i < 20000 && shared->handled - start < total; ++i) Sleep(1);
  const auto t1 = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(t1 - t0).count();
  const bool all = shared->handled - start == total;
  if (method == Method::Quillet)
    std::printf("  %-34s all handled: %s, %6.0f characters/s\n", Name(method), all ? "yes" : "NO",
                total / seconds);
  else
    std::printf(
        "  %-34s most queued ahead %5ld characters, all handled: %s, %6.0f characters/s"
        " (sending took %.2f s)\n",
        Name(method), maxAhead, all ? "yes" : "NO", total / seconds,
        std::chrono::duration<double>(sentAt - t0).count());
  std::fflush(stdout);
  return all ? total / seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "receiver") == 0) return RunReceiver();
  const long total = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
  const long spin = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 200;
  shared = OpenShared(true);
  if (!shared) return 2;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" receiver";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return 4;
  HWND target = nullptr;
  for (int i = 0; i < 100 && !target; ++i, Sleep(100)) target = FindWindowW(kClass, nullptr);
  if (!target) return 5;
  for (int i = 0; i < 50 && GetForegroundWindow() != target; ++i, Sleep(100))
    SetForegroundWindow(target);
  std::printf("%ld characters in batches of %zu, the receiver spending %ld us on each\n", total,
              kBatch, spin);
  for (Method m :
       {Method::None, Method::WmNull, Method::InputIdle, Method::ProbeOne, Method::ProbeTwo})
    Measure(m, target, pi.hProcess, total, spin);
  // Turns, so that a load that comes and goes falls on both.
  double bare = 0, ours = 0;
  for (int turn = 0; turn < 3; ++turn) {
    bare += Measure(Method::None, target, pi.hProcess, total, spin);
    ours += Measure(Method::Quillet, target, pi.hProcess, total, spin);
  }
  std::printf("Quillet's typing: %.0f characters/s, bare SendInput %.0f: %.0f %%\n", ours / 3,
              bare / 3, bare > 0 ? 100.0 * ours / bare : 0.0);
  PostMessageW(target, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0);
  return 0;
}
