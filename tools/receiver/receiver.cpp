// receiver.exe <logfile> [--shortcuts] [--sink] [--times]: a window captioned "Quillet
// Receiver" whose multi-line edit box takes the keyboard focus, so that tests
// can type into it and read back exactly what arrived.
//
// --sink: in place of the edit box, a plain child window that keeps each
// WM_CHAR it gets, as it comes (no editing, no layout): it costs the same at
// any length, where the edit box re-lays its text out on every character.
// WM_GETTEXT, WM_GETTEXTLENGTH and WM_SETTEXT work on what it keeps.
//
// --shortcuts: the window has an accelerator table for Ctrl+A, Ctrl+V,
// Ctrl+W and Ctrl+X (virtual keys, as programs define them for select all,
// paste, close and cut); one that fires is logged and goes no further.
//
// --times: each KEYDOWN and SYSKEYDOWN line goes on with when it was handled
// and what came with it: " t=<ms> mt=<ms> sc=<scan> ext=<0|1> shift=<0|1>
// ctrl=<0|1> alt=<0|1>": the time it was handled in milliseconds with three
// decimals on the performance counter; the message's own time stamp
// (GetMessageTime: when the key went into the system's input, in whole
// milliseconds, apart from this window's own scheduling); the scan code and
// extended bit of the message; whether each modifier was down as this
// thread saw it then.
//
// Log format (UTF-8, one line per event, written through at once):
//   HWND <hex>            the top-level window's handle, first line
//   READY caps=<0|1>      the edit box has the focus and the window is in the
//                         foreground; Caps Lock as this thread sees it
//   KEYDOWN <vk>          WM_KEYDOWN of the edit box, virtual key as 2 hex digits
//   KEYUP <vk>            WM_KEYUP
//   SYSKEYDOWN <vk>       WM_SYSKEYDOWN
//   SYSKEYUP <vk>         WM_SYSKEYUP
//   CHAR <code>           WM_CHAR, the UTF-16 code unit as 4 hex digits
//                         (CR is 000D, LF 000A, TAB 0009)
//   DEADCHAR <code>       WM_DEADCHAR
//   CAPS <0|1>            after each Caps Lock key release: Caps Lock now
//   ACCEL <letter>        with --shortcuts: the accelerator Ctrl+<letter> fired
//   TEXT <codes>          on WM_CLOSE: the edit box's text, each UTF-16 code
//                         unit as 4 hex digits, no separators (an Enter typed
//                         into the box reads 000D000A)
//   END                   last line, the window is closing
// Hex digits are upper case.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"QuilletReceiver";
constexpr UINT_PTR kFocusTimer = 1;
// Accelerator command ids: the letter's virtual key plus this.
constexpr WORD kAccelBase = 0x7000;

// The log file, written unbuffered so that a test reading it sees each line
// as soon as the event is handled.
class Log {
 public:
  explicit Log(const wchar_t* path)
      : file_(CreateFileW(path, GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Log() {
    if (ok()) CloseHandle(file_);
  }
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }

  void Line(const std::string& line) {
    if (!ok()) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

 private:
  HANDLE file_;
};

std::string Hex(unsigned value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
  return out;
}

struct Receiver {
  Log* log = nullptr;
  HWND window = nullptr;
  HWND edit = nullptr;
  WNDPROC editProc = nullptr;
  bool ready = false;
  bool times = false;  // --times
};

Receiver g_receiver;
std::wstring g_sinkText;

LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_CHAR:
        g_sinkText += static_cast<wchar_t>(wParam);
        return 0;
      case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(g_sinkText.size());
      case WM_GETTEXT: {
        if (wParam == 0) return 0;
        const std::size_t n = std::min(g_sinkText.size(), static_cast<std::size_t>(wParam) - 1);
        auto* out = reinterpret_cast<wchar_t*>(lParam);
        g_sinkText.copy(out, n);
        out[n] = L'\0';
        return static_cast<LRESULT>(n);
      }
      case WM_SETTEXT:
        g_sinkText = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        return TRUE;
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
      case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
      default:
        break;
    }
  } catch (...) {
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool CapsLockOn() {
  return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

void ReportReadyOnce() {
  if (g_receiver.ready || GetFocus() != g_receiver.edit ||
      GetForegroundWindow() != g_receiver.window)
    return;
  g_receiver.ready = true;
  KillTimer(g_receiver.window, kFocusTimer);
  g_receiver.log->Line(std::string("READY caps=") + (CapsLockOn() ? "1" : "0"));
}

// " t=... sc=.. ext=. shift=. ctrl=. alt=." for --times.
std::string KeyDetails(LPARAM lParam) {
  if (!g_receiver.times) return "";
  LARGE_INTEGER now{}, frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const long long micros = static_cast<long long>(static_cast<double>(now.QuadPart) * 1e6 /
                                                  static_cast<double>(frequency.QuadPart));
  std::string millis = std::to_string(micros % 1000);
  millis.insert(0, 3 - millis.size(), '0');
  const auto down = [](int vk) { return (GetKeyState(vk) & 0x8000) ? "1" : "0"; };
  return " t=" + std::to_string(micros / 1000) + "." + millis +
         " mt=" + std::to_string(static_cast<unsigned long>(GetMessageTime())) +
         " sc=" + Hex(static_cast<unsigned>((lParam >> 16) & 0xFF), 2) +
         " ext=" + ((lParam >> 24) & 1 ? "1" : "0") + " shift=" + down(VK_SHIFT) +
         " ctrl=" + down(VK_CONTROL) + " alt=" + down(VK_MENU);
}

void LogEditMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  Log& log = *g_receiver.log;
  switch (message) {
    case WM_KEYDOWN:
      log.Line("KEYDOWN " + Hex(static_cast<unsigned>(wParam), 2) + KeyDetails(lParam));
      break;
    case WM_KEYUP:
      log.Line("KEYUP " + Hex(static_cast<unsigned>(wParam), 2));
      break;
    case WM_SYSKEYDOWN:
      log.Line("SYSKEYDOWN " + Hex(static_cast<unsigned>(wParam), 2) + KeyDetails(lParam));
      break;
    case WM_SYSKEYUP:
      log.Line("SYSKEYUP " + Hex(static_cast<unsigned>(wParam), 2));
      break;
    case WM_CHAR:
      log.Line("CHAR " + Hex(static_cast<unsigned>(wParam), 4));
      break;
    case WM_DEADCHAR:
      log.Line("DEADCHAR " + Hex(static_cast<unsigned>(wParam), 4));
      break;
    default:
      break;
  }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    LogEditMessage(message, wParam, lParam);
  } catch (...) {
    // Out of memory while logging: the line is lost, the window goes on.
  }
  const LRESULT result = CallWindowProcW(g_receiver.editProc, hwnd, message, wParam, lParam);
  try {
    if (message == WM_KEYUP && wParam == VK_CAPITAL)
      g_receiver.log->Line(std::string("CAPS ") + (CapsLockOn() ? "1" : "0"));
    if (message == WM_SETFOCUS) ReportReadyOnce();
  } catch (...) {
  }
  return result;
}

void ReportTextAndEnd() {
  const int length = GetWindowTextLengthW(g_receiver.edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(g_receiver.edit, text.data(), length + 1)));
  std::string line = "TEXT ";
  for (const wchar_t ch : text) line += Hex(static_cast<unsigned>(ch), 4);
  g_receiver.log->Line(line);
  g_receiver.log->Line("END");
}

void TakeForeground() {
  SetForegroundWindow(g_receiver.window);
  BringWindowToTop(g_receiver.window);
  SetFocus(g_receiver.edit);
  ReportReadyOnce();
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_SIZE:
        if (g_receiver.edit)
          MoveWindow(g_receiver.edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && g_receiver.edit) SetFocus(g_receiver.edit);
        return 0;
      case WM_TIMER:
        if (wParam == kFocusTimer) TakeForeground();
        return 0;
      case WM_COMMAND:
        if (HIWORD(wParam) == 1 && LOWORD(wParam) > kAccelBase) {
          g_receiver.log->Line(std::string("ACCEL ") +
                               static_cast<char>(LOWORD(wParam) - kAccelBase));
          return 0;
        }
        break;
      case WM_CLOSE:
        ReportTextAndEnd();
        DestroyWindow(hwnd);
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        break;
    }
  } catch (...) {
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    if (argv) LocalFree(argv);
    MessageBoxW(nullptr, L"Usage: receiver.exe <logfile> [--shortcuts]", L"Quillet Receiver",
                MB_ICONERROR);
    return 2;
  }
  Log log(argv[1]);
  bool shortcuts = false, sink = false;
  for (int i = 2; i < argc; ++i) {
    shortcuts = shortcuts || std::wstring(argv[i]) == L"--shortcuts";
    sink = sink || std::wstring(argv[i]) == L"--sink";
    g_receiver.times = g_receiver.times || std::wstring(argv[i]) == L"--times";
  }
  LocalFree(argv);
  if (!log.ok()) return 3;
  g_receiver.log = &log;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return 4;

  g_receiver.window = CreateWindowExW(0, kClassName, L"Quillet Receiver", WS_OVERLAPPEDWINDOW, 100,
                                      100, 640, 360, nullptr, nullptr, instance, nullptr);
  if (!g_receiver.window) return 5;
  RECT client{};
  GetClientRect(g_receiver.window, &client);
  if (sink) {
    WNDCLASSEXW sc{};
    sc.cbSize = sizeof(sc);
    sc.lpfnWndProc = SinkProc;
    sc.hInstance = instance;
    sc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    sc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    sc.lpszClassName = L"QuilletReceiverSink";
    if (!RegisterClassExW(&sc)) return 4;
    g_receiver.edit =
        CreateWindowExW(WS_EX_CLIENTEDGE, sc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                        client.right, client.bottom, g_receiver.window, nullptr, instance, nullptr);
    if (!g_receiver.edit) return 6;
  } else {
    g_receiver.edit = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0, 0,
        client.right, client.bottom, g_receiver.window, nullptr, instance, nullptr);
    if (!g_receiver.edit) return 6;
    SendMessageW(g_receiver.edit, WM_SETFONT,
                 reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    SendMessageW(g_receiver.edit, EM_SETLIMITTEXT, 0, 0);
  }
  g_receiver.editProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(g_receiver.edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  log.Line("HWND " + Hex(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(g_receiver.window)), 8));

  ShowWindow(g_receiver.window, SW_SHOWNORMAL);
  UpdateWindow(g_receiver.window);
  TakeForeground();
  // Keep asking for the foreground until it is ours: another window may be
  // activating at the same moment.
  SetTimer(g_receiver.window, kFocusTimer, 100, nullptr);

  HACCEL accelerators = nullptr;
  if (shortcuts) {
    ACCEL table[4] = {};
    const char letters[] = "AVWX";
    for (int i = 0; i < 4; ++i)
      table[i] = {FVIRTKEY | FCONTROL, static_cast<WORD>(letters[i]),
                  static_cast<WORD>(kAccelBase + letters[i])};
    accelerators = CreateAcceleratorTableW(table, 4);
    if (!accelerators) return 7;
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (accelerators && TranslateAcceleratorW(g_receiver.window, accelerators, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (accelerators) DestroyAcceleratorTable(accelerators);
  return 0;
}
