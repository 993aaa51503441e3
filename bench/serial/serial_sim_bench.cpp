// Byte-to-OnRxChar latency of the port engine's own code, natively against
// the serial double: the peer sends one byte, the event thread catches the
// event and hands it over, and the main thread (serving the hand-over as the
// user-interface thread does) runs OnRxChar, which reads the byte.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/sim/serial_sim.h"
#include "serial/com_port.h"
#include "serial/sync.h"

using namespace quillet;
using Clock = std::chrono::steady_clock;

int main() {
  std::mutex mutex;
  std::condition_variable woken;
  bool wake = false;
  serial::SetSynchronizeWakeHook([&] {
    {
      std::lock_guard lock(mutex);
      wake = true;
    }
    woken.notify_one();
  });

  os::sim::SimSerial sim;
  sim.AddPort(L"COM1");
  serial::TComPort port(nullptr, sim);
  bool got = false;
  port.SetOnRxChar([&](serial::TObject*, int count) {
    std::wstring text;
    port.ReadStr(text, count);
    got = true;
  });
  port.Open();

  constexpr int kRounds = 2000;
  std::vector<double> micros;
  micros.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    got = false;
    const auto start = Clock::now();
    sim.PeerWrite(L"COM1", "x");
    while (!got) {
      {
        std::unique_lock lock(mutex);
        woken.wait(lock, [&] { return wake; });
        wake = false;
      }
      serial::CheckSynchronize();
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    sim.ClearCalls();  // keep the double's log small
  }
  // Idle: nothing arrives for two seconds. The event thread should sit in
  // its one wait: no call into the device, no hand-over to wake the UI thread.
  // (The wait that follows the last delivery is issued first.)
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  sim.ClearCalls();
  {
    std::lock_guard lock(mutex);
    wake = false;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::size_t idle_calls = sim.Calls().size();
  bool idle_wake = false;
  {
    std::lock_guard lock(mutex);
    idle_wake = wake;
  }

  port.Close();
  serial::SetSynchronizeWakeHook({});

  std::sort(micros.begin(), micros.end());
  std::printf(
      "serial (sim): byte to OnRxChar over %d rounds: median %.1f us, p90 %.1f us, "
      "max %.1f us\n",
      kRounds, micros[micros.size() / 2], micros[micros.size() * 9 / 10], micros.back());
  std::printf("serial (sim): idle open port for 2 s: %zu calls into the device, %s\n", idle_calls,
              idle_wake ? "the user-interface thread was woken"
                        : "no hand-over woke the user-interface thread");
  return 0;
}
