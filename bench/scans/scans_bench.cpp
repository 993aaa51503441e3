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
// Each run of part 2 counts the bytes at every layer, port by port: what
// the writers were told was written, what the null-modem relay read from
// the writing side and wrote into the receiving side (what reached the
// port), and what was typed or read; so a loss below Quillet shows apart
// from Quillet's own.
//
// Usage: bench_scans <seconds> [rounds] [--outside] [--no-gather] [--receive-events]
//                    [--load-only]
//   --outside    the scanners of part 2 write from outside Wine, straight
//                into the pseudo-terminal (the relay's own scanner), as a
//                device does, instead of through Wine's serial layer
//   --no-gather  the ports' event threads hand every batch over as it
//                comes, also while scans are framed (Quillet gathers a scan
//                then, TRxGathering): the figures without gathering
//   --receive-events  while gathering, the ports ask only for received bytes
//                and line errors (Quillet's rows ask for every event): their
//                event threads then read instead of waiting for events
//   --load-only  part 2 alone
// Run through tests/support/wine-run with
// QUILLET_COM_PAIR=7:8,11:21,12:22,13:23,14:24,15:25,16:26,17:27
// (bench/scans/run.sh).
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "bench/relay_counts.h"
#include "bench/scans/counting_serial.h"
#include "bench/wine_bench.h"
#include "os/sim/keyboard_sim.h"
#include "serial/com_types.h"
#include "tests/support/message_pump.h"
#include "tests/support/raw_com_port.h"

namespace {

using quillet::bench::AllCounts;
using quillet::bench::Command;
using quillet::bench::ComName;
using quillet::bench::Counts;
using quillet::bench::Loadavg;
using quillet::bench::Median;
using quillet::bench::Now;
using quillet::bench::Pair;
using quillet::bench::PairsFromEnvironment;
using quillet::bench::ProcessCpuSeconds;
using quillet::bench::RelayCounts;

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

// Writes byte by byte, about a millisecond apart; returns when the last byte
// went. `taken` counts the bytes the driver said it took.
double WriteAtLineSpeed(HANDLE peer, const std::string& code, std::atomic<long>* taken = nullptr) {
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
      if (ok && done == 1) {
        if (taken != nullptr) ++*taken;
        break;
      }
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

// One scanner a port: a 20-character scan plus CR every 200 ms for `seconds`,
// written through Wine's serial layer on the peer ports, or (outside) by
// each pair's relay straight into the receiving pseudo-terminal.
class Scanners {
 public:
  Scanners(const std::vector<HANDLE>& peers, int seconds, bool outside)
      : outside_(outside), bytes_(peers.size()) {
    if (outside_) {
      for (std::size_t p = 0; p < peers.size(); ++p) {
        // The relay's figures run from its start: this run's are the difference.
        const RelayCounts c = Counts(p);
        startBytes_.push_back(c.scanned);
        startScans_.push_back(c.scans);
        const std::string command =
            "scan " + std::to_string(p + 1) + " " + std::to_string(seconds) + " 200\n";
        if (!Command(p, command)) std::printf("  the relay of port %zu takes no command\n", p + 1);
      }
      end_ = Now() + seconds;
      return;
    }
    for (std::size_t p = 0; p < peers.size(); ++p) {
      threads_.emplace_back([this, peer = peers[p], p, seconds] {
        const double end = Now() + seconds;
        Sleep(static_cast<DWORD>(p * 7 % 20));  // scanners are not in step
        for (int n = 0; Now() < end; ++n) {
          const double start = Now();
          WriteAtLineSpeed(peer, Code(static_cast<int>(p + 1), n) + "\r", &bytes_[p]);
          sent_ += 1;
          const double rest = 0.2 - (Now() - start);
          if (rest > 0) Sleep(static_cast<DWORD>(rest * 1000));
        }
      });
    }
  }
  ~Scanners() { Join(); }
  // Returns once every scanner has ended.
  void Join() {
    for (auto& t : threads_)
      if (t.joinable()) t.join();
    if (!outside_ || joined_) return;
    joined_ = true;
    while (Now() < end_) Sleep(20);
    for (std::size_t p = 0; p < bytes_.size(); ++p) {
      for (int i = 0; i < 100; ++i) {
        const RelayCounts c = Counts(p);
        if (!c.ok || !c.scanning) {
          sent_ += c.scans - startScans_[p];
          bytes_[p] = static_cast<long>(c.scanned - startBytes_[p]);
          break;
        }
        Sleep(20);
      }
    }
  }
  long Sent() const { return sent_; }
  // Bytes the writers were told were written (outside: the relay's scanner wrote).
  long Bytes(std::size_t port) const { return bytes_[port]; }

 private:
  bool outside_;
  bool joined_ = false;
  double end_ = 0;
  std::vector<std::thread> threads_;
  std::atomic<long> sent_{0};
  std::vector<std::atomic<long>> bytes_;
  std::vector<long long> startBytes_;
  std::vector<long> startScans_;
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
  long Bytes() const { return bytes_; }

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
        bytes_ += got;
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
  std::atomic<long> bytes_{0};
  std::thread thread_;
};

// Marks the start of a timed stretch with the Unix time, at once, so that a
// tool watching the process from outside (per-thread CPU, system calls) can
// line its figures up with the runs.
void Mark(const char* what, std::size_t ports) {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  const unsigned long long t =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  std::printf("  [%s, %zu ports, from Unix time %.3f]\n", what, ports,
              static_cast<double>(t - 116444736000000000ULL) / 1e7);
  std::fflush(stdout);
}

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

// The bytes of one run at each layer, port by port, and where they went.
void PrintLayers(const char* who, std::size_t ports, const std::vector<long>& written,
                 const std::vector<RelayCounts>& before, const std::vector<RelayCounts>& after,
                 const std::vector<long>& got, long long gotInAll, bool outside) {
  long long sumWritten = 0, sumRelayIn = 0, sumReached = 0, sumGot = 0;
  (void)sumGot;
  std::printf("  %s, bytes by layer (port: %s, relay read from the writer, reached the port, %s)\n",
              who, outside ? "relay's scanner wrote" : "writer under Wine told written",
              std::strcmp(who, "quillet") == 0 ? "typed" : "read");
  for (std::size_t p = 0; p < ports; ++p) {
    const bool ok = before[p].ok && after[p].ok;
    const long long relayIn = ok ? after[p].fromPeer - before[p].fromPeer : -1;
    const long long reached = ok ? after[p].toReceiver - before[p].toReceiver : -1;
    sumWritten += written[p];
    sumRelayIn += relayIn;
    sumReached += reached;
    std::printf("    %zu: %ld, %lld, %lld, %ld%s\n", p + 1, written[p], outside ? 0 : relayIn,
                reached, got[p], ok ? "" : " (no relay counts)");
  }
  sumGot = gotInAll;
  std::printf(
      "    all: %lld, %lld, %lld, %lld: lost writing %lld, in the relay %lld, after "
      "reaching the port %lld\n",
      sumWritten, outside ? 0 : sumRelayIn, sumReached, sumGot,
      outside ? 0 : sumWritten - sumRelayIn,
      outside ? sumWritten - sumReached : sumRelayIn - sumReached, sumReached - sumGot);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool outside = false, gather = true, loadOnly = false, receiveEvents = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--outside") {
      outside = true;
    } else if (a == "--no-gather") {
      gather = false;
    } else if (a == "--receive-events") {
      receiveEvents = true;
    } else if (a == "--load-only") {
      loadOnly = true;
    } else if (!a.empty() && a[0] == '-') {
      std::printf("bench_scans: unknown option %s\n", a.c_str());
      return 2;
    } else {
      args.push_back(a);
    }
  }
  const int seconds = !args.empty() ? std::atoi(args[0].c_str()) : 30;
  const int rounds = args.size() > 1 ? std::atoi(args[1].c_str()) : 60;
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
  quillet::bench::CountingSerial counting(services.serial);
  quillet::app::Services timed{counting, services.profile, services.shell, keyboard,
                               services.registry};
  auto form = std::make_unique<quillet::app::win32::TForm1>(GetModuleHandleW(nullptr), timed);
  if (!form->Create()) return 2;
  form->Show(SW_SHOWNOACTIVATE);
  auto& logic = form->Logic();
  for (int row = 1; row <= 8; ++row) logic.Skener(row)->SetPort(ComName(pairs[row - 1].receiver));
  // A gathering port that asks only for what the road handles (received
  // bytes, line errors) is read by its event thread; asked for line
  // changes too, the thread has to wait for events.
  if (gather && receiveEvents) {
    quillet::serial::TComEvents receive;
    receive.Include(quillet::serial::TComEvent::evRxChar);
    receive.Include(quillet::serial::TComEvent::evError);
    for (int row = 1; row <= 8; ++row) logic.Skener(row)->SetEvents(receive);
  }
  const auto tick = [&](int row, bool on) {
    if (logic.Skener(row)->Connected() != on) logic.RunHandler([&] { logic.SetOpenTick(row, on); });
  };

  // Quillet asks its ports to gather while it frames scans (at 9600 bit/s:
  // the terminator CR, 10 ms of quiet, never more than 40 ms); --no-gather
  // overrides that once framing is on.
  const auto gathering = [&](bool on) {
    if (!on || gather) return;
    for (int row = 1; row <= 8; ++row) logic.Skener(row)->SetRxGathering({});
  };

  std::printf(
      "Scans under Wine (load %s)%s%s\n", Loadavg().c_str(),
      gather ? "; ports gather scans while framing (10 ms quiet, 40 ms longest)" : "; no gathering",
      gather && receiveEvents ? ", asking for receive events only" : "");
  if (!loadOnly) {
    std::printf(
        "1. last byte written -> typing call, 20-character scans at a byte a millisecond\n");
    Road immediate, framed, gap;
    for (int turn = 0; turn < 3; ++turn) {
      tick(1, true);
      tick(2, false);
      const Road a = Latency(logic, keyboard, peers[0], rounds / 3, "\r");
      immediate.ms.insert(immediate.ms.end(), a.ms.begin(), a.ms.end());
      tick(2, true);  // a second port open: every port frames
      gathering(true);
      const Road b = Latency(logic, keyboard, peers[0], rounds / 3, "\r");
      framed.ms.insert(framed.ms.end(), b.ms.begin(), b.ms.end());
      const Road c = Latency(logic, keyboard, peers[0], rounds / 3, "");
      gap.ms.insert(gap.ms.end(), c.ms.begin(), c.ms.end());
      gathering(false);
    }
    PrintRoad("one port, defaults: typed as read", immediate);
    PrintRoad("two ports open: framed, ends at CR", framed);
    PrintRoad("framed, no terminator: ends after the gap", gap);
    std::printf(
        "  framed minus typed as read (medians): %+.3f ms; no terminator minus the 50 ms gap: "
        "%+.3f "
        "ms\n",
        Median(framed.ms) - Median(immediate.ms), Median(gap.ms) - 50.0);
  }

  std::printf("2. every port scanning at once, a scan every 200 ms for %d s; scanners %s\n",
              seconds,
              outside ? "outside Wine, straight into the pseudo-terminals"
                      : "under Wine, through its serial layer");
  for (const std::size_t ports : {std::size_t{2}, std::size_t{8}}) {
    const std::vector<HANDLE> some(peers.begin(), peers.begin() + static_cast<long>(ports));
    // Quillet.
    for (int row = 1; row <= 8; ++row) tick(row, row <= static_cast<int>(ports));
    gathering(true);
    keyboard.Clear();
    keyboard.enters = 0;
    g_stalled = 0;
    g_rewrites = 0;
    std::vector<RelayCounts> before = AllCounts(ports);
    const auto engineRead = [&](bool reads) {
      long long sum = 0;
      for (std::size_t p = 0; p < ports; ++p) {
        const std::wstring device = L"\\\\.\\" + ComName(pairs[p].receiver);
        sum += reads ? counting.Reads(device) : counting.BytesRead(device);
      }
      return sum;
    };
    const long long engineBefore = engineRead(false);
    const long long readsBefore = engineRead(true);
    Mark("quillet", ports);
    double cpu0 = ProcessCpuSeconds(), t0 = Now();
    long sent = 0;
    std::vector<long> written(ports);
    {
      Scanners scanners(some, seconds, outside);
      // The program's own loop sleeps until a message comes; so does this
      // one (a look every 1 ms would be counted as Quillet's).
      quillet::testsupport::PumpUntil([&] { return Now() - t0 > seconds + 0.5; },
                                      (seconds + 5) * 1000, 100);
      scanners.Join();
      sent = scanners.Sent();
      for (std::size_t p = 0; p < ports; ++p) written[p] = scanners.Bytes(p);
    }
    PumpUntil([&] { return keyboard.enters >= sent; }, 10000);
    const double quilletCpu = 100.0 * (ProcessCpuSeconds() - cpu0) / (Now() - t0);
    std::vector<RelayCounts> after = AllCounts(ports);
    const long long engineBytes = engineRead(false) - engineBefore;
    const long long engineReads = engineRead(true) - readsBefore;
    long lines = 0;
    int pending = 0, queued = 0;
    for (int row = 1; row <= 8; ++row) {
      if (logic.Scans().Pending(row)) ++pending;
      if (logic.Skener(row)->Connected()) queued += logic.Skener(row)->InputCount();
    }
    std::printf(
        "  (after the wait: %ld Enter presses, %d scans pending, %d bytes in the drivers; %ld "
        "bytes the peers' drivers refused and were written again)\n",
        keyboard.enters, pending, queued, g_rewrites.load());
    const long stalled = g_stalled;
    const std::wstring typed = keyboard.Typed();
    const bool whole = AllWhole(typed, ports, sent, &lines);
    std::vector<long> typedBytes(ports), typedScans(ports);
    for (std::size_t at = 0; at < typed.size();) {
      const std::size_t cr = std::min(typed.find(L'\r', at), typed.size());
      const std::wstring line = typed.substr(at, cr - at);
      const int port = line.size() > 1 ? line[1] - L'0' : 0;
      if (port >= 1 && port <= static_cast<int>(ports)) {
        typedBytes[port - 1] += static_cast<long>(line.size() + (cr < typed.size() ? 1 : 0));
        if (line.size() == 20) ++typedScans[port - 1];
      }
      at = cr + 1;
    }
    gathering(false);
    for (int row = 1; row <= 8; ++row) tick(row, false);
    // Lines are put to their port by their second character; a garbled
    // line's bytes may count at the wrong port or none, the sum is exact.
    PrintLayers("quillet", ports, written, before, after, typedBytes,
                static_cast<long long>(typed.size()), outside);
    std::printf(
        "    the port engine read %lld bytes from the drivers in %lld reads that took bytes (%.1f "
        "a "
        "scan)\n",
        engineBytes, engineReads, sent > 0 ? static_cast<double>(engineReads) / sent : 0.0);
    // The bare program on the same ports.
    before = AllCounts(ports);
    Mark("bare reader", ports);
    cpu0 = ProcessCpuSeconds();
    t0 = Now();
    long bareScans = 0, bareSent = 0;
    std::vector<long> bareRead(ports), bareWritten(ports);
    {
      std::vector<std::unique_ptr<BareReader>> readers;
      for (std::size_t p = 0; p < ports; ++p)
        readers.push_back(std::make_unique<BareReader>(pairs[p].receiver));
      Scanners scanners(some, seconds, outside);
      scanners.Join();
      bareSent = scanners.Sent();
      Sleep(300);
      for (std::size_t p = 0; p < ports; ++p) {
        bareScans += readers[p]->Scans();
        bareRead[p] = readers[p]->Bytes();
        bareWritten[p] = scanners.Bytes(p);
      }
    }
    const double bareCpu = 100.0 * (ProcessCpuSeconds() - cpu0) / (Now() - t0);
    after = AllCounts(ports);
    long long bareAll = 0;
    for (const long n : bareRead) bareAll += n;
    PrintLayers("bare reader", ports, bareWritten, before, after, bareRead, bareAll, outside);
    long reachedScansTyped = 0;
    for (std::size_t p = 0; p < ports; ++p) reachedScansTyped += typedScans[p];
    std::printf(
        "  %zu ports: %ld scans sent, %ld typed (%ld typed as a whole 20-character code), %s "
        "(writers held up a gap long in %ld scans); CPU quillet %.1f %% beside bare %.1f %% (%ld "
        "of %ld scans read) (load %s)\n",
        ports, sent, lines, reachedScansTyped,
        whole ? "every one whole and in its port's order" : "SOME NOT WHOLE", stalled, quilletCpu,
        bareCpu, bareScans, bareSent, Loadavg().c_str());
  }
  form.reset();
  for (HANDLE h : peers) CloseHandle(h);
  return 0;
}
