// What key names cost the received-data handler, natively, on the os/sim
// keyboard: an unpaced scan handed to the typing queue (typed at once inside
// Enqueue) with a {TAB} suffix, beside the same scan with a Tab character
// typed as text (the same number of key events) and the scan alone, and
// beside TypeText, the handler's typing call before the queue. Prints
// nanoseconds a scan and never fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/reception/key_script.h"
#include "app/reception/typing_queue.h"
#include "app/typing.h"
#include "os/sim/keyboard_sim.h"

namespace {

namespace reception = quillet::app::reception;
using Clock = std::chrono::steady_clock;

class Host final : public reception::TypingHost {
 public:
  Clock::time_point Now() const override { return Clock::now(); }
  void SetTypingTimer(unsigned) override {}
  quillet::os::KeyboardApi& Keyboard() override { return keyboard; }
  void WaitWhileClosing(unsigned) override {}
  quillet::os::sim::SimKeyboard keyboard;
};

const std::wstring kCode = L"4006381333931";

reception::TypeJob Job(std::wstring_view suffix, std::wstring_view textAfter) {
  reception::TypeJob job;
  job.row = 1;
  job.steps = reception::ParseKeyScript(L"");
  reception::AppendText(job.steps, kCode);
  reception::AppendText(job.steps, textAfter);
  const std::vector<reception::KeyStep> tail = reception::ParseKeyScript(suffix);
  job.steps.insert(job.steps.end(), tail.begin(), tail.end());
  reception::AppendText(job.steps, L"\r");
  return job;
}

// Nanoseconds a scan, the median of `rounds` rounds of `scans` each.
double Measure(long scans, const std::function<void(Host&)>& scan) {
  std::vector<double> rounds;
  Host host;
  for (int round = 0; round < 9; ++round) {
    const auto start = Clock::now();
    for (long i = 0; i < scans; ++i) {
      scan(host);
      host.keyboard.ClearEvents();
    }
    rounds.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
                     static_cast<double>(scans));
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[rounds.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const long scans = argc > 1 ? std::atol(argv[1]) : 20000;
  quillet::app::LayoutAnswers answers;
  const double typeText = Measure(
      scans, [&](Host& host) { quillet::app::TypeText(kCode + L"\r", host.keyboard, answers); });
  const auto viaQueue = [&](std::wstring_view suffix, std::wstring_view textAfter) {
    Host* current = nullptr;
    std::unique_ptr<reception::TypingQueue> queue;
    return Measure(scans, [&](Host& host) {
      if (current != &host) {
        current = &host;
        queue = std::make_unique<reception::TypingQueue>(host);
      }
      queue->Enqueue(Job(suffix, textAfter));
    });
  };
  const double alone = viaQueue(L"", L"");
  const double tabText = viaQueue(L"", L"\t");
  const double tabKey = viaQueue(L"{TAB}", L"");
  const double chord = viaQueue(L"{CTRL+SHIFT+F5}", L"");
  std::printf("Unpaced scan of %zu characters and CR, %ld scans a round, median of 9 rounds:\n",
              kCode.size(), scans);
  std::printf("  TypeText (the handler's call before the queue): %8.0f ns a scan\n", typeText);
  std::printf("  queue, the scan alone:                          %8.0f ns a scan\n", alone);
  std::printf("  queue, a Tab typed as text (2 key events more): %8.0f ns a scan\n", tabText);
  std::printf("  queue, suffix {TAB} (2 key events more):        %8.0f ns a scan\n", tabKey);
  std::printf("  queue, suffix {CTRL+SHIFT+F5} (6 events more):  %8.0f ns a scan\n", chord);
  return 0;
}
