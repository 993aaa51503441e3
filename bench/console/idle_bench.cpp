// Eight rows open and idle, under Wine: process CPU time over a window of
// seconds and the working set of quillet.exe with its automatic opening
// having opened eight rows on COM11..COM18, then of the bare baseline program
// (idle_baseline.cpp) on the same eight ports, one after the other, several
// times; then both with nothing open, to tell the ports' share of the
// memory from the rest. Prints figures only; never fails on time.
//
// Usage: bench_console_idle <quillet.exe> <baseline.exe> [seconds] [repeats];
// run through tests/support/wine-run with the eight pairs
// QUILLET_COM_PAIR=11:21,12:22,...,18:28 (bench/console/run.sh).
// Replaces skeneri.ini in the prefix's roaming AppData.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

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
#include "bench/wine_bench.h"
#include "tests/support/wine_path.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace fs = std::filesystem;

namespace {

using quillet::bench::CpuSeconds;
using quillet::bench::Loadavg;
using quillet::bench::Median;
using quillet::bench::ReadAll;
using quillet::bench::UnixPid;
using quillet::bench::WaitUntil;
using quillet::testsupport::WindowsPath;

constexpr int kRows = 8;
constexpr int kFirstPort = 11;

fs::path IniPath() {
  wchar_t appdata[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
  return fs::path(appdata) / L"Brovana" / L"Quillet" / L"skeneri.ini";
}

// Eight rows on COM11..COM18, every one ticked for the automatic opening.
bool WriteIni() {
  std::error_code ignored;
  fs::create_directories(IniPath().parent_path(), ignored);
  std::ofstream out(IniPath(), std::ios::binary | std::ios::trunc);
  for (int row = 1; row <= kRows; ++row)
    out << "[skener" << row << "]\r\nPort=COM" << kFirstPort + row - 1 << "\r\nBaudRate=9600\r\n";
  out << "[Aktivacija]\r\n";
  for (int row = 1; row <= kRows; ++row) out << "cbotvori" << row << "=1\r\n";
  out << "[Startup]\r\nRunMinimized=0\r\n";
  return static_cast<bool>(out);
}

class Child {
 public:
  Child(const std::wstring& exe, const std::wstring& arguments) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
  }
  ~Child() {
    if (!started_) return;
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool Started() const { return started_; }
  HANDLE Process() const { return info_.hProcess; }
  DWORD Id() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

double VmRssMb(int pid) {
  std::istringstream status(ReadAll(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

struct Sample {
  double cpu_percent = -1;  // of one core, over the window
  double working_set_mb = -1;
  double vmrss_mb = -1;
};

// Settles, then measures CPU time over the window and the working set at its end.
Sample Measure(HANDLE process, const std::wstring& exe, double seconds) {
  Sleep(3000);
  Sample s;
  const int pid = UnixPid(exe);
  if (pid < 0) return s;
  const DWORD start = GetTickCount();
  const double cpu0 = CpuSeconds(pid);
  Sleep(static_cast<DWORD>(seconds * 1000));
  const double cpu1 = CpuSeconds(pid);
  const double wall = (GetTickCount() - start) / 1000.0;
  if (cpu0 >= 0 && cpu1 >= 0) s.cpu_percent = 100.0 * (cpu1 - cpu0) / wall;
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (GetProcessMemoryInfo(process, &m, sizeof m))
    s.working_set_mb = m.WorkingSetSize / (1024.0 * 1024.0);
  s.vmrss_mb = VmRssMb(pid);
  return s;
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// rows: 8 with the configuration file, 0 (nothing open) without it.
std::optional<Sample> MeasureQuillet(const std::wstring& exe, double seconds, int rows) {
  std::error_code ignored;
  fs::remove(IniPath(), ignored);
  if (rows > 0 && !WriteIni()) {
    std::printf("  quillet.exe: cannot write %s\n", IniPath().string().c_str());
    return std::nullopt;
  }
  Child child(exe, L"");
  if (!child.Started()) return std::nullopt;
  const HWND top =
      ud::WaitWindow(quillet::app::kMainWindowCaption, quillet::app::kMainWindowClass, 20000);
  if (top == nullptr ||
      (rows > 0 &&
       !WaitUntil([&] { return ud::StatusBarText(top) == L"Waiting for devices..."; }, 30000))) {
    std::printf("  quillet.exe: the automatic opening did not finish\n");
    return std::nullopt;
  }
  for (int row = 1; row <= rows; ++row) {
    const std::wstring label = ud::Text(ud::FindControl(top, L"lbstatus" + std::to_wstring(row)));
    if (label != L"Port status: Opened") {
      std::printf("  quillet.exe: row %d reads \"%s\"\n", row, Narrow(label).c_str());
      return std::nullopt;
    }
  }
  return Measure(child.Process(), exe, seconds);
}

std::optional<Sample> MeasureBaseline(const std::wstring& exe, double seconds, int rows) {
  std::wstring ports;
  for (int i = 0; i < rows; ++i) ports += L"COM" + std::to_wstring(kFirstPort + i) + L" ";
  Child child(exe, ports);
  if (!child.Started()) return std::nullopt;
  HWND window = nullptr;
  WaitUntil([&] { return (window = FindWindowW(L"QuilletIdleBaseline", nullptr)) != nullptr; },
            20000);
  wchar_t caption[128] = {};
  if (window != nullptr) GetWindowTextW(window, caption, 128);
  if (std::wstring(caption) != L"Quillet idle baseline ready") {
    std::printf("  baseline: not every port opened (\"%s\")\n", Narrow(caption).c_str());
    return std::nullopt;
  }
  return Measure(child.Process(), exe, seconds);
}

void PrintSample(const char* who, int run, const Sample& s, const std::string& load) {
  std::printf(
      "  run %d %-12s CPU %6.2f %% of a core   working set %6.2f MB (VmRSS %6.2f MB)   (load %s)\n",
      run, who, s.cpu_percent, s.working_set_mb, s.vmrss_mb, load.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: bench_console_idle <quillet.exe> <baseline.exe> [seconds] [repeats]\n");
    return 2;
  }
  const std::wstring quillet = WindowsPath(argv[1]);
  const std::wstring baseline = WindowsPath(argv[2]);
  const double seconds = argc > 3 ? std::max(1.0, std::atof(argv[3])) : 10.0;
  const int repeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;

  std::printf(
      "eight rows open and idle (Wine, modem shim), CPU over %.0f s after 3 s of settling, %d runs "
      "each:\n",
      seconds, repeats);
  std::vector<double> q_cpu, q_ws, b_cpu, b_ws, d_cpu, d_ws, z_ws, bz_ws;
  for (int run = 1; run <= repeats; ++run) {
    const std::string load_q = Loadavg();
    const auto q = MeasureQuillet(quillet, seconds, kRows);
    Sleep(1000);  // the ports are free again
    const std::string load_b = Loadavg();
    const auto b = MeasureBaseline(baseline, seconds, kRows);
    Sleep(1000);
    // Where the memory goes: the same program with no row open.
    const std::string load_z = Loadavg();
    const auto z = MeasureQuillet(quillet, seconds, 0);
    Sleep(1000);
    const std::string load_bz = Loadavg();
    const auto bz = MeasureBaseline(baseline, seconds, 0);
    if (q) PrintSample("quillet.exe", run, *q, load_q);
    if (b) PrintSample("baseline", run, *b, load_b);
    if (z) PrintSample("(no row)", run, *z, load_z);
    if (bz) PrintSample("(no port)", run, *bz, load_bz);
    if (z) z_ws.push_back(z->working_set_mb);
    if (bz) bz_ws.push_back(bz->working_set_mb);
    if (!q || !b) continue;
    q_cpu.push_back(q->cpu_percent);
    q_ws.push_back(q->working_set_mb);
    b_cpu.push_back(b->cpu_percent);
    b_ws.push_back(b->working_set_mb);
    d_cpu.push_back(q->cpu_percent - b->cpu_percent);
    d_ws.push_back(q->working_set_mb - b->working_set_mb);
    std::printf("  run %d difference   CPU %+6.2f points   working set %+6.2f MB\n", run,
                d_cpu.back(), d_ws.back());
  }
  std::error_code ignored;
  fs::remove(IniPath(), ignored);
  if (d_cpu.empty()) {
    std::printf("  no complete run\n");
    return 0;
  }
  const auto [cpu_lo, cpu_hi] = std::minmax_element(d_cpu.begin(), d_cpu.end());
  const auto [ws_lo, ws_hi] = std::minmax_element(d_ws.begin(), d_ws.end());
  std::printf("median: quillet.exe CPU %.2f %%, %.2f MB; baseline CPU %.2f %%, %.2f MB\n",
              Median(q_cpu), Median(q_ws), Median(b_cpu), Median(b_ws));
  if (!z_ws.empty())
    std::printf(
        "median working set of quillet.exe with no row open: %.2f MB (the eight rows add %+.2f "
        "MB)\n",
        Median(z_ws), Median(q_ws) - Median(z_ws));
  if (!bz_ws.empty())
    std::printf(
        "median working set of the baseline with no port open: %.2f MB (the eight ports add %+.2f "
        "MB)\n",
        Median(bz_ws), Median(b_ws) - Median(bz_ws));
  std::printf(
      "median difference: CPU %+.2f points (spread %+.2f..%+.2f; %+.1f %% of the baseline; target "
      "<= 10 %%), "
      "working set %+.2f MB (spread %+.2f..%+.2f; target <= 4 MB)\n",
      Median(d_cpu), *cpu_lo, *cpu_hi,
      Median(b_cpu) > 0 ? 100.0 * Median(d_cpu) / Median(b_cpu) : 0.0, Median(d_ws), *ws_lo,
      *ws_hi);
  return 0;
}
