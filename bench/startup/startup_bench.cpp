// Start-up figures of quillet.exe under Wine, printed for people:
//   startup_bench <quillet.exe> <empty_window.exe> [runs] [empty_window_cc.exe]
// 1. Time from wWinMain's entry to the main window's first paint, with no
//    configuration file (quillet.exe records both moments when
//    QUILLET_BENCH_STARTUP names a file).
// 2. Working set of quillet.exe and of an empty window program (and of the
//    same with common controls v6 when given), each idle two seconds after
//    its window appeared.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/wine_path.h"

namespace {

using quillet::bench::Median;
using quillet::testsupport::WindowsPath;

struct Child {
  PROCESS_INFORMATION info{};
  bool Start(const std::wstring& exe) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info) != FALSE;
  }
  ~Child() {
    if (info.hProcess == nullptr) return;
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
};

// The figure and the steps on the way ("name ms" lines after the first).
struct Probe {
  double ms = -1;
  std::vector<std::pair<std::string, double>> steps;
};

Probe ReadProbe(const std::wstring& path, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    std::ifstream in{std::filesystem::path(path)};
    std::string key;
    Probe probe;
    if (in >> key >> probe.ms) {
      double at = 0;
      while (in >> key >> at) probe.steps.emplace_back(key, at);
      return probe;
    }
    Sleep(20);
  }
  return {};
}

double WorkingSetMb(const std::wstring& exe) {
  Child child;
  if (!child.Start(exe)) return -1;
  WaitForInputIdle(child.info.hProcess, 10000);
  Sleep(2000);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(child.info.hProcess, &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench <quillet.exe> <empty_window.exe> [runs]\n");
    return 2;
  }
  const std::wstring quillet = WindowsPath(argv[1]);
  const std::wstring empty = WindowsPath(argv[2]);
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

  wchar_t appdata[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
  const std::filesystem::path ini =
      std::filesystem::path(appdata) / L"Brovana" / L"Quillet" / L"skeneri.ini";
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring probe = std::wstring(temp) + L"quillet_startup.txt";
  SetEnvironmentVariableW(L"QUILLET_BENCH_STARTUP", probe.c_str());

  for (const auto& [name, exe] :
       {std::pair{"quillet.exe", quillet}, std::pair{"empty window", empty}}) {
    std::vector<double> times;
    // Each step's moments, in the order the program reached them.
    std::vector<std::pair<std::string, std::vector<double>>> steps;
    for (int i = 0; i < runs; ++i) {
      std::error_code ignored;
      std::filesystem::remove(ini, ignored);
      DeleteFileW(probe.c_str());
      Child child;
      if (!child.Start(exe)) {
        std::fprintf(stderr, "cannot start %s\n", name);
        return 1;
      }
      const Probe result = ReadProbe(probe, 20000);
      if (result.ms < 0) continue;
      times.push_back(result.ms);
      for (const auto& [step, at] : result.steps) {
        auto found = std::find_if(steps.begin(), steps.end(),
                                  [&](const auto& known) { return known.first == step; });
        if (found == steps.end()) found = steps.insert(steps.end(), {step, {}});
        found->second.push_back(at);
      }
    }
    if (times.empty()) continue;
    std::sort(times.begin(), times.end());
    std::printf(
        "start-up, wWinMain -> first paint, no configuration file, %s (%zu runs): median %.1f ms, "
        "min %.1f, max %.1f (target for quillet.exe < 100 ms)\n",
        name, times.size(), Median(times), times.front(), times.back());
    if (!steps.empty()) {
      // Where the time goes: the median moment each step ended.
      std::printf("  steps ended at (median ms):");
      for (const auto& [step, moments] : steps)
        std::printf(" %s %.1f", step.c_str(), Median(moments));
      std::printf("\n");
    }
  }
  SetEnvironmentVariableW(L"QUILLET_BENCH_STARTUP", nullptr);
  const double quillet_mb = WorkingSetMb(quillet);
  const double empty_mb = WorkingSetMb(empty);
  std::printf(
      "idle working set: quillet.exe %.1f MB, empty window %.1f MB, difference %.1f MB (target <= "
      "4 MB)\n",
      quillet_mb, empty_mb, quillet_mb - empty_mb);
  if (argc > 4) {
    const double cc_mb = WorkingSetMb(WindowsPath(argv[4]));
    std::printf(
        "idle working set: empty window with common controls v6 %.1f MB (%.1f MB above the empty "
        "window); quillet.exe %.1f MB above it\n",
        cc_mb, cc_mb - empty_mb, quillet_mb - cc_mb);
  }
  return 0;
}
