// What the Monitor's record costs a scan, natively: two ports at field load
// (each scanning every 200 ms) add a row and settle it per scan. Printed
// beside the same loop without the record, so the difference is the ring's
// own cost; then what a shown Monitor spends on a refreshed page and on Copy.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/reception/reception_record.h"

namespace {

using quillet::app::reception::Reception;
using quillet::app::reception::ReceptionOutcome;
using quillet::app::reception::ReceptionRecord;
using Clock = std::chrono::steady_clock;

// Codes as scanners in a shop send them, with their terminators.
const std::vector<std::string> kCodes = {"4006381333931\r", "]C1QLT-0001-A\r\n", "978316148410\r",
                                         "SHELF-7\r"};

double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct Figures {
  double wall_ns_per_scan;
  double cpu_ns_per_scan;
};

// The work a scan costs the road either way (its bytes and its shaped text)
// and, with `record`, the row added and settled as the typing ends.
Figures Run(long scans, ReceptionRecord* record, std::size_t& sink) {
  const auto start = Clock::now();
  const double cpu_start = CpuSeconds();
  for (long i = 0; i < scans; ++i) {
    const std::string& code = kCodes[static_cast<std::size_t>(i) % kCodes.size()];
    const int row = 1 + static_cast<int>(i % 2);
    std::string received(code);
    std::wstring typed(received.begin(), received.end());
    if (record != nullptr) {
      Reception reception;
      reception.msOfDay = static_cast<std::uint32_t>(i * 100 % 86400000);
      reception.row = row;
      reception.port = row == 1 ? L"COM8" : L"COM6";
      reception.received = std::move(received);
      const auto id = record->Add(std::move(reception));
      record->Settle(id, ReceptionOutcome::typed, std::move(typed));
    } else {
      sink += received.size() + typed.size();
    }
  }
  const double wall = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  const double cpu = (CpuSeconds() - cpu_start) * 1e9;
  return {wall / static_cast<double>(scans), cpu / static_cast<double>(scans)};
}

}  // namespace

int main(int argc, char** argv) {
  const long scans = argc > 1 ? std::atol(argv[1]) : 2000000;
  std::size_t sink = 0;
  std::printf("Monitor record, %ld scans, two ports alternating, codes of 8 to 16 bytes\n", scans);

  const Figures without = Run(scans, nullptr, sink);
  ReceptionRecord record;
  int changes = 0;
  // As while the window is shown: every change arms its refresh.
  record.OnChange = [&changes] { ++changes; };
  const Figures with = Run(scans, &record, sink);
  const double added_ns = with.cpu_ns_per_scan - without.cpu_ns_per_scan;
  std::printf("  per scan without the record: %.0f ns wall, %.0f ns CPU\n",
              without.wall_ns_per_scan, without.cpu_ns_per_scan);
  std::printf("  per scan with the record (ring full, %zu rows): %.0f ns wall, %.0f ns CPU\n",
              record.Rows().size(), with.wall_ns_per_scan, with.cpu_ns_per_scan);
  // Two ports each scanning every 200 ms: ten scans a second.
  std::printf(
      "  field load (two ports, a scan every 200 ms each = 10 scans/s): the record adds"
      " %.4f %% of a core\n",
      added_ns * 10 / 1e9 * 100);

  std::size_t bytes = 0;
  for (const Reception& row : record.Rows())
    bytes += sizeof row + row.received.capacity() + row.port.capacity() * sizeof(wchar_t) +
             row.typed.capacity() * sizeof(wchar_t);
  std::printf("  a full ring holds about %zu KiB\n", bytes / 1024);

  // A shown Monitor renders only the rows on its page (about 20) per refresh.
  constexpr int kRefreshes = 20000;
  auto start = Clock::now();
  for (int i = 0; i < kRefreshes; ++i) {
    for (std::size_t r = record.Rows().size() - 20; r < record.Rows().size(); ++r) {
      const Reception& row = record.Rows()[r];
      sink += quillet::app::reception::RenderTime(row.msOfDay).size() +
              quillet::app::reception::RenderRowAndPort(row).size() +
              quillet::app::reception::RenderReceived(row, (i & 1) != 0).size() +
              quillet::app::reception::RenderOutcome(row).size();
    }
  }
  std::printf("  one page of 20 rows rendered: %.1f us\n",
              std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRefreshes);
  constexpr int kCopies = 200;
  start = Clock::now();
  for (int i = 0; i < kCopies; ++i)
    sink += quillet::app::reception::RenderForClipboard(record.Rows(), false).size();
  std::printf("  Copy of 500 rows: %.2f ms\n",
              std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kCopies);
  std::printf("  (%d changes reported; checksum %zu)\n", changes, sink % 1000);
  return 0;
}
