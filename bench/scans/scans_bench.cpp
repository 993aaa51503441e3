// What framing scans costs, under Wine: the real main window in this process
// with its rows on the receiving ends of null-modem pairs, scanners writing
// on the far ends a byte a millisecond, as a scanner at 9600 bit/s does. The
// keyboard is the os/sim recorder, so the figures end at the handler's typing
// call and the typed text can be checked scan by scan. Prints figures only.
//
// 1. Terminator byte written -> typing call: one port with default settings
//    (typed as read, today's road) beside two ports open (scans framed);
//    then a scan without terminator, framed, which waits for the gap.
// 2. Two and eight ports, each sending a 20-character scan every 200 ms for
//    the given seconds, all at once: every scan typed whole; the process's
//    CPU beside a bare program reading the same ports (WaitCommEvent +
//    ReadFile on a thread a port, framing at CR), in turns.
//
// Usage: bench_scans <seconds> [rounds]; run through tests/support/wine-run
// with QUILLET_COM_PAIR=7:8,11:21,12:22,13:23,14:24,15:25,16:26,17:27
// (bench/scans/run.sh).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/main_window.h"
#include "app/win32/win32_services.h"
#include "bench/bench_support.h"
#include "bench/forwarding_keyboard.h"
#include "bench/wine_bench.h"
#include "os/sim/keyboard_sim.h"
#include "tests/support/message_pump.h"
#include "tests/support/raw_com_port.h"

namespace {

using quillet::bench::ComName;
using quillet::bench::Loadavg;
using quillet::bench::Median;
using quillet::bench::Now;
using quillet::bench::Pair;
using quillet::bench::PairsFromEnvironment;
using quillet::bench::ProcessCpuSeconds;

// The os/sim recorder behind the seam, noting when each typing call came.
class TimedKeyboard final : public quillet::bench::ForwardingKeyboard {
 public:
  // The recorder is a member, built after the base: the base only keeps the
  // reference until the first call.
  TimedKeyboard() : ForwardingKeyboard(sim_) {}
  void SendKeys(std::span<const quillet::os::KeyInput> inputs) override {
    last_call = Now();
    ++calls;
    for (const auto& input : inputs)
      if (!input.unicode && input.code == quillet::os::kVkReturn && !input.keyUp) ++enters;
    sim_.SendKeys(inputs);
  }
  std::wstring Typed() const { return sim_.TypedText(); }
  void Clear() { sim_.ClearEvents(); }

  double last_call = 0;
  long calls = 0;
  long enters = 0;  // Enter presses: one a scan in the second part

 private:
  quillet::os::sim::SimKeyboard sim_;
};

bool PumpUntil(const std::function<bool()>& done, DWORD ms = 20000) {
  return quillet::testsupport::PumpUntil(done, ms, 1);
}

HANDLE OpenPeer(int n) {
  return quillet::testsupport::OpenRawComPort(ComName(n), COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0});
}

// Scans whose writer was held up for a whole gap between two bytes: on a
// loaded machine a writer thread can be, and the scan then ends early as it
// would with a scanner that stalled.
std::atomic<long> g_stalled{0};
std::atomic<long> g_rewrites{0};

// Writes byte by byte, about a millisecond apart; returns when the last byte went.
double WriteAtLineSpeed(HANDLE peer, const std::string& code) {
  double last = 0;
  bool stalled = false;
  for (const char byte : code) {
    const double now = Now();
    if (last != 0 && now - last >= 0.050) stalled = true;
    last = now;
    // A byte the driver did not take is written again, and counted: the
    // figures hold only for scans that really left the scanner whole.
    for (int attempt = 0; attempt < 100; ++attempt) {
      OVERLAPPED ov{};
      ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      DWORD done = 0;
      BOOL ok = WriteFile(peer, &byte, 1, &done, &ov);
      if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(peer, &ov, &done, TRUE);
      CloseHandle(ov.hEvent);
      if (ok && done == 1) break;
      ++g_rewrites;
      Sleep(1);
    }
    Sleep(1);
  }
  if (stalled) ++g_stalled;
  return last;
}

std::string Code(int port, int n) {
  char text[32];
  std::snprintf(text, sizeof text, "P%d-%06d-ABCDEFGHIJ", port, n % 1000000);
  return std::string(text).substr(0, 20);
}

struct Road {
  std::vector<double> ms;
};

// Rounds of one code written on the first peer; the time from its last byte
// to the last typing call of the round.
Road Latency(quillet::app::MainForm& logic, TimedKeyboard& keyboard, HANDLE peer, int rounds,
             const char* terminator) {
  Road road;
  for (int i = 0; i < rounds; ++i) {
    const std::string code = Code(1, i) + terminator;
    keyboard.Clear();
    double written = 0;
    std::thread writer([&] { written = WriteAtLineSpeed(peer, code); });
    const std::wstring want(code.begin(), code.end());
    const bool ok = PumpUntil([&] { return keyboard.Typed() == want; }, 5000);
    writer.join();
    if (!ok) {
      std::printf(
          "  round %d: typed \"%ls\" instead of the code (pending %d, waiting in the driver %d)\n",
          i, keyboard.Typed().c_str(), logic.Scans().Pending(1) ? 1 : 0,
          logic.Skener(1)->Connected() ? logic.Skener(1)->InputCount() : -1);
      continue;
    }
    road.ms.push_back(1000.0 * (keyboard.last_call - written));
    PumpUntil([] { return false; }, 30);  // a pause between scans
  }
  return road;
}

void PrintRoad(const char* what, const Road& road) {
  std::vector<double> v = road.ms;
  std::sort(v.begin(), v.end());
  if (v.empty()) {
    std::printf("  %-44s no round completed\n", what);
    return;
  }
  std::printf("  %-44s median %7.3f ms  p90 %7.3f  min %7.3f  max %7.3f  (%zu rounds)\n", what,
              Median(v), v[v.size() * 9 / 10], v.front(), v.back(), v.size());
}

// One scanner a port: a 20-character scan plus CR every 200 ms for `seconds`.
class Scanners {
 public:
  Scanners(const std::vector<HANDLE>& peers, int seconds) {
    for (std::size_t p = 0; p < peers.size(); ++p) {
      threads_.emplace_back([this, peer = peers[p], p, seconds] {
        const double end = Now() + seconds;
        Sleep(static_cast<DWORD>(p * 7 % 20));  // scanners are not in step
        for (int n = 0; Now() < end; ++n) {
          const double start = Now();
          WriteAtLineSpeed(peer, Code(static_cast<int>(p + 1), n) + "\r");
          sent_ += 1;
          const double rest = 0.2 - (Now() - start);
          if (rest > 0) Sleep(static_cast<DWORD>(rest * 1000));
        }
      });
    }
  }
  ~Scanners() { Join(); }
  void Join() {
    for (auto& t : threads_)
      if (t.joinable()) t.join();
  }
  long Sent() const { return sent_; }

 private:
  std::vector<std::thread> threads_;
  std::atomic<long> sent_{0};
};

// The bare baseline: a WaitCommEvent + ReadFile loop on a thread a port,
// counting the scans it sees end at CR.
class BareReader {
 public:
  explicit BareReader(int com)
      : port_(quillet::testsupport::OpenRawComPort(ComName(com),
                                                   COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0})) {
    if (port_ == INVALID_HANDLE_VALUE) return;
    SetCommMask(port_, 0x05FF);
    thread_ = std::thread([this] { Loop(); });
  }
  ~BareReader() {
    if (port_ == INVALID_HANDLE_VALUE) return;
    stop_ = true;
    while (!ended_) {
      SetCommMask(port_, 0);
      CancelIoEx(port_, nullptr);
      Sleep(1);
    }
    thread_.join();
    CloseHandle(port_);
  }
  long Scans() const { return scans_; }

 private:
  void Loop() {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    char buffer[4096];
    while (!stop_) {
      DWORD mask = 0, n = 0;
      if (!WaitCommEvent(port_, &mask, &ov) && GetLastError() == ERROR_IO_PENDING &&
          !GetOverlappedResult(port_, &ov, &n, TRUE))
        break;
      for (;;) {
        DWORD got = 0;
        OVERLAPPED rov{};
        rov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ReadFile(port_, buffer, sizeof buffer, &got, &rov) &&
            GetLastError() == ERROR_IO_PENDING)
          GetOverlappedResult(port_, &rov, &got, TRUE);
        CloseHandle(rov.hEvent);
        if (got == 0) break;
        scans_ += static_cast<long>(std::count(buffer, buffer + got, '\r'));
      }
    }
    CloseHandle(ov.hEvent);
    ended_ = true;
  }
  HANDLE port_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<long> scans_{0};
  std::thread thread_;
};

// Every typed line must be one whole scan of one port, in that port's order.
bool AllWhole(const std::wstring& typed, std::size_t ports, long sent, long* lines_out) {
  std::vector<int> next(ports + 1, 0);
  long lines = 0;
  bool ok = true;
  for (std::size_t at = 0; at < typed.size();) {
    const std::size_t cr = typed.find(L'\r', at);
    if (cr == std::wstring::npos) {
      ok = false;
      break;
    }
    const std::wstring line = typed.substr(at, cr - at);
    at = cr + 1;
    ++lines;
    const int port = line.size() > 1 ? line[1] - L'0' : 0;
    if (port < 1 || port > static_cast<int>(ports)) {
      ok = false;
      continue;
    }
    const std::string want = Code(port, next[port]++);
    if (line != std::wstring(want.begin(), want.end())) {
      if (ok)
        std::printf("  first line not whole: \"%ls\", expected \"%s\"\n", line.c_str(),
                    want.c_str());
      ok = false;
    }
  }
  *lines_out = lines;
  return ok && lines == sent;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 60;
  const std::vector<Pair> pairs = PairsFromEnvironment();
  if (pairs.size() < 8) {
    std::printf("bench_scans: needs eight pairs in QUILLET_COM_PAIR\n");
    return 2;
  }
  std::vector<HANDLE> peers;
  for (const Pair& p : pairs) peers.push_back(OpenPeer(p.peer));
  if (std::any_of(peers.begin(), peers.end(), [](HANDLE h) { return h == INVALID_HANDLE_VALUE; })) {
    std::printf("bench_scans: a peer port cannot be opened\n");
    return 2;
  }

  quillet::app::win32::Win32Services platform;
  TimedKeyboard keyboard;
  quillet::app::Services services = platform.Get();
  quillet::app::Services timed{services.serial, services.profile, services.shell, keyboard,
                               services.registry};
  auto form = std::make_unique<quillet::app::win32::TForm1>(GetModuleHandleW(nullptr), timed);
  if (!form->Create()) return 2;
  form->Show(SW_SHOWNOACTIVATE);
  auto& logic = form->Logic();
  for (int row = 1; row <= 8; ++row) logic.Skener(row)->SetPort(ComName(pairs[row - 1].receiver));
  const auto tick = [&](int row, bool on) {
    if (logic.Skener(row)->Connected() != on) logic.RunHandler([&] { logic.SetOpenTick(row, on); });
  };

  std::printf("Scans under Wine (load %s)\n", Loadavg().c_str());
  std::printf("1. last byte written -> typing call, 20-character scans at a byte a millisecond\n");
  Road immediate, framed, gap;
  for (int turn = 0; turn < 3; ++turn) {
    tick(1, true);
    tick(2, false);
    const Road a = Latency(logic, keyboard, peers[0], rounds / 3, "\r");
    immediate.ms.insert(immediate.ms.end(), a.ms.begin(), a.ms.end());
    tick(2, true);  // a second port open: every port frames
    const Road b = Latency(logic, keyboard, peers[0], rounds / 3, "\r");
    framed.ms.insert(framed.ms.end(), b.ms.begin(), b.ms.end());
    const Road c = Latency(logic, keyboard, peers[0], rounds / 3, "");
    gap.ms.insert(gap.ms.end(), c.ms.begin(), c.ms.end());
  }
  PrintRoad("one port, defaults: typed as read", immediate);
  PrintRoad("two ports open: framed, ends at CR", framed);
  PrintRoad("framed, no terminator: ends after the gap", gap);
  std::printf(
      "  framed minus typed as read (medians): %+.3f ms; no terminator minus the 50 ms gap: %+.3f "
      "ms\n",
      Median(framed.ms) - Median(immediate.ms), Median(gap.ms) - 50.0);

  std::printf("2. every port scanning at once, a scan every 200 ms for %d s\n", seconds);
  for (const std::size_t ports : {std::size_t{2}, std::size_t{8}}) {
    const std::vector<HANDLE> some(peers.begin(), peers.begin() + static_cast<long>(ports));
    // Quillet.
    for (int row = 1; row <= 8; ++row) tick(row, row <= static_cast<int>(ports));
    keyboard.Clear();
    keyboard.enters = 0;
    g_stalled = 0;
    g_rewrites = 0;
    double cpu0 = ProcessCpuSeconds(), t0 = Now();
    long sent = 0;
    {
      Scanners scanners(some, seconds);
      PumpUntil([&] { return Now() - t0 > seconds + 0.5; }, (seconds + 5) * 1000);
      scanners.Join();
      sent = scanners.Sent();
    }
    PumpUntil([&] { return keyboard.enters >= sent; }, 10000);
    const double quilletCpu = 100.0 * (ProcessCpuSeconds() - cpu0) / (Now() - t0);
    long lines = 0;
    int pending = 0, queued = 0;
    for (int row = 1; row <= 8; ++row) {
      if (logic.Scans().Pending(row)) ++pending;
      if (logic.Skener(row)->Connected()) queued += logic.Skener(row)->InputCount();
    }
    std::printf(
        "  (after the wait: %ld Enter presses, %d scans pending, %d bytes in the drivers; %ld "
        "bytes the"
        " peers' drivers refused and were written again)\n",
        keyboard.enters, pending, queued, g_rewrites.load());
    const long stalled = g_stalled;
    const bool whole = AllWhole(keyboard.Typed(), ports, sent, &lines);
    for (int row = 1; row <= 8; ++row) tick(row, false);
    // The bare program on the same ports.
    cpu0 = ProcessCpuSeconds();
    t0 = Now();
    long bareScans = 0;
    {
      std::vector<std::unique_ptr<BareReader>> readers;
      for (std::size_t p = 0; p < ports; ++p)
        readers.push_back(std::make_unique<BareReader>(pairs[p].receiver));
      Scanners scanners(some, seconds);
      scanners.Join();
      Sleep(300);
      for (const auto& r : readers) bareScans += r->Scans();
    }
    const double bareCpu = 100.0 * (ProcessCpuSeconds() - cpu0) / (Now() - t0);
    std::printf(
        "  %zu ports: %ld scans sent, %ld typed, %s (writers held up a gap long in %ld scans); CPU "
        "quillet"
        " %.1f %% beside bare %.1f %% (%ld scans read) (load %s)\n",
        ports, sent, lines, whole ? "every one whole and in its port's order" : "SOME NOT WHOLE",
        stalled, quilletCpu, bareCpu, bareScans, Loadavg().c_str());
  }
  form.reset();
  for (HANDLE h : peers) CloseHandle(h);
  return 0;
}
