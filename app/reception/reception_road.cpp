#include "app/reception/reception_road.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/com_port.h"
#include "serial/sync.h"

namespace quillet::app::reception {
namespace {

int RateOf(const serial::TComPort& port) {
  return port.BaudRate() == serial::TBaudRate::brCustom ? port.CustomBaudRate()
                                                        : serial::BaudRateValue(port.BaudRate());
}

double StopBitsOf(const serial::TComPort& port) {
  if (port.StopBits() == serial::TStopBits::sbOne5StopBits) return 1.5;
  if (port.StopBits() == serial::TStopBits::sbTwoStopBits) return 2.0;
  return 1.0;
}

int DataBitsOf(const serial::TComPort& port) {
  return 5 + static_cast<int>(port.DataBits());
}

bool HasParity(const serial::TComPort& port) {
  return port.Parity().Bits() != serial::TParityBits::prNone;
}

double BitsPerCharacter(const serial::TComPort& port) {
  return 1 + DataBitsOf(port) + (HasParity(port) ? 1 : 0) + StopBitsOf(port);
}

std::chrono::microseconds GapOf(const serial::TComPort& port) {
  return ScanGap(RateOf(port), DataBitsOf(port), HasParity(port), StopBitsOf(port));
}

// While scans are framed the event thread hands a scan over once instead of
// a batch at a time: at the CR that ends most scans, or once the line has
// been quiet for two character times (10 ms at least), and always before
// the scan's gap could end it, so no byte waits longer than that.
serial::TRxGathering FramingGathering(const serial::TComPort& port) {
  using std::chrono::milliseconds;
  const int rate = std::max(RateOf(port), 1);
  const auto character = std::chrono::microseconds(
      static_cast<std::int64_t>(BitsPerCharacter(port) * 1'000'000.0 / rate));
  const auto quiet = std::max<std::chrono::microseconds>(milliseconds(10), 2 * character);
  const auto longest = GapOf(port) - milliseconds(10);
  serial::TRxGathering gathering;
  gathering.on = true;
  gathering.hasTerminator = true;
  gathering.terminator = '\r';
  gathering.quietMs = static_cast<std::uint32_t>(std::chrono::ceil<milliseconds>(quiet).count());
  gathering.longestMs =
      static_cast<std::uint32_t>(std::chrono::floor<milliseconds>(longest).count());
  return gathering;
}

std::wstring PortTitle(const serial::TComPort& port) {
  return port.Port() + L" (" + port.Name() + L")";
}

// Port text holds one code unit per byte.
std::string Bytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t unit : text) bytes.push_back(static_cast<char>(unit & 0xFF));
  return bytes;
}

}  // namespace

ReceptionRoad::ReceptionRoad(MainView& view, os::KeyboardApi& keyboard,
                             const AdvancedSettings& settings)
    : view_(view), keyboard_(keyboard), settings_(settings) {
  queue_.OnJobStarted = [this](const TypeJob& job) {
    // A paused port's message stays until it is read again.
    if (std::any_of(paused_.begin(), paused_.end(), [](bool p) { return p; })) return;
    view_.SetStatusText(L"Read device: " + job.componentName + L", " + job.port);
  };
  queue_.OnJobDone = [this](const TypeJob& job, const TypeJobResult& result) {
    JobDone(job, result);
  };
}

int ReceptionRoad::RowOf(const serial::TComPort& port) const {
  for (int row = 1; row <= 8; ++row)
    if (ports_[static_cast<std::size_t>(row - 1)] == &port) return row;
  return 0;
}

bool ReceptionRoad::AssemblingScans() const {
  if (settings_.AnyOn()) return true;
  return std::count_if(ports_.begin(), ports_.end(),
                       [](serial::TComPort* p) { return p && p->Connected(); }) > 1;
}

std::size_t ReceptionRoad::Waiting(int row) const {
  return assembler_.PendingLength(row) + queued_.at(static_cast<std::size_t>(row - 1));
}

void ReceptionRoad::FramingMayHaveChanged() {
  const bool framing = AssemblingScans();
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    if (ports_[i] == nullptr) continue;
    const serial::TRxGathering wanted =
        framing ? FramingGathering(*ports_[i]) : serial::TRxGathering{};
    // Asked again only when the wish changes.
    if (wanted == gathering_[i]) continue;
    gathering_[i] = wanted;
    ports_[i]->SetRxGathering(wanted);
  }
}

void ReceptionRoad::PauseReading(int row, serial::TComPort& port) {
  paused_[static_cast<std::size_t>(row - 1)] = true;
  port.SetRxPaused(true);
  view_.SetStatusText(PortTitle(port) + L" sends faster than Quillet can type: reading paused");
}

void ReceptionRoad::ResumeReadingBelowHalf() {
  for (int row = 1; row <= 8; ++row) {
    const std::size_t i = static_cast<std::size_t>(row - 1);
    if (!paused_[i] || Waiting(row) >= kResumeBelow) continue;
    paused_[i] = false;
    if (serial::TComPort* port = ports_[i]) {
      // The engine hands over what waited in the driver meanwhile.
      port->SetRxPaused(false);
      view_.SetStatusText(PortTitle(*port) + L" is read again");
    }
  }
}

void ReceptionRoad::Received(serial::TComPort& port, int count) {
  const int row = RowOf(port);
  if (row != 0) {
    // Framing may have changed with the settings since the last delivery.
    FramingMayHaveChanged();
    // Never more than the bound waits: the rest stays in the driver until
    // typing has caught up.
    const std::size_t waiting = Waiting(row);
    const std::size_t room = waiting < kMostWaiting ? kMostWaiting - waiting : 0;
    if (count > 0 && static_cast<std::size_t>(count) > room) {
      count = static_cast<int>(room);
      PauseReading(row, port);
    }
    if (count <= 0) return;
  }
  std::wstring text;
  port.ReadStr(text, count);
  std::vector<ScanPiece> pieces;
  if (row == 0 || (!AssemblingScans() && !closing_.at(static_cast<std::size_t>(row - 1)))) {
    // One port with default settings: typed as read. Whatever an earlier
    // framing still holds goes first, so nothing is reordered.
    assembler_.FlushAll(pieces);
    TypePieces(pieces);
    std::vector<KeyStep> steps;
    AppendText(steps, text);
    Send(port, row, text, text, std::move(steps), 0, true);
    if (row != 0) assembler_.TypedDirectly(row, text);
    ArmScanTimer();
    return;
  }
  // Other ports' scans whose gap ended before these bytes came completed
  // first. This port's own scan goes on: the bytes were in the driver before
  // the handler saw them, so a late handler must not cut the scan in two.
  const auto now = view_.Now();
  KeepScansWhoseBytesWait(now, row);
  assembler_.Expire(now, pieces, row);
  assembler_.Receive(row, text, now, GapOf(port), pieces);
  TypePieces(pieces);
  ArmScanTimer();
}

void ReceptionRoad::TypePieces(std::vector<ScanPiece>& pieces) {
  for (const ScanPiece& piece : pieces) {
    const serial::TComPort* port = ports_[static_cast<std::size_t>(piece.row - 1)];
    if (port == nullptr) continue;
    const AdvancedFields& settings = settings_.For(piece.row);
    // The rest of a CR LF that came apart belongs to the scan before: its
    // monitor row gets the byte, no row of its own.
    Send(*port, piece.row, piece.text + piece.terminator, ShapeScan(piece, settings),
         ShapeSteps(piece, settings), static_cast<unsigned>(settings.CharDelay),
         !piece.terminatorTail);
  }
  pieces.clear();
}

void ReceptionRoad::Send(const serial::TComPort& port, int row, const std::wstring& received,
                         const std::wstring& shown, std::vector<KeyStep> steps,
                         unsigned charDelayMs, bool record) {
  if (row >= 1 && row <= 8) queued_[static_cast<std::size_t>(row - 1)] += CountKeystrokes(steps);
  TypeJob job;
  job.row = row;
  job.port = port.Port();
  job.componentName = port.Name();
  job.steps = std::move(steps);
  job.charDelayMs = charDelayMs;
  if (record) {
    Reception reception;
    reception.msOfDay = view_.LocalMsOfDay();
    reception.row = row;
    reception.port = job.port;
    reception.received = Bytes(received);
    reception.typed = shown;
    job.receptionId = record_.Add(std::move(reception));
  } else {
    record_.AppendToLatest(row, Bytes(received));
  }
  queue_.Enqueue(std::move(job));
}

void ReceptionRoad::JobDone(const TypeJob& job, const TypeJobResult& result) {
  if (job.row >= 1 && job.row <= 8) {
    std::size_t& queued = queued_[static_cast<std::size_t>(job.row - 1)];
    queued -= std::min(queued, CountKeystrokes(job.steps));
  }
  // The queue may have made a job's steps shorter (repeats and waits it
  // keeps to their ranges): nothing is queued once it is empty.
  if (queue_.Empty()) queued_.fill(0);
  ResumeReadingBelowHalf();
  if (job.receptionId != 0) {
    const auto& rows = record_.Rows();
    std::wstring typed;
    if (!rows.empty() && job.receptionId >= rows.front().id)
      if (const std::size_t at = static_cast<std::size_t>(job.receptionId - rows.front().id);
          at < rows.size())
        typed = rows[at].typed;
    const ReceptionOutcome outcome = result.outcome == ReceptionOutcome::typed && typed.empty()
                                         ? ReceptionOutcome::notTyped
                                         : result.outcome;
    record_.Settle(job.receptionId, outcome, std::move(typed), result.reason);
  }
  if (result.outcome != ReceptionOutcome::refused || result.reason.empty()) return;
  // The target runs with higher rights (or took nothing): the status bar
  // says so, and a balloon too while the program hides in the tray.
  view_.SetStatusText(result.reason);
  if (view_.ApplicationHidden()) view_.ShowInfoBalloon(L"Quillet", result.reason, 4000);
}

void ReceptionRoad::ArmScanTimer() {
  const auto next = assembler_.NextDeadline();
  if (!next) {
    view_.SetScanTimer(0);
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - view_.Now()).count();
  view_.SetScanTimer(static_cast<unsigned>(std::max<std::int64_t>(wait, 1)));
}

void ReceptionRoad::Flush(int row) {
  serial::TComPort* port = ports_.at(static_cast<std::size_t>(row - 1));
  const bool open = port != nullptr && port->Connected();
  closing_.at(static_cast<std::size_t>(row - 1)) = open;
  std::vector<ScanPiece> pieces;
  if (assembler_.Pending(row) && assembler_.EndsAtTerminator(row)) {
    // Typed now, the piece would run into the next text typed on the
    // target's line, another port's scan even: it ends at its terminator,
    // or is not typed.
    if (open) FinishScanBeforeClose(row, *port, pieces);
    TypePieces(pieces);
    if (assembler_.Pending(row)) SetAsideCut(row);
    // Before the close the port keeps its terminators in mind: a delivery
    // served during the close may still cut a scan.
    if (open) {
      ArmScanTimer();
      return;
    }
  }
  assembler_.Flush(row, pieces);
  TypePieces(pieces);
  ArmScanTimer();
}

void ReceptionRoad::FinishScanBeforeClose(int row, serial::TComPort& port,
                                          std::vector<ScanPiece>& pieces) {
  // The driver is asked directly where it can be, so no hand-over makes a
  // byte late: the short gap of quiet tells a device that stopped.
  constexpr unsigned kLookMs = 2;
  const auto gap = GapOf(port);
  const auto start = view_.Now();
  const auto realStart = std::chrono::steady_clock::now();
  const auto most = std::chrono::milliseconds(kFinishAtCloseMs);
  auto last = start;
  while (assembler_.Pending(row)) {
    const auto now = view_.Now();
    int waiting = 0;
    std::wstring byte;
    try {
      waiting = port.InputCount();
      if (waiting > 0) port.ReadStr(byte, 1);
    } catch (...) {
      return;  // a device that is gone sends nothing more
    }
    if (!byte.empty()) {
      assembler_.Receive(row, byte, now, gap, pieces);
      last = now;
      continue;
    }
    if (waiting > 0) {
      // Counted but not readable: a port whose event thread reads the device
      // holds them until its delivery, which is served here (its handler
      // frames them, as any delivery during a close). They have come, so
      // the gap does not run; the thread hands over within its longest hold.
      if (std::chrono::steady_clock::now() - realStart >= most) return;
      if (!serial::CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      last = view_.Now();
      continue;
    }
    if (now - last >= gap || now - start >= most) return;
    view_.WaitWhileClosing(kLookMs);
  }
}

void ReceptionRoad::SetAsideCut(int row) {
  const serial::TComPort* port = ports_.at(static_cast<std::size_t>(row - 1));
  const std::wstring piece = assembler_.TakePending(row);
  ++cut_at_close_;
  Reception reception;
  reception.msOfDay = view_.LocalMsOfDay();
  reception.row = row;
  if (port != nullptr) reception.port = port->Port();
  reception.received = Bytes(piece);
  reception.outcome = ReceptionOutcome::cut;
  record_.Add(std::move(reception));
  const std::wstring who = port != nullptr ? PortTitle(*port) : L"Row " + std::to_wstring(row);
  view_.SetStatusText(who + L": a scan cut off by closing the port was not typed (" +
                      std::to_wstring(cut_at_close_) + L" so far)");
}

void ReceptionRoad::KeepScansWhoseBytesWait(ScanClock::time_point now, int except_row) {
  // A scan whose next bytes already wait in the driver has not ended: the
  // user-interface thread was only late to hear of them (another port's
  // delivery, Wine's polling of the line).
  for (int row = 1; row <= 8; ++row) {
    serial::TComPort* port = ports_[static_cast<std::size_t>(row - 1)];
    if (row == except_row || port == nullptr || !assembler_.Pending(row) || !port->Connected())
      continue;
    int waiting = 0;
    try {
      waiting = port->InputCount();
    } catch (...) {
      // A device that is gone holds nothing more for this scan.
    }
    if (waiting > 0) assembler_.StillArriving(row, now, GapOf(*port));
  }
}

void ReceptionRoad::ScanTimerTimer() {
  const auto now = view_.Now();
  KeepScansWhoseBytesWait(now, 0);
  std::vector<ScanPiece> pieces;
  assembler_.Expire(now, pieces);
  TypePieces(pieces);
  ArmScanTimer();
}

void ReceptionRoad::Close() {
  // Once: the window's logic closes it at WM_DESTROY and again when it goes.
  if (closed_) return;
  closed_ = true;
  std::vector<ScanPiece> pieces;
  assembler_.FlushAll(pieces);
  TypePieces(pieces);
  view_.SetScanTimer(0);
  queue_.Close();
}

}  // namespace quillet::app::reception
