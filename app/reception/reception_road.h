// The road from a port to the keys. Each row's received bytes are framed
// into scans (or typed as read: one port open, every advanced setting at its
// default), shaped by the row's advanced settings, queued and paced for
// typing, and kept in the monitor's record with what became of them. The
// main window feeds it deliveries and closes, forwards its timers, and shows
// in its status bar what the road reports.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "app/advanced_fields.h"
#include "app/main_window_view.h"
#include "app/reception/reception_record.h"
#include "app/reception/scan_assembly.h"
#include "app/reception/typing_queue.h"
#include "os/keyboard_api.h"
#include "serial/com_types.h"

namespace quillet::serial {
class TComPort;
}

namespace quillet::app::reception {

class ReceptionRoad final : private TypingHost {
 public:
  ReceptionRoad(MainView& view, os::KeyboardApi& keyboard, const AdvancedSettings& settings);
  ReceptionRoad(const ReceptionRoad&) = delete;
  ReceptionRoad& operator=(const ReceptionRoad&) = delete;

  // The port objects of rows 1..8 (none may be missing later on).
  void SetPorts(const std::array<serial::TComPort*, 8>& ports) { ports_ = ports; }

  // A port's received-data event: reads `count` bytes and sends them on.
  // A read error ends it before anything is typed.
  void Received(serial::TComPort& port, int count);
  // The scan timer's tick: the scans whose gap has passed go to typing.
  void ScanTimerTimer();
  // The typing timer's tick: the next paced key is due.
  void TypingTimerTimer() { queue_.Tick(); }
  // The row's port closes (called before its close, while it is still
  // open, and after). A port whose scans end at a terminator first reads
  // the rest of the scan in progress, for as long as the bytes keep coming
  // (quiet for its short gap ends it, kFinishAtCloseMs at most); a piece
  // still cut off is not typed but kept in the record as cut and counted in
  // the status bar. Another port's scan in progress goes to typing.
  void Flush(int row);
  static constexpr unsigned kFinishAtCloseMs = 1000;
  // Scans cut off by their port's close and not typed, since the start.
  std::size_t CutAtClose() const { return cut_at_close_; }
  // A port opened or closed, or the advanced settings changed: framing may
  // have started or stopped, and the ports gather their bytes accordingly.
  void FramingMayHaveChanged();

  // Received text a port may have waiting to be typed (its scan in progress
  // and its queued jobs). Beyond it the port's reading pauses, so the driver
  // and the line's flow control hold the rest; it resumes below
  // kResumeBelow.
  static constexpr std::size_t kMostWaiting = std::size_t{1} << 20;
  static constexpr std::size_t kResumeBelow = kMostWaiting / 2;
  std::size_t Waiting(int row) const;
  bool ReadingPaused(int row) const { return paused_.at(static_cast<std::size_t>(row - 1)); }

  // Characters and keys that closing now would leave untyped.
  std::size_t UntypedAtClose() const { return queue_.UntypedAtClose(); }
  // The program ends: what is queued is typed for at most kCloseDeadline,
  // the rest is settled as not typed. Nothing is typed afterwards.
  void Close();

  ReceptionRecord& Record() { return record_; }
  const ScanAssembler& Scans() const { return assembler_; }
  const TypingQueue& Queue() const { return queue_; }

 private:
  // TypingHost, through the main window.
  std::chrono::steady_clock::time_point Now() const override { return view_.Now(); }
  void SetTypingTimer(unsigned milliseconds) override { view_.SetTypingTimer(milliseconds); }
  os::KeyboardApi& Keyboard() override { return keyboard_; }
  void WaitWhileClosing(unsigned milliseconds) override { view_.WaitWhileClosing(milliseconds); }

  int RowOf(const serial::TComPort& port) const;
  // Framing applies with a second port open or any advanced setting on
  // (a row's own settings count); otherwise text is typed the moment it is read.
  bool AssemblingScans() const;
  void TypePieces(std::vector<ScanPiece>& pieces);
  // Records a reception and queues its steps; `received` is what arrived.
  void Send(const serial::TComPort& port, int row, const std::wstring& received,
            const std::wstring& shown, std::vector<KeyStep> steps, unsigned charDelayMs,
            bool record);
  void JobDone(const TypeJob& job, const TypeJobResult& result);
  void PauseReading(int row, serial::TComPort& port);
  void ResumeReadingBelowHalf();
  void ArmScanTimer();
  void KeepScansWhoseBytesWait(ScanClock::time_point now, int except_row);
  // Reads the rest of `row`'s scan in progress from its open port, a byte at
  // a time so that no scan after it is begun.
  void FinishScanBeforeClose(int row, serial::TComPort& port, std::vector<ScanPiece>& pieces);
  void SetAsideCut(int row);

  MainView& view_;
  os::KeyboardApi& keyboard_;
  const AdvancedSettings& settings_;
  std::array<serial::TComPort*, 8> ports_{};
  ReceptionRecord record_;
  ScanAssembler assembler_;
  TypingQueue queue_{*this};
  // Keystrokes each row has queued, kept as jobs come and go: asking costs
  // nothing, also with a megabyte of short scans queued.
  std::array<std::size_t, 8> queued_{};
  std::array<bool, 8> paused_{};
  // What each port was last asked to gather.
  std::array<serial::TRxGathering, 8> gathering_{};
  bool closed_ = false;
  std::size_t cut_at_close_ = 0;
  // Rows between their port's OnBeforeClose and OnAfterClose: what a
  // delivery served during the close brings is framed, so a piece of it is
  // never typed as read at the end of the target's line.
  std::array<bool, 8> closing_{};
};

}  // namespace quillet::app::reception
