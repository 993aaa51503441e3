// An hour (or any time) of field load on the real quillet.exe under Wine:
// eight rows open, each on a null-modem pair whose relay scans from outside
// Wine, as a device writes (a unique 20-character code plus CR every 200 ms,
// a byte a millisecond); one port unplugged for 5 s and plugged back every
// minute, Quillet reconnecting by itself; Settings > Load every five minutes.
// Quillet types into this program's own window, which checks every line as
// it comes. Every 10 s the process's working set, private bytes, handle
// count and USER and GDI objects are sampled (and printed); at the end each
// one's slope and growth after the first minute, and where every scan went.
// Prints figures only.
//
// Usage: bench_soak <quillet.exe> [minutes, default 2]; run through
// tests/support/wine-run with eight pairs (bench/soak/run.sh). Replaces
// skeneri.ini in the prefix's roaming AppData and removes it at the end.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_layout.h"
#include "bench/bench_support.h"
#include "bench/quillet_config.h"
#include "bench/relay_counts.h"
#include "bench/wine_bench.h"
#include "tests/support/wine_path.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace qb = quillet::bench;

namespace {

constexpr int kPorts = 8;
constexpr double kInterval = 0.2;       // between two scans of a port
constexpr double kScanSeconds = 0.021;  // 21 bytes at a byte a millisecond
constexpr double kUnplugFirst = 15, kUnplugEvery = 60, kUnplugFor = 5;
constexpr double kLoadFirst = 45, kLoadEvery = 300;
constexpr double kSampleEvery = 10;
constexpr double kSettle = 60;    // samples before this are start-up
constexpr double kMargin = 0.25;  // around a window in which a port is closed

// What was typed, checked line by line as it comes (on the window's thread).
struct Tally {
  std::mutex lock;
  std::string line;
  // By scan number: 1 typed whole on a line of its own, 2 only after a piece
  // of another scan on the same line.
  std::vector<std::vector<unsigned char>> seen{kPorts};
  long whole[kPorts] = {};
  long duplicates[kPorts] = {};
  long outOfOrder[kPorts] = {};
  long maxSeen[kPorts];
  long garbled = 0;
  // Garbled lines by kind: a piece joined to another scan (Quillet's fault),
  // the rest of a scan alone (its start went with a close or an unplug: the
  // line's loss), the start of a scan alone (a cut piece typed), other.
  enum Kind { kJoined, kTail, kPiece, kOther, kKinds };
  long kinds[kKinds] = {};
  std::vector<std::string> examples[kKinds];
  long long chars = 0;
  double lastChar = 0;
  Tally() { std::fill(std::begin(maxSeen), std::end(maxSeen), -1L); }

  // Whether `text` could stand at `at` of a code the relay writes.
  static bool Fits(const std::string& text, std::size_t at) {
    static const std::string letters = "ABCDEFGHIJ";
    for (std::size_t i = 0; i < text.size(); ++i) {
      const std::size_t k = at + i;
      const char c = text[i];
      const bool ok = k == 0   ? c == 'P'
                      : k == 1 ? c >= '1' && c < '1' + kPorts
                      : k == 2 ? c == '-'
                      : k < 9  ? c >= '0' && c <= '9'
                      : k == 9 ? c == '-'
                      : k < 20 ? c == letters[k - 10]
                               : false;
      if (!ok) return false;
    }
    return true;
  }
  // "P<port>-<6 digits>-ABCDEFGHIJ", as the relay's scanner writes it.
  static bool Shaped(const std::string& text) { return text.size() == 20 && Fits(text, 0); }
  void Garbled(const std::string& text, bool joined) {
    ++garbled;
    const Kind kind = joined                                             ? kJoined
                      : text.size() < 20 && Fits(text, 20 - text.size()) ? kTail
                      : text.size() < 20 && Fits(text, 0)                ? kPiece
                                                                         : kOther;
    ++kinds[kind];
    if (examples[kind].size() < 6) examples[kind].push_back(text);
  }
  // A garbled line is no scan typed; when a whole code ends it (a piece of
  // another scan typed in front), that code is noted apart.
  void Line(const std::string& text) {
    const bool shaped = Shaped(text);
    const std::string tail = text.size() > 20 ? text.substr(text.size() - 20) : std::string();
    if (!shaped) {
      Garbled(text, Shaped(tail));
      if (!Shaped(tail)) return;
    }
    const std::string& code = shaped ? text : tail;
    const int port = code[1] - '1';
    const long n = std::atol(code.substr(3, 6).c_str());
    auto& s = seen[port];
    if (s.size() <= static_cast<std::size_t>(n)) s.resize(n + 1024);
    if (!shaped) {
      if (!s[n]) s[n] = 2;
      return;
    }
    if (s[n] == 1) {
      ++duplicates[port];
      return;
    }
    s[n] = 1;
    ++whole[port];
    if (n < maxSeen[port]) ++outOfOrder[port];
    maxSeen[port] = std::max(maxSeen[port], n);
  }
  void Char(wchar_t c) {
    std::lock_guard<std::mutex> hold(lock);
    ++chars;
    lastChar = qb::Now();
    if (c == L'\r') {
      Line(line);
      line.clear();
    } else if (c != L'\n') {
      line.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
  }
  long Whole() {
    std::lock_guard<std::mutex> hold(lock);
    long sum = 0;
    for (const long n : whole) sum += n;
    return sum;
  }
};

Tally g_tally;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_CHAR:
      g_tally.Char(static_cast<wchar_t>(wp));
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wp, lp);
  }
}

HWND CreateReceiver() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ReceiverProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuilletSoakReceiver";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"Quillet soak receiver", WS_OVERLAPPEDWINDOW, 0,
                           GetSystemMetrics(SM_CYSCREEN) - 200, 400, 150, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ShowWindow(w, SW_SHOW);
  return w;
}

struct Sample {
  double t = 0;
  double values[5] = {};  // see kFigures
  bool ok = false;
};
constexpr const char* kFigures[5] = {"working set KB", "private KB", "handles", "USER objects",
                                     "GDI objects"};

// Wine 8 fills in only the working set of another process and answers
// GetProcessHandleCount and GetGuiResources with 0 for it, so where a
// figure reads 0 it is taken another way, and the sample says so:
//   private  resident private memory from Linux (smaps_rollup)
//   handles  the process's entries in the system handle list
//   USER     the process's windows, top-level and child (Wine keeps its
//            other USER objects in the wineserver, out of reach)
//   GDI      live entries in the process's own GDI handle table, which Wine
//            keeps in the process as Windows once did (PEB field)
struct SystemHandle {
  ULONG ProcessId;
  UCHAR ObjectTypeNumber;
  UCHAR Flags;
  USHORT Handle;
  PVOID Object;
  ACCESS_MASK GrantedAccess;
};
struct SystemHandles {
  ULONG Count;
  SystemHandle Handles[1];
};
struct GdiEntry {
  UINT64 object;
  ULONG owner;
  USHORT unique;
  UCHAR type;
  UCHAR flags;
  UINT64 user;
};
static_assert(sizeof(GdiEntry) == 24);
constexpr std::size_t kGdiEntries = 0x10000;
constexpr std::size_t kPebGdiTable = 0xF8;  // GdiSharedHandleTable in the 64-bit PEB

using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

double HandlesOf(DWORD pid) {
  static const auto query = reinterpret_cast<QuerySystem>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  std::vector<char> buffer(1 << 20);
  for (int i = 0; i < 6; ++i) {
    ULONG needed = 0;
    const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) {
      const auto* list = reinterpret_cast<const SystemHandles*>(buffer.data());
      long n = 0;
      for (ULONG h = 0; h < list->Count; ++h)
        if (list->Handles[h].ProcessId == pid) ++n;
      return n;
    }
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
  }
  return -1;
}

double WindowsOf(DWORD pid) {
  struct Count {
    DWORD pid;
    long n;
  } count{pid, 0};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Count*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != c->pid) return TRUE;
        ++c->n;
        EnumChildWindows(
            w,
            [](HWND, LPARAM p) -> BOOL {
              ++reinterpret_cast<Count*>(p)->n;
              return TRUE;
            },
            lp);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.n;
}

double GdiObjectsOf(HANDLE process) {
  static const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  if (query == nullptr) return -1;
  struct {
    LONG exitStatus;
    PVOID peb;
    ULONG_PTR affinity;
    LONG priority;
    ULONG_PTR pid, parent;
  } basic{};
  if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, nullptr) != 0 ||
      basic.peb == nullptr)
    return -1;
  UINT64 table = 0;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + kPebGdiTable, &table,
                         sizeof table, &got) ||
      table == 0)
    return -1;
  static std::vector<GdiEntry> entries(kGdiEntries);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(),
                         entries.size() * sizeof(GdiEntry), &got))
    return -1;
  long n = 0;
  for (std::size_t i = 0; i < got / sizeof(GdiEntry); ++i)
    if (entries[i].type != 0) ++n;
  return n;
}

// Resident private memory of a Linux process, in KB.
double LinuxPrivateKb(int pid) {
  std::istringstream in(qb::ReadAll(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\smaps_rollup"));
  double kb = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Private_", 0) != 0) continue;
    kb += std::atof(line.c_str() + line.find(':') + 1);
  }
  return kb;
}

std::string g_sources;  // which figures were taken another way

Sample Take(HANDLE process, DWORD pid, int unixPid, double t) {
  Sample s;
  s.t = t;
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  DWORD handles = 0;
  s.ok = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                              sizeof pmc) != FALSE;
  GetProcessHandleCount(process, &handles);
  s.values[0] = static_cast<double>(pmc.WorkingSetSize) / 1024;
  s.values[1] = static_cast<double>(pmc.PrivateUsage) / 1024;
  s.values[2] = handles;
  s.values[3] = GetGuiResources(process, GR_USEROBJECTS);
  s.values[4] = GetGuiResources(process, GR_GDIOBJECTS);
  std::string sources;
  if (s.values[1] == 0 && unixPid > 0) {
    s.values[1] = LinuxPrivateKb(unixPid);
    sources += " private: resident private from Linux;";
  }
  if (s.values[2] == 0) {
    s.values[2] = HandlesOf(pid);
    sources += " handles: system handle list;";
  }
  if (s.values[3] == 0) {
    s.values[3] = WindowsOf(pid);
    sources += " USER: windows only;";
  }
  if (s.values[4] == 0) {
    s.values[4] = GdiObjectsOf(process);
    sources += " GDI: the process's GDI handle table;";
  }
  for (const double v : s.values) s.ok = s.ok && v >= 0;
  if (!sources.empty() && g_sources.empty()) g_sources = sources;
  return s;
}

// Least-squares slope of value against time, per hour.
double SlopePerHour(const std::vector<Sample>& samples, int figure) {
  double n = 0, st = 0, sv = 0, stt = 0, stv = 0;
  for (const Sample& s : samples) {
    ++n;
    st += s.t;
    sv += s.values[figure];
    stt += s.t * s.t;
    stv += s.t * s.values[figure];
  }
  const double d = n * stt - st * st;
  return n < 2 || d == 0 ? 0 : 3600 * (n * stv - st * sv) / d;
}

struct Window {
  double from, to;
};

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_soak <quillet.exe> [minutes]\n");
    return 2;
  }
  const std::wstring exe = quillet::testsupport::WindowsPath(argv[1]);
  const double minutes = argc > 2 ? std::atof(argv[2]) : 2;
  if (!(minutes > 0)) {
    std::fprintf(stderr, "bench_soak: the duration is minutes, above 0: %s\n", argv[2]);
    return 2;
  }
  const int seconds = static_cast<int>(std::lround(minutes * 60));
  const std::vector<qb::Pair> pairs = qb::PairsFromEnvironment();
  if (pairs.size() < kPorts) {
    std::printf("bench_soak: needs eight pairs in QUILLET_COM_PAIR\n");
    return 2;
  }
  std::vector<int> ports;
  for (int p = 0; p < kPorts; ++p) ports.push_back(pairs[p].receiver);
  qb::RemoveIni();
  if (!qb::WriteIni(ports)) {
    std::printf("bench_soak: cannot write the configuration\n");
    return 2;
  }

  HWND receiver = CreateReceiver();
  int result = 0;
  std::thread driver([&] {
    result = [&]() -> int {
      {
        // The GDI count read from a handle table, tried on this process first.
        const double before = GdiObjectsOf(GetCurrentProcess());
        std::vector<HBRUSH> brushes;
        for (int i = 0; i < 50; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        const double made = GdiObjectsOf(GetCurrentProcess());
        for (HBRUSH b : brushes) DeleteObject(b);
        std::printf(
            "GDI count check: 50 brushes made in this process read as %+.0f, deleted %+.0f\n",
            made - before, GdiObjectsOf(GetCurrentProcess()) - made);
      }
      const double start = qb::Now();
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION info{};
      std::wstring command = L"\"" + exe + L"\"";
      if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        std::printf("bench_soak: quillet.exe does not start (%lu)\n", GetLastError());
        return 1;
      }
      const HWND top =
          ud::WaitWindow(quillet::app::kMainWindowCaption, quillet::app::kMainWindowClass, 30000);
      HWND labels[kPorts] = {};
      for (int p = 0; top != nullptr && p < kPorts; ++p)
        labels[p] = ud::FindControl(top, L"lbstatus" + std::to_wstring(p + 1));
      const auto opened = [&](int p) { return ud::Text(labels[p]) == L"Port status: Opened"; };
      const auto waiting = [&] { return ud::StatusBarText(top) == L"Waiting for devices..."; };
      const bool up = top != nullptr && qb::WaitUntil(
                                            [&] {
                                              if (!waiting()) return false;
                                              for (int p = 0; p < kPorts; ++p)
                                                if (!opened(p)) return false;
                                              return true;
                                            },
                                            60000);
      const auto finish = [&] {
        if (top != nullptr) {
          ud::Close(top);
          const auto box = ud::WaitMessageBox(info.dwProcessId, 10000);
          if (box) ud::AnswerMessageBox(*box, IDYES);
        }
        if (WaitForSingleObject(info.hProcess, 20000) != WAIT_OBJECT_0) {
          std::printf("quillet.exe did not close within 20 s; ended\n");
          TerminateProcess(info.hProcess, 1);
          WaitForSingleObject(info.hProcess, 10000);
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
      };
      if (!up) {
        std::printf("bench_soak: quillet.exe did not come up with eight rows opened\n");
        for (int p = 0; top != nullptr && p < kPorts; ++p)
          std::printf("  row %d: %ls\n", p + 1, ud::Text(labels[p]).c_str());
        finish();
        return 1;
      }
      std::printf("quillet.exe up with eight rows opened after %.1f s (load %s)\n",
                  qb::Now() - start, qb::Loadavg().c_str());
      HANDLE process =
          OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, info.dwProcessId);
      const int unixPid = qb::UnixPid(exe);

      long focusTaken = 0;
      const auto focus = [&] {
        if (GetForegroundWindow() == receiver) return;
        ++focusTaken;
        for (int i = 0; i < 40 && GetForegroundWindow() != receiver; ++i) {
          SetForegroundWindow(receiver);
          Sleep(50);
        }
      };
      focus();
      focusTaken = 0;

      const std::vector<qb::RelayCounts> before = qb::AllCounts(kPorts);
      double t0[kPorts];
      for (int p = 0; p < kPorts; ++p) {
        t0[p] = qb::Now();
        if (!qb::Command(
                p, "scan " + std::to_string(p + 1) + " " + std::to_string(seconds) + " 200\n"))
          std::printf("bench_soak: the relay of port %d takes no command\n", p + 1);
      }
      const double begin = t0[0];
      std::printf(
          "soak: %d s, eight ports scanning every 200 ms; a port unplugged for %.0f s every "
          "%.0f s (first at %.0f s), Settings > Load every %.0f s (first at %.0f s)\n",
          seconds, kUnplugFor, kUnplugEvery, kUnplugFirst, kLoadEvery, kLoadFirst);
      std::printf("samples (t from the first scan; CPU of the last 10 s from Linux):\n");

      std::vector<Window> unplugged[kPorts];  // a port unplugged until reopened
      std::vector<Window> loadWindows;        // Load had every port closed
      std::vector<Sample> samples;
      std::vector<double> reconnects, loads;
      double nextUnplug = begin + kUnplugFirst, nextLoad = begin + kLoadFirst;
      int unplugs = 0;
      int pulled = -1;  // the port unplugged now
      double pulledAt = 0, pluggedAt = 0;
      bool plugged = false;
      double loadAt = 0;
      bool loading = false, loadSeen = false;
      const double end = begin + seconds;
      // Samples on a thread of their own: the driving below waits on
      // quillet.exe's window, which answers slowly while Load runs.
      std::atomic<bool> sampling{true};
      std::thread sampler([&] {
        double lastCpu = -1, lastCpuAt = 0;
        for (double next = begin; sampling; Sleep(20)) {
          const double now = qb::Now();
          if (now < next) continue;
          next = std::max(next + kSampleEvery, now + kSampleEvery / 2);
          Sample s = Take(process, info.dwProcessId, unixPid, now - begin);
          const double cpu = unixPid > 0 ? qb::CpuSeconds(unixPid) : -1;
          const double cpuShare =
              cpu >= 0 && lastCpu >= 0 ? 100 * (cpu - lastCpu) / (now - lastCpuAt) : -1;
          lastCpu = cpu;
          lastCpuAt = now;
          std::printf(
              "  t=%5.0f s  working set %7.0f KB  private %7.0f KB  handles %5.0f  USER %4.0f  GDI "
              "%4.0f  CPU %5.1f %%  scans typed %7ld of %7ld due  (load %s)%s\n",
              s.t, s.values[0], s.values[1], s.values[2], s.values[3], s.values[4], cpuShare,
              g_tally.Whole(), static_cast<long>(kPorts * (std::floor(s.t / kInterval) + 1)),
              qb::Loadavg().c_str(), s.ok ? "" : "  SAMPLE FAILED");
          if (s.ok) samples.push_back(s);
          if (samples.size() == 1 && !g_sources.empty())
            std::printf("  (Wine gives 0 for some figures of another process; taken instead:%s)\n",
                        g_sources.c_str());
        }
      });
      bool ended = false;
      for (;;) {
        const double now = qb::Now();
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
          DWORD code = 0;
          GetExitCodeProcess(info.hProcess, &code);
          std::printf("  t=%5.0f s  QUILLET.EXE ENDED (exit code %lu)\n", now - begin, code);
          ended = true;
          break;
        }
        if (now >= end && pulled < 0 && !loading) break;
        if (pulled < 0 && !loading && now >= nextUnplug && now < end) {
          pulled = unplugs++ % kPorts;
          pulledAt = now;
          plugged = false;
          qb::Command(pulled, "unplug 1\n");
          nextUnplug += kUnplugEvery;
        } else if (pulled >= 0 && !plugged && now >= pulledAt + kUnplugFor) {
          qb::Command(pulled, "plug 1\n");
          pluggedAt = now;
          plugged = true;
        } else if (pulled >= 0 && plugged && opened(pulled)) {
          unplugged[pulled].push_back({pulledAt, now});
          reconnects.push_back(now - pluggedAt);
          std::printf(
              "  t=%5.0f s  port %d unplugged for %.1f s, reopened %.2f s after it came back\n",
              pulledAt - begin, pulled + 1, pluggedAt - pulledAt, now - pluggedAt);
          pulled = -1;
        } else if (pulled >= 0 && plugged && now - pluggedAt > 30) {
          unplugged[pulled].push_back({pulledAt, now});
          std::printf("  t=%5.0f s  port %d NOT REOPENED 30 s after it came back: %ls\n",
                      pulledAt - begin, pulled + 1, ud::Text(labels[pulled]).c_str());
          pulled = -1;
        }
        if (pulled < 0 && !loading && now >= nextLoad && now < end) {
          loadAt = now;
          loading = true;
          loadSeen = false;
          PostMessageW(top, WM_COMMAND, MAKEWPARAM(quillet::app::kMenuUbaci1, 0), 0);
          nextLoad += kLoadEvery;
        } else if (loading) {
          // The status bar goes through these while Load runs, then tells
          // of devices again.
          const std::wstring status = ud::StatusBarText(top);
          const bool busy = status == L"Closing ports and read configuration..." ||
                            status == L"Loading..." || status == L"Opening ports...";
          if (busy) loadSeen = true;
          bool all = loadSeen && !busy;
          for (int p = 0; all && p < kPorts; ++p) all = opened(p);
          if (all || now - loadAt > 60) {
            loadWindows.push_back({loadAt, now});
            loads.push_back(now - loadAt);
            std::printf("  t=%5.0f s  Settings > Load: %s after %.2f s\n", loadAt - begin,
                        all ? "every row open again" : "NOT ALL ROWS OPEN", now - loadAt);
            loading = false;
          }
        }
        focus();
        Sleep(50);
      }

      sampling = false;
      sampler.join();
      if (ended && pulled >= 0 && !plugged) qb::Command(pulled, "plug 1\n");
      // The scanners end on their own; then what is on its way is typed,
      // however far behind the typing is.
      qb::WaitUntil(
          [&] {
            for (int p = 0; p < kPorts; ++p) {
              const qb::RelayCounts c = qb::Counts(p);
              if (c.ok && c.scanning) return false;
            }
            return true;
          },
          20000);
      // Typing that cannot keep up leaves a queue; it is waited for (with
      // its progress every minute) up to the run's length or 30 minutes.
      const double drainLimit = std::max(1800.0, static_cast<double>(seconds));
      const double drainFrom = qb::Now();
      double nextNote = drainFrom + 60;
      bool drained = false;
      while (!drained && qb::Now() - drainFrom < drainLimit &&
             WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        {
          std::lock_guard<std::mutex> hold(g_tally.lock);
          drained = qb::Now() - g_tally.lastChar > 3;
        }
        if (qb::Now() >= nextNote) {
          std::printf("  still typing %.0f s after the scanners stopped: %ld scans typed\n",
                      qb::Now() - end, g_tally.Whole());
          nextNote += 60;
        }
        Sleep(100);
      }
      if (!drained)
        std::printf(
            "TYPING HAD NOT CAUGHT UP after %.0f s; the scans after each port's last "
            "typed one count as still queued\n",
            qb::Now() - drainFrom);
      const std::vector<qb::RelayCounts> after = qb::AllCounts(kPorts);
      const double ran = qb::Now() - begin;
      // Whether what grew came back once the queue was typed.
      const Sample last = Take(process, info.dwProcessId, unixPid, ran);
      std::printf(
          "after the typing: t=%.0f s  working set %.0f KB  private %.0f KB  handles %.0f  USER "
          "%.0f  GDI %.0f%s\n",
          last.t, last.values[0], last.values[1], last.values[2], last.values[3], last.values[4],
          last.ok ? "" : "  SAMPLE FAILED");
      {
        std::lock_guard<std::mutex> hold(g_tally.lock);
        std::printf("the last character was typed %.1f s after the scanners stopped\n",
                    g_tally.lastChar - (begin + seconds));
      }
      CloseHandle(process);
      finish();

      std::lock_guard<std::mutex> hold(g_tally.lock);
      std::printf("scans by port (every scan written by the device is typed whole, or counted):\n");
      long long all[11] = {};
      bool countsOk = true;
      for (int p = 0; p < kPorts; ++p) {
        const bool ok = before[p].ok && after[p].ok;
        countsOk = countsOk && ok;
        const long sent = after[p].scans - before[p].scans;
        const long missed = after[p].missed - before[p].missed;
        const long cut = after[p].cut - before[p].cut;
        const long slots = sent + missed + cut;
        long inUnplug = 0, inLoad = 0, elsewhere = 0, glued = 0, queued = 0;
        std::vector<long> lostNumbers;
        const auto& seen = g_tally.seen[p];
        for (long n = 0; n < slots; ++n) {
          const unsigned char mark = static_cast<std::size_t>(n) < seen.size() ? seen[n] : 0;
          if (mark == 1) continue;
          if (mark == 2) {
            ++glued;
            continue;
          }
          const double t = t0[p] + n * kInterval;
          const auto in = [&](const Window& w) {
            return t + kScanSeconds >= w.from - kMargin && t <= w.to + kMargin;
          };
          const bool unplugWindow = std::any_of(unplugged[p].begin(), unplugged[p].end(), in);
          const bool loadWindow = std::any_of(loadWindows.begin(), loadWindows.end(), in);
          if (unplugWindow)
            ++inUnplug;
          else if (loadWindow)
            ++inLoad;
          else if (!drained && n > g_tally.maxSeen[p])
            ++queued;
          else {
            ++elsewhere;
            lostNumbers.push_back(n);
          }
        }
        // Not-typed numbers in an unplug window include the scans never sent.
        const long sentWhileClosed = inUnplug - missed - cut;
        const long typed = g_tally.whole[p];
        std::printf(
            "  port %d: %ld scans due; device wrote %ld whole, %ld not sent (port unplugged), %ld "
            "cut by the unplug; typed whole %ld (duplicates %ld, out of order %ld); written whole "
            "but not typed whole %ld: around an unplug (before reopening) %ld, while Load had the "
            "ports closed %ld, typed after a piece of another scan on its line %ld, still queued "
            "%ld, LOST BY QUILLET %ld%s\n",
            p + 1, slots, sent, missed, cut, typed, g_tally.duplicates[p], g_tally.outOfOrder[p],
            sent - typed, sentWhileClosed, inLoad, glued, queued, elsewhere,
            ok ? "" : " (no relay counts)");
        if (!lostNumbers.empty()) {
          std::printf("    lost:");
          for (std::size_t i = 0; i < lostNumbers.size() && i < 12; ++i)
            std::printf(" #%ld (t=%.1f s)", lostNumbers[i],
                        t0[p] + lostNumbers[i] * kInterval - begin);
          std::printf("%s\n", lostNumbers.size() > 12 ? " ..." : "");
        }
        all[0] += slots;
        all[1] += sent;
        all[2] += missed;
        all[3] += cut;
        all[4] += typed;
        all[5] += g_tally.duplicates[p];
        all[6] += sentWhileClosed;
        all[7] += inLoad;
        all[8] += elsewhere;
        all[9] += glued;
        all[10] += queued;
      }
      std::printf(
          "  all: %lld due, %lld written whole, %lld not sent, %lld cut; typed whole %lld, "
          "duplicates %lld, garbled lines %ld; not typed whole: %lld around unplugs, %lld during "
          "Load, %lld after a piece of another scan, %lld still queued, %lld LOST BY QUILLET; %s\n",
          all[0], all[1], all[2], all[3], all[4], all[5], g_tally.garbled, all[6], all[7], all[9],
          all[10], all[8],
          countsOk &&
                  all[0] == all[4] + all[2] + all[3] + all[6] + all[7] + all[8] + all[9] + all[10]
              ? "every scan accounted for"
              : "SOME SCANS NOT ACCOUNTED FOR");
      static const char* const kKindNames[Tally::kKinds] = {"a piece joined to a whole scan",
                                                            "the rest of a scan alone",
                                                            "the start of a scan alone", "other"};
      std::printf(
          "  garbled lines: %ld joined to another scan, %ld the rest of a scan alone (its start "
          "went with a close or an unplug), %ld the start of a scan alone, %ld other; pieces "
          "Quillet keeps from typing when a close cuts a scan are not typed, so they are not "
          "here but among the scans not typed whole (its Monitor marks them)\n",
          g_tally.kinds[Tally::kJoined], g_tally.kinds[Tally::kTail], g_tally.kinds[Tally::kPiece],
          g_tally.kinds[Tally::kOther]);
      for (int k = 0; k < Tally::kKinds; ++k)
        for (const std::string& g : g_tally.examples[k])
          std::printf("    %s: \"%s\"\n", kKindNames[k], g.c_str());
      if (!g_tally.line.empty())
        std::printf("    left unfinished at the end: \"%s\"\n", g_tally.line.c_str());
      std::printf("  %lld characters typed; the receiver lost the foreground %ld times\n",
                  g_tally.chars, focusTaken);
      if (!reconnects.empty())
        std::printf("reconnects: %zu, median %.2f s, longest %.2f s after the port came back\n",
                    reconnects.size(), qb::Median(reconnects),
                    *std::max_element(reconnects.begin(), reconnects.end()));
      if (!loads.empty())
        std::printf("Settings > Load: %zu, median %.2f s until every row was open again\n",
                    loads.size(), qb::Median(loads));

      std::vector<Sample> settled;
      for (const Sample& s : samples)
        if (s.t >= kSettle) settled.push_back(s);
      std::printf("quillet.exe over %.0f s, %zu samples after the first minute:\n", ran,
                  settled.size());
      for (int f = 0; f < 5; ++f) {
        if (settled.size() < 2) break;
        std::printf("  %-17s first %9.0f  last %9.0f  growth %+9.0f  slope %+10.1f an hour\n",
                    kFigures[f], settled.front().values[f], settled.back().values[f],
                    settled.back().values[f] - settled.front().values[f], SlopePerHour(settled, f));
      }
      if (settled.size() < 2) std::printf("  too few samples after the first minute for a slope\n");
      std::printf("load average at the end: %s\n", qb::Loadavg().c_str());
      return 0;
    }();
    PostMessageW(receiver, WM_CLOSE, 0, 0);
  });
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  driver.join();
  qb::RemoveIni();
  return result;
}
