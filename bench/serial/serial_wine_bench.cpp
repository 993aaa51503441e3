// The port engine on Wine's serial driver beside a bare program doing the
// same system calls, on the same pseudo-terminals in the same run: latency of
// one byte from the peer end to the receiver, the throughput of a 64 KiB burst
// on one port and on every port at once (content checked byte by byte), and
// the process CPU time of all ports open and idle. Run through wine-run with
// one or more COM pairs (see CMakeLists.txt); prints figures only.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/wine_bench.h"
#include "os/win32/serial_win32.h"
#include "serial/com_port.h"
#include "serial/sync.h"
#include "serial/win32/port_window_win32.h"
#include "tests/support/raw_com_port.h"

namespace {

using namespace quillet;
using bench::ComName;
using bench::Now;
using bench::Pair;
using bench::PairsFromEnvironment;
using bench::ProcessCpuSeconds;

constexpr UINT kWake = WM_APP + 1;
constexpr int kRounds = 200;
constexpr std::size_t kBurst = 64 * 1024;
// Bare and engine take turns this often, so a change of machine load hits
// both alike.
constexpr int kTurns = 3;
constexpr DWORD kIdleMs = 10000;

// A byte sequence without short period, different per port, so loss,
// duplication and reordering all show.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = 2463534242u ^ (seed * 2654435761u);
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

HANDLE OpenRaw(const std::wstring& com) {
  return testsupport::OpenRawComPort(com, COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 5000});
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD done = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(h, &ov, &done, TRUE);
  CloseHandle(ov.hEvent);
  return ok && done == bytes.size();
}

// Pumps the user-interface thread's messages until done() or the limit.
bool Pump(const std::function<bool()>& done, DWORD limitMs = 10000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= limitMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(100, limitMs - spent),
                              QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    serial::CheckSynchronize();
  }
  return true;
}

// Set whenever a receiver has taken in bytes.
HANDLE Arrived() {
  static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

// One receiving port, bare or engine, collecting what arrives.
class Receiver {
 public:
  virtual ~Receiver() = default;
  virtual bool Ok() const = 0;
  std::size_t Count() const { return count_.load(); }
  // Deliveries (reads that brought bytes) since the last Take.
  std::size_t Deliveries() const { return deliveries_.load(); }
  std::string Take() {
    std::lock_guard lock(mutex_);
    std::string all;
    all.swap(data_);
    count_ = 0;
    deliveries_ = 0;
    return all;
  }

 protected:
  void Add(const char* bytes, std::size_t n) {
    {
      std::lock_guard lock(mutex_);
      data_.append(bytes, n);
    }
    count_ += n;
    ++deliveries_;
    SetEvent(Arrived());
  }

 private:
  std::mutex mutex_;
  std::string data_;
  std::atomic<std::size_t> count_{0};
  std::atomic<std::size_t> deliveries_{0};
};

// The bare baseline: an overlapped WaitCommEvent + ReadFile loop on its own
// thread, with the engine's default mask, reading whatever is queued.
class BareReceiver final : public Receiver {
 public:
  explicit BareReceiver(const std::wstring& com) : port_(OpenRaw(com)) {
    if (!Ok()) return;
    SetCommMask(port_, 0x05FF);
    thread_ = std::thread([this] { Loop(); });
  }
  ~BareReceiver() override {
    if (!Ok()) return;
    stop_ = true;
    // Again until the reader has seen it: a wait it starts just after a
    // cancel would never end.
    while (!ended_) {
      SetCommMask(port_, 0);
      CancelIoEx(port_, nullptr);
      Sleep(1);
    }
    thread_.join();
    CloseHandle(port_);
  }
  bool Ok() const override { return port_ != INVALID_HANDLE_VALUE; }

 private:
  void Loop() {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> buffer(kBurst);
    while (!stop_) {
      DWORD mask = 0, n = 0;
      if (!WaitCommEvent(port_, &mask, &ov) && GetLastError() == ERROR_IO_PENDING) {
        if (!GetOverlappedResult(port_, &ov, &n, TRUE)) break;
      }
      for (;;) {
        DWORD got = 0;
        OVERLAPPED rov{};
        rov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ReadFile(port_, buffer.data(), static_cast<DWORD>(buffer.size()), &got, &rov) &&
            GetLastError() == ERROR_IO_PENDING) {
          GetOverlappedResult(port_, &rov, &got, TRUE);
        }
        CloseHandle(rov.hEvent);
        if (got == 0) break;
        Add(buffer.data(), got);
      }
    }
    CloseHandle(ov.hEvent);
    ended_ = true;
  }

  HANDLE port_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// The engine: a TComPort with the program's defaults, reading in OnRxChar.
class EngineReceiver final : public Receiver {
 public:
  explicit EngineReceiver(const std::wstring& com) : port_(nullptr, api_) {
    port_.SetPort(com);
    port_.SetOnRxChar([this](serial::TObject*, int count) {
      std::wstring text;
      port_.ReadStr(text, count);
      std::string bytes(text.size(), '\0');
      for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i]);
      Add(bytes.data(), bytes.size());
    });
    try {
      port_.Open();
    } catch (...) {
    }
  }
  ~EngineReceiver() override {
    try {
      port_.Close();
    } catch (...) {
    }
  }
  bool Ok() const override { return port_.Connected(); }

 private:
  os::win32::Win32SerialApi api_;
  serial::TComPort port_;
};

// Waits for a condition: the engine's handlers run on this thread, so it
// pumps; the bare loop's readers run on their own, so it only polls.
using Waiter = std::function<bool(const std::function<bool()>&)>;

bool WaitBare(const std::function<bool()>& done) {
  while (!done()) {
    if (WaitForSingleObject(Arrived(), 10000) != WAIT_OBJECT_0) return false;
  }
  return true;
}

struct Latency {
  double medianUs = 0;
  double p90Us = 0;
};

Latency MeasureLatency(Receiver& rx, HANDLE peer, const Waiter& wait) {
  std::vector<double> us;
  for (int i = 0; i < kRounds; ++i) {
    const std::size_t want = rx.Count() + 1;
    const double start = Now();
    WriteAll(peer, "x");
    if (!wait([&] { return rx.Count() >= want; })) break;
    us.push_back((Now() - start) * 1e6);
  }
  rx.Take();
  std::sort(us.begin(), us.end());
  Latency l;
  if (!us.empty()) {
    l.medianUs = us[us.size() / 2];
    l.p90Us = us[us.size() * 9 / 10];
  }
  return l;
}

struct Burst {
  double kibPerS = 0;  // of all ports together; 0 when it did not complete
  double bytesPerDelivery = 0;
  std::string verdict;
};

// A burst on every receiver at once, one writer thread per peer.
Burst MeasureBurst(std::vector<std::unique_ptr<Receiver>>& rxs, const std::vector<HANDLE>& peers,
                   const Waiter& wait) {
  std::vector<std::string> sent;
  for (std::size_t i = 0; i < rxs.size(); ++i) sent.push_back(Pattern(kBurst, unsigned(i + 1)));
  const double start = Now();
  std::vector<std::thread> writers;
  for (std::size_t i = 0; i < rxs.size(); ++i)
    writers.emplace_back([&, i] { WriteAll(peers[i], sent[i]); });
  const bool all = wait([&] {
    for (const auto& rx : rxs) {
      if (rx->Count() < kBurst) return false;
    }
    return true;
  });
  const double seconds = Now() - start;
  for (std::thread& w : writers) w.join();
  // Anything still on its way would be a duplicate.
  if (all) Pump([] { return false; }, 100);
  Burst b;
  b.kibPerS = all && seconds > 0 ? (rxs.size() * kBurst / 1024.0) / seconds : 0;
  b.verdict = "content ok";
  std::size_t deliveries = 0;
  for (const auto& rx : rxs) deliveries += rx->Deliveries();
  if (deliveries > 0) b.bytesPerDelivery = double(rxs.size() * kBurst) / double(deliveries);
  for (std::size_t i = 0; i < rxs.size(); ++i) {
    const std::string got = rxs[i]->Take();
    if (got == sent[i]) continue;
    const auto diff = std::mismatch(got.begin(), got.end(), sent[i].begin(), sent[i].end());
    b.verdict = "CONTENT WRONG on port " + std::to_string(i + 1) + ": " +
                std::to_string(got.size()) + " of " + std::to_string(kBurst) +
                " bytes, first difference at " + std::to_string(diff.first - got.begin());
    break;
  }
  return b;
}

template <typename R>
std::vector<std::unique_ptr<Receiver>> OpenAll(const std::vector<Pair>& pairs) {
  std::vector<std::unique_ptr<Receiver>> rxs;
  for (const Pair& p : pairs) rxs.push_back(std::make_unique<R>(ComName(p.receiver)));
  return rxs;
}

bool AllOk(const std::vector<std::unique_ptr<Receiver>>& rxs) {
  return std::all_of(rxs.begin(), rxs.end(), [](const auto& r) { return r->Ok(); });
}

template <typename R>
Burst BurstOn(const std::vector<Pair>& pairs, const std::vector<HANDLE>& peers,
              const Waiter& wait) {
  auto rxs = OpenAll<R>(pairs);
  if (!AllOk(rxs)) return {0, 0, "could not open the ports"};
  return MeasureBurst(rxs, peers, wait);
}

// Process CPU time of the ports open and idle, over kIdleMs.
template <typename R>
double IdleCpuPercent(const std::vector<Pair>& pairs, bool pump) {
  auto rxs = OpenAll<R>(pairs);
  if (!AllOk(rxs)) return -1;
  Pump([] { return false; }, 500);  // let the opening settle
  const double cpu0 = ProcessCpuSeconds();
  const double t0 = Now();
  if (pump) {
    Pump([] { return false; }, kIdleMs);
  } else {
    Sleep(kIdleMs);
  }
  return 100.0 * (ProcessCpuSeconds() - cpu0) / (Now() - t0);
}

void PrintBurst(const char* who, std::size_t ports, const Burst& b) {
  std::printf("  %-9s %zu port(s) x 64 KiB: %9.1f KiB/s, %7.1f bytes a read  %s\n", who, ports,
              b.kibPerS, b.bytesPerDelivery, b.verdict.c_str());
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  const DWORD ui = GetCurrentThreadId();
  serial::SetSynchronizeWakeHook([ui] { PostThreadMessageW(ui, kWake, 0, 0); });
  serial::win32::InstallPortWindows();  // as the program does
  const std::vector<Pair> pairs = PairsFromEnvironment();
  std::vector<HANDLE> peers;
  for (const Pair& p : pairs) {
    HANDLE h = OpenRaw(ComName(p.peer));
    if (h == INVALID_HANDLE_VALUE) {
      std::printf("serial (Wine): no COM%d; run through wine-run with QUILLET_COM_PAIR=7:8\n",
                  p.peer);
      for (HANDLE o : peers) CloseHandle(o);
      return 0;
    }
    peers.push_back(h);
  }
  if (peers.empty()) {
    std::printf("serial (Wine): no COM pair in QUILLET_COM_PAIR\n");
    return 0;
  }
  const Waiter bare = WaitBare;
  const Waiter pump = [](const std::function<bool()>& done) { return Pump(done); };
  const std::vector<Pair> first(pairs.begin(), pairs.begin() + 1);
  const std::vector<HANDLE> firstPeer(peers.begin(), peers.begin() + 1);

  std::printf("serial (Wine), one byte COM%d <- COM%d, %d rounds:\n", first[0].receiver,
              first[0].peer, kRounds);
  for (int turn = 0; turn < kTurns; ++turn) {
    Latency b, e;
    {
      BareReceiver rx(ComName(first[0].receiver));
      if (rx.Ok()) b = MeasureLatency(rx, firstPeer[0], bare);
    }
    {
      EngineReceiver rx(ComName(first[0].receiver));
      if (rx.Ok()) e = MeasureLatency(rx, firstPeer[0], pump);
    }
    std::printf(
        "  bare      median %8.1f us, p90 %8.1f us | TComPort median %8.1f us, p90 %8.1f us"
        " | difference of medians %+8.1f us\n",
        b.medianUs, b.p90Us, e.medianUs, e.p90Us, e.medianUs - b.medianUs);
  }

  for (const bool all : {false, true}) {
    if (all && pairs.size() == 1) break;
    const std::vector<Pair>& set = all ? pairs : first;
    const std::vector<HANDLE>& setPeers = all ? peers : firstPeer;
    std::printf("serial (Wine), burst on %zu port(s) at once:\n", set.size());
    for (int turn = 0; turn < kTurns; ++turn) {
      const Burst b = BurstOn<BareReceiver>(set, setPeers, bare);
      const Burst e = BurstOn<EngineReceiver>(set, setPeers, pump);
      PrintBurst("bare", set.size(), b);
      PrintBurst("TComPort", set.size(), e);
      if (b.kibPerS > 0)
        std::printf("  TComPort / bare: %5.1f %%\n", 100.0 * e.kibPerS / b.kibPerS);
    }
  }

  std::printf("serial (Wine), %zu port(s) open and idle, process CPU over %lu s:\n", pairs.size(),
              static_cast<unsigned long>(kIdleMs / 1000));
  const double idleBare = IdleCpuPercent<BareReceiver>(pairs, false);
  const double idleEngine = IdleCpuPercent<EngineReceiver>(pairs, true);
  std::printf(
      "  bare %5.1f %% of a core | TComPort %5.1f %% of a core | TComPort / bare %5.1f %%\n",
      idleBare, idleEngine, idleBare > 0 ? 100.0 * idleEngine / idleBare : 0.0);
  for (HANDLE h : peers) CloseHandle(h);
  return 0;
}
