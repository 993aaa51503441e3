#include "app/win32/startup_probe.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace quillet::app::win32 {
namespace {

LARGE_INTEGER g_entry{};
bool g_painted = false;

}  // namespace

void MarkStartupEntry() { QueryPerformanceCounter(&g_entry); }

void MarkFirstPaint() {
  if (g_painted) return;
  g_painted = true;
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  std::vector<wchar_t> path(32768);
  const DWORD length = GetEnvironmentVariableW(L"QUILLET_BENCH_STARTUP", path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return;
  FILE* file = _wfopen(path.data(), L"w");
  if (file == nullptr) return;
  const double ms = static_cast<double>(now.QuadPart - g_entry.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  std::fprintf(file, "entry_to_first_paint_ms %.3f\n", ms);
  std::fclose(file);
}

}  // namespace quillet::app::win32
