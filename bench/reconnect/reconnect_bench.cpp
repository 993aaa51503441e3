// Eight rows waiting for absent devices, under Wine: quillet.exe started with
// rows 1..8 stored open on COM41..COM48, which do not exist, so each row
// retries its open at most every 5 s; its CPU time over a window of seconds,
// then the same program with no configuration (no row open, nothing to
// retry) over the same window, one after the other, several times. Prints
// figures only.
//
// Usage: bench_reconnect_waiting <quillet.exe> [seconds] [repeats]; run
// through tests/support/wine-run (bench/reconnect/run.sh). Replaces
// skeneri.ini in the prefix's roaming AppData and removes it at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "bench/bench_support.h"
#include "bench/quillet_config.h"
#include "bench/wine_bench.h"
#include "tests/support/wine_path.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;

namespace {

using quillet::bench::CpuSeconds;
using quillet::bench::Loadavg;
using quillet::bench::Median;
using quillet::bench::UnixPid;
using quillet::bench::WaitUntil;

constexpr int kRows = 8;
constexpr int kFirstPort = 41;  // no such ports in the prefix

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// CPU in % of one core over `seconds`, after 3 s of settling; rows 8 with
// the configuration, 0 without it.
std::optional<double> MeasureQuillet(const std::wstring& exe, double seconds, int rows) {
  quillet::bench::RemoveIni();
  std::vector<int> ports;
  for (int row = 1; row <= rows; ++row) ports.push_back(kFirstPort + row - 1);
  if (rows > 0 && !quillet::bench::WriteIni(ports)) return std::nullopt;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return std::nullopt;
  std::optional<double> cpu;
  const HWND top =
      ud::WaitWindow(quillet::app::kMainWindowCaption, quillet::app::kMainWindowClass, 20000);
  bool ready =
      top != nullptr &&
      (rows == 0 ||
       WaitUntil([&] { return ud::StatusBarText(top) == L"Waiting for devices..."; }, 30000));
  for (int row = 1; ready && row <= rows; ++row) {
    const std::wstring label = ud::Text(ud::FindControl(top, L"lbstatus" + std::to_wstring(row)));
    if (label != L"Port status: Error!") {
      std::printf("  row %d reads \"%s\"\n", row, Narrow(label).c_str());
      ready = false;
    }
  }
  if (ready) {
    Sleep(3000);
    const int pid = UnixPid(exe);
    const DWORD start = GetTickCount();
    const double cpu0 = pid > 0 ? CpuSeconds(pid) : -1;
    Sleep(static_cast<DWORD>(seconds * 1000));
    const double cpu1 = pid > 0 ? CpuSeconds(pid) : -1;
    const double wall = (GetTickCount() - start) / 1000.0;
    if (cpu0 >= 0 && cpu1 >= 0) cpu = 100.0 * (cpu1 - cpu0) / wall;
  } else {
    std::printf("  quillet.exe did not come up as expected\n");
  }
  TerminateProcess(info.hProcess, 0);
  WaitForSingleObject(info.hProcess, 10000);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return cpu;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_reconnect_waiting <quillet.exe> [seconds] [repeats]\n");
    return 2;
  }
  const std::wstring exe = quillet::testsupport::WindowsPath(argv[1]);
  const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 30.0;
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

  std::printf(
      "eight rows waiting for absent devices (COM%d..COM%d) beside no row, CPU over %.0f s, %d "
      "runs:\n",
      kFirstPort, kFirstPort + kRows - 1, seconds, repeats);
  std::vector<double> waiting, idle, difference;
  for (int run = 1; run <= repeats; ++run) {
    const std::string load_w = Loadavg();
    const auto w = MeasureQuillet(exe, seconds, kRows);
    Sleep(1000);
    const std::string load_i = Loadavg();
    const auto i = MeasureQuillet(exe, seconds, 0);
    if (w)
      std::printf("  run %d waiting  CPU %6.2f %% of a core   (load %s)\n", run, *w,
                  load_w.c_str());
    if (i)
      std::printf("  run %d no row   CPU %6.2f %% of a core   (load %s)\n", run, *i,
                  load_i.c_str());
    if (!w || !i) continue;
    waiting.push_back(*w);
    idle.push_back(*i);
    difference.push_back(*w - *i);
    std::printf("  run %d difference  %+6.2f points\n", run, difference.back());
  }
  quillet::bench::RemoveIni();
  if (difference.empty()) {
    std::printf("  no complete run\n");
    return 0;
  }
  const auto [lo, hi] = std::minmax_element(difference.begin(), difference.end());
  std::printf(
      "median: waiting %.2f %%, no row %.2f %%, difference %+.2f points (spread %+.2f..%+.2f)\n",
      Median(waiting), Median(idle), Median(difference), *lo, *hi);
  return 0;
}
