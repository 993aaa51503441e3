// The baseline for the figures: an empty Win32 window with a message loop,
// built and linked like quillet.exe, run under the same Wine. Like
// quillet.exe it writes the time from wWinMain's entry to its first paint to
// the file named by QUILLET_BENCH_STARTUP.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

LARGE_INTEGER g_entry{};
bool g_painted = false;

void RecordFirstPaint() {
  if (g_painted) return;
  g_painted = true;
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QUILLET_BENCH_STARTUP", path, MAX_PATH) == 0) return;
  if (FILE* file = _wfopen(path, L"w")) {
    std::fprintf(file, "entry_to_first_paint_ms %.3f\n",
                 static_cast<double>(now.QuadPart - g_entry.QuadPart) * 1000.0 /
                     static_cast<double>(frequency.QuadPart));
    std::fclose(file);
  }
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint{};
    BeginPaint(hwnd, &paint);
    EndPaint(hwnd, &paint);
    RecordFirstPaint();
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  QueryPerformanceCounter(&g_entry);
#ifdef QUILLET_BENCH_COMMON_CONTROLS
  // The second baseline: common controls v6 loaded, as quillet.exe has them.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = L"EmptyWindow";
  RegisterClassW(&wc);
  HWND hwnd =
      CreateWindowExW(0, wc.lpszClassName, L"Empty window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                      CW_USEDEFAULT, CW_USEDEFAULT, 574, 462, nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, show_command);
  UpdateWindow(hwnd);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
