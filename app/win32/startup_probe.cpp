#include "app/win32/startup_probe.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace quillet::app::win32 {
namespace {

struct Step {
  const char* name;
  LARGE_INTEGER at;
};

LARGE_INTEGER g_entry{};
bool g_painted = false;
Step g_steps[16]{};
int g_step_count = 0;

double MsSinceEntry(LARGE_INTEGER at) {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(at.QuadPart - g_entry.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

void MarkStartupEntry() {
  QueryPerformanceCounter(&g_entry);
}

void MarkStartupStep(const char* step) {
  if (g_painted || g_step_count >= static_cast<int>(std::size(g_steps))) return;
  g_steps[g_step_count].name = step;
  QueryPerformanceCounter(&g_steps[g_step_count].at);
  ++g_step_count;
}

void MarkFirstPaint() {
  if (g_painted) return;
  g_painted = true;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  std::vector<wchar_t> path(32768);
  const DWORD length = GetEnvironmentVariableW(L"QUILLET_BENCH_STARTUP", path.data(),
                                               static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return;
  FILE* file = _wfopen(path.data(), L"w");
  if (file == nullptr) return;
  // The first line is the figure; the steps follow for whoever looks closer.
  std::fprintf(file, "entry_to_first_paint_ms %.3f\n", MsSinceEntry(now));
  for (int i = 0; i < g_step_count; ++i)
    std::fprintf(file, "%s %.3f\n", g_steps[i].name, MsSinceEntry(g_steps[i].at));
  std::fclose(file);
}

}  // namespace quillet::app::win32
