// Framing what the ports receive into whole scans.
//
// A scanner at 9600 bit/s sends a code over tens of milliseconds and the
// event thread hands it over in several batches; with two scanners the
// batches alternate. So each port collects its bytes into the scan it is
// reading, and only complete scans are typed, one whole scan at a time, in
// the order they completed. A scan is complete at its terminator (CR, LF or
// CR LF), when no byte has come for the gap time, or when it reaches
// kMaxPiece characters (a device streaming without end).
//
// A loaded machine can hand a scan's bytes over late, so a port whose last
// kSteadyScans scans all ended at a terminator waits kSteadyGap before the
// gap ends a scan: its terminator, not the clock, ends its scans. The first
// scan ended by the gap or the length brings the port back to its short gap.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/advanced_fields.h"
#include "app/reception/key_script.h"

namespace quillet::app::reception {

using ScanClock = std::chrono::steady_clock;

// The quiet time that ends a scan without terminator: four character times
// at the line rate (start, data, parity and stop bits), never below 50 ms,
// since USB serial adapters hand bytes over in chunks up to 16 ms apart.
// `stopBits` is 1, 1.5 or 2; a rate of 0 or less gives the floor.
std::chrono::microseconds ScanGap(int bitsPerSecond, int dataBits, bool parity, double stopBits);

// One piece of received text ready to type.
struct ScanPiece {
  int row = 0;
  std::wstring text;        // the scan without its terminator
  std::wstring terminator;  // as received: CR, LF, CR LF, or empty (gap, length)
  // An LF right after a CR that already completed the scan: the rest of
  // that terminator, not a scan of its own.
  bool terminatorTail = false;
  friend bool operator==(const ScanPiece&, const ScanPiece&) = default;
};

class ScanAssembler {
 public:
  static constexpr std::size_t kMaxPiece = 4096;
  static constexpr int kSteadyScans = 3;
  static constexpr std::chrono::microseconds kSteadyGap = std::chrono::seconds(1);

  // Adds what `row` received at `now`; appends the scans it completes.
  // `gap` is the port's short gap; a port that ends its scans at a
  // terminator waits the longer of it and kSteadyGap.
  void Receive(int row, std::wstring_view text, ScanClock::time_point now,
               std::chrono::microseconds gap, std::vector<ScanPiece>& out);
  // Text typed without framing (one port, default settings): remembered only
  // so that an LF after its final CR still counts as that CR's tail.
  void TypedDirectly(int row, std::wstring_view text);
  // Appends the scans whose gap has passed at `now`, in the order their gaps
  // ended; the scan of `keepRow` (when not 0) stays open.
  void Expire(ScanClock::time_point now, std::vector<ScanPiece>& out, int keepRow = 0);
  // Bytes of `row`'s scan wait in the driver: its gap starts again at `now`.
  void StillArriving(int row, ScanClock::time_point now, std::chrono::microseconds gap);
  // Appends the scan `row` is reading, if any (its port closes); the port
  // starts again with the short gap, whatever device it opens next.
  void Flush(int row, std::vector<ScanPiece>& out);
  // Appends every scan in progress, in the order their gaps would end.
  void FlushAll(std::vector<ScanPiece>& out);
  // The last scan `row` completed ended at a terminator (also before its
  // port last closed: most often the same device is there again), so a scan
  // in progress without one is incomplete.
  bool EndsAtTerminator(int row) const;
  // Takes `row`'s scan in progress away unended (a piece its port's close
  // cut off); the port keeps what it knows of its scans.
  std::wstring TakePending(int row);
  // When the next gap ends, if a scan is in progress.
  std::optional<ScanClock::time_point> NextDeadline() const;
  bool Pending(int row) const;
  // Code units of `row`'s scan in progress.
  std::size_t PendingLength(int row) const;

 private:
  struct Port {
    int row = 0;
    std::wstring text;
    ScanClock::time_point deadline{};
    bool afterCr = false;      // the last byte was a CR that completed a scan
    int terminatedInARow = 0;  // scans in a row that ended at a terminator
    bool lastTerminated = false;
  };
  static std::chrono::microseconds GapOf(const Port& port, std::chrono::microseconds gap);
  Port& PortOf(int row);
  void Complete(Port& port, std::wstring terminator, std::vector<ScanPiece>& out);
  void AppendInDeadlineOrder(std::vector<Port*> due, std::vector<ScanPiece>& out);

  std::vector<Port> ports_;
};

// What a scan becomes with the advanced settings: its characters "from" to
// "to" (counted from 1, inclusive, 0 = no limit at that end; a "to" below the
// "from" keeps to the end), the prefix and suffix when their boxes are
// ticked, then CR, LF or CR LF when ticked in place of the scan's own
// terminator. With every value at its default the result is the received
// text, byte for byte. Key names in the prefix and suffix stay as written:
// this is what the monitor shows as typed.
std::wstring ShapeScan(const ScanPiece& piece, const AdvancedFields& settings);
// The same as steps to type: the prefix and suffix read for key names, the
// received text always as characters.
std::vector<KeyStep> ShapeSteps(const ScanPiece& piece, const AdvancedFields& settings);

}  // namespace quillet::app::reception
