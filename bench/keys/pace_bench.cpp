// The pace under Wine, on the real main window in this process: its row 1
// on the receiving end of a null-modem pair, a scanner writing on the far
// end a byte a millisecond, the os/sim keyboard recording when each key
// went. Prints figures only.
//
// 1. CharDelay 10, 40 and 100 ms: a 51-character scan; the error of each
//    gap between two keys against the delay (median and 95th percentile).
// 2. CharDelay 10 ms and a 1000-character scan: another thread sends the
//    window WM_NULL every 20 ms and times the answer, while the scan is
//    paced, beside the same with the window idle.
//
// Usage: bench_keys_pace; run through tests/support/wine-run with
// QUILLET_COM_PAIR=7:8 (bench/keys/run.sh).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
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

// The os/sim recorder behind the seam, noting when each call sent a key.
class TimedKeyboard final : public quillet::bench::ForwardingKeyboard {
 public:
  TimedKeyboard() : ForwardingKeyboard(sim_) {}
  void SendKeys(std::span<const quillet::os::KeyInput> inputs) override {
    times.push_back(Now());
    sim_.SendKeys(inputs);
  }
  std::wstring Typed() const { return sim_.TypedText(); }
  void Clear() {
    sim_.ClearEvents();
    times.clear();
  }
  std::vector<double> times;

 private:
  quillet::os::sim::SimKeyboard sim_;
};

void WriteAtLineSpeed(HANDLE peer, const std::string& code) {
  for (const char byte : code) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    if (!WriteFile(peer, &byte, 1, &done, &ov) && GetLastError() == ERROR_IO_PENDING)
      GetOverlappedResult(peer, &ov, &done, TRUE);
    CloseHandle(ov.hEvent);
    Sleep(1);
  }
}

std::string Letters(std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('A' + i % 26);
  return text;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The window with row 1 open on the pair and the file's pace.
struct Window {
  Window(TimedKeyboard& keyboard, int receiver, unsigned delayMs) {
    const quillet::app::Services services = platform.Get();
    form = std::make_unique<quillet::app::win32::TForm1>(
        GetModuleHandleW(nullptr),
        quillet::app::Services{services.serial, services.profile, services.shell, keyboard,
                               services.registry});
    if (!form->Create()) return;
    form->Show(SW_SHOWNOACTIVATE);
    auto& logic = form->Logic();
    logic.Advanced().common.CharDelay = static_cast<int>(delayMs);
    logic.Skener(1)->SetPort(ComName(receiver));
    logic.RunHandler([&] { logic.SetOpenTick(1, true); });
  }
  bool Open() { return form && form->Logic().Skener(1)->Connected(); }

  quillet::app::win32::Win32Services platform;
  std::unique_ptr<quillet::app::win32::TForm1> form;
};

// Types one scan and returns the time of each key (one SendKeys call a
// key when paced); empty when the scan was not typed whole.
std::vector<double> PacedScan(TimedKeyboard& keyboard, HANDLE peer, const std::string& code,
                              DWORD deadlineMs) {
  keyboard.Clear();
  std::thread writer([&] { WriteAtLineSpeed(peer, code); });
  const std::wstring want(code.begin(), code.end());
  const bool ok =
      quillet::testsupport::PumpUntil([&] { return keyboard.Typed() == want; }, deadlineMs, 1);
  writer.join();
  if (!ok) {
    std::printf("  typed %zu of %zu characters in time\n", keyboard.Typed().size(), want.size());
    return {};
  }
  return keyboard.times;
}

// Times WM_NULL round trips to the window every 20 ms until `stop`.
std::vector<double> Probe(HWND window, const std::atomic<bool>& stop) {
  std::vector<double> ms;
  while (!stop) {
    const double start = Now();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
      ms.push_back(1000.0 * (Now() - start));
    Sleep(20);
  }
  return ms;
}

void PrintProbe(const char* what, const std::vector<double>& ms) {
  std::printf("  %-32s median %6.3f ms  p95 %6.3f  max %7.3f  (%zu messages)\n", what, Median(ms),
              Percentile(ms, 0.95), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()),
              ms.size());
}

}  // namespace

int main() {
  const std::vector<Pair> pairs = PairsFromEnvironment();
  if (pairs.empty()) return 2;
  HANDLE peer = quillet::testsupport::OpenRawComPort(ComName(pairs[0].peer),
                                                     COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0});
  if (peer == INVALID_HANDLE_VALUE) {
    std::printf("bench_keys_pace: the peer port cannot be opened\n");
    return 2;
  }
  TimedKeyboard keyboard;
  std::printf("The pace under Wine (load %s)\n", Loadavg().c_str());
  std::printf("1. gap between two keys minus the delay, a 51-character scan and CR (51 gaps)\n");
  for (const unsigned delay : {10u, 40u, 100u}) {
    Window window(keyboard, pairs[0].receiver, delay);
    if (!window.Open()) {
      std::printf("  the row did not open\n");
      return 2;
    }
    const std::vector<double> times = PacedScan(keyboard, peer, Letters(51) + "\r", 30000);
    std::vector<double> errors;
    for (std::size_t i = 1; i < times.size(); ++i)
      errors.push_back(1000.0 * (times[i] - times[i - 1]) - delay);

    std::printf("  CharDelay %3u ms: error median %+6.2f ms  p95 %+6.2f  min %+6.2f  max %+6.2f\n",
                delay, Median(errors), Percentile(errors, 0.95),
                errors.empty() ? 0.0 : *std::min_element(errors.begin(), errors.end()),
                errors.empty() ? 0.0 : *std::max_element(errors.begin(), errors.end()));
  }

  std::printf("2. WM_NULL answered by the window, sent every 20 ms from another thread\n");
  {
    Window window(keyboard, pairs[0].receiver, 10);
    if (!window.Open()) return 2;
    const HWND handle = window.form->Handle();
    std::atomic<bool> stop{false};
    std::vector<double> idle;
    std::thread idleProbe([&] { idle = Probe(handle, stop); });
    quillet::testsupport::PumpUntil([] { return false; }, 3000, 1);
    stop = true;
    idleProbe.join();
    PrintProbe("idle:", idle);
    stop = false;
    std::vector<double> busy;
    std::thread busyProbe([&] { busy = Probe(handle, stop); });
    const std::vector<double> times = PacedScan(keyboard, peer, Letters(1000) + "\r", 60000);
    stop = true;
    busyProbe.join();
    PrintProbe("a 1000-character scan paced:", busy);
    if (times.size() > 1)
      std::printf("  (the scan took %.2f s to type at 10 ms a key)\n",
                  times.back() - times.front());
  }
  CloseHandle(peer);
  return 0;
}
