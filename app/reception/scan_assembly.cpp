#include "app/reception/scan_assembly.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillet::app::reception {

std::chrono::microseconds ScanGap(int bitsPerSecond, int dataBits, bool parity, double stopBits) {
  constexpr std::chrono::microseconds kFloor = std::chrono::milliseconds(50);
  if (bitsPerSecond <= 0) return kFloor;
  const double bitsPerCharacter = 1.0 + dataBits + (parity ? 1.0 : 0.0) + stopBits;
  const auto gap = std::chrono::microseconds(
      static_cast<std::int64_t>(std::ceil(4.0 * bitsPerCharacter * 1e6 / bitsPerSecond)));
  return std::max(gap, kFloor);
}

ScanAssembler::Port& ScanAssembler::PortOf(int row) {
  const auto found =
      std::find_if(ports_.begin(), ports_.end(), [row](const Port& p) { return p.row == row; });
  if (found != ports_.end()) return *found;
  Port port;
  port.row = row;
  ports_.push_back(std::move(port));
  return ports_.back();
}

std::chrono::microseconds ScanAssembler::GapOf(const Port& port, std::chrono::microseconds gap) {
  return port.terminatedInARow >= kSteadyScans ? std::max(gap, kSteadyGap) : gap;
}

void ScanAssembler::Complete(Port& port, std::wstring terminator, std::vector<ScanPiece>& out) {
  port.lastTerminated = !terminator.empty();
  if (terminator.empty()) {
    port.terminatedInARow = 0;
  } else if (port.terminatedInARow < kSteadyScans) {
    ++port.terminatedInARow;
  }
  out.push_back(ScanPiece{port.row, std::move(port.text), std::move(terminator), false});
  port.text.clear();
}

void ScanAssembler::Receive(int row, std::wstring_view text, ScanClock::time_point now,
                            std::chrono::microseconds gap, std::vector<ScanPiece>& out) {
  Port& port = PortOf(row);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t ch = text[i];
    if (port.afterCr) {
      port.afterCr = false;
      if (ch == L'\n') {
        out.push_back(ScanPiece{row, L"", L"\n", true});
        continue;
      }
    }
    if (ch == L'\r') {
      // CR completes the scan at once; an LF in the same batch joins it.
      if (i + 1 < text.size() && text[i + 1] == L'\n') {
        Complete(port, L"\r\n", out);
        ++i;
      } else {
        Complete(port, L"\r", out);
        port.afterCr = true;
      }
    } else if (ch == L'\n') {
      Complete(port, L"\n", out);
    } else {
      port.text.push_back(ch);
      if (port.text.size() >= kMaxPiece) Complete(port, L"", out);
    }
  }
  if (!port.text.empty()) port.deadline = now + GapOf(port, gap);
}

void ScanAssembler::TypedDirectly(int row, std::wstring_view text) {
  if (text.empty()) return;
  Port& port = PortOf(row);
  // Everything before was typed with it; a lone LF after a CR of it is that
  // CR's tail.
  port.text.clear();
  port.afterCr = text.back() == L'\r';
}

void ScanAssembler::AppendInDeadlineOrder(std::vector<Port*> due, std::vector<ScanPiece>& out) {
  std::stable_sort(due.begin(), due.end(),
                   [](const Port* a, const Port* b) { return a->deadline < b->deadline; });
  for (Port* port : due) Complete(*port, L"", out);
}

void ScanAssembler::Expire(ScanClock::time_point now, std::vector<ScanPiece>& out, int keepRow) {
  std::vector<Port*> due;
  for (Port& port : ports_)
    if (port.row != keepRow && !port.text.empty() && port.deadline <= now) due.push_back(&port);
  AppendInDeadlineOrder(std::move(due), out);
}

void ScanAssembler::StillArriving(int row, ScanClock::time_point now,
                                  std::chrono::microseconds gap) {
  for (Port& port : ports_)
    if (port.row == row && !port.text.empty()) port.deadline = now + GapOf(port, gap);
}

void ScanAssembler::Flush(int row, std::vector<ScanPiece>& out) {
  for (Port& port : ports_) {
    if (port.row != row) continue;
    port.afterCr = false;
    if (!port.text.empty()) Complete(port, L"", out);
    port.terminatedInARow = 0;
  }
}

void ScanAssembler::FlushAll(std::vector<ScanPiece>& out) {
  std::vector<Port*> due;
  for (Port& port : ports_)
    if (!port.text.empty()) due.push_back(&port);
  AppendInDeadlineOrder(std::move(due), out);
}

bool ScanAssembler::EndsAtTerminator(int row) const {
  return std::any_of(ports_.begin(), ports_.end(),
                     [row](const Port& p) { return p.row == row && p.lastTerminated; });
}

std::wstring ScanAssembler::TakePending(int row) {
  for (Port& port : ports_)
    if (port.row == row) return std::exchange(port.text, std::wstring());
  return {};
}

std::optional<ScanClock::time_point> ScanAssembler::NextDeadline() const {
  std::optional<ScanClock::time_point> next;
  for (const Port& port : ports_)
    if (!port.text.empty() && (!next || port.deadline < *next)) next = port.deadline;
  return next;
}

bool ScanAssembler::Pending(int row) const {
  return std::any_of(ports_.begin(), ports_.end(),
                     [row](const Port& p) { return p.row == row && !p.text.empty(); });
}

std::size_t ScanAssembler::PendingLength(int row) const {
  for (const Port& p : ports_)
    if (p.row == row) return p.text.size();
  return 0;
}

namespace {

// Characters "from" to "to" of the scan. Positions count from 1; a stored
// value below 1 means no limit.
std::wstring_view KeptText(const ScanPiece& piece, const AdvancedFields& settings) {
  const std::size_t length = piece.text.size();
  const std::size_t from = settings.FOd > 0 ? static_cast<std::size_t>(settings.FOd) : 1;
  std::size_t to = length;
  if (settings.FDo > 0 && static_cast<std::size_t>(settings.FDo) >= from)
    to = std::min(length, static_cast<std::size_t>(settings.FDo));
  if (from > to) return {};
  return std::wstring_view(piece.text).substr(from - 1, to - from + 1);
}

std::wstring Ending(const ScanPiece& piece, const AdvancedFields& settings) {
  if (!settings.FEnter && !settings.FLF) return piece.terminator;
  std::wstring ending;
  if (settings.FEnter) ending += L'\r';
  if (settings.FLF) ending += L'\n';
  return ending;
}

void AppendScript(std::vector<KeyStep>& steps, std::wstring_view script) {
  for (KeyStep& step : ParseKeyScript(script)) {
    if (step.kind == KeyStep::Kind::Text) {
      AppendText(steps, step.text);
    } else {
      steps.push_back(std::move(step));
    }
  }
}

}  // namespace

std::wstring ShapeScan(const ScanPiece& piece, const AdvancedFields& settings) {
  const bool ownEnding = !settings.FEnter && !settings.FLF;
  if (piece.terminatorTail) return ownEnding ? piece.terminator : std::wstring();
  std::wstring shaped;
  if (settings.FIncPrefiks) shaped += settings.FPrefiks;
  shaped += KeptText(piece, settings);
  if (settings.FIncSufiks) shaped += settings.FSufiks;
  return shaped + Ending(piece, settings);
}

std::vector<KeyStep> ShapeSteps(const ScanPiece& piece, const AdvancedFields& settings) {
  std::vector<KeyStep> steps;
  const bool ownEnding = !settings.FEnter && !settings.FLF;
  if (piece.terminatorTail) {
    if (ownEnding) AppendText(steps, piece.terminator);
    return steps;
  }
  if (settings.FIncPrefiks) AppendScript(steps, settings.FPrefiks);
  AppendText(steps, KeptText(piece, settings));
  if (settings.FIncSufiks) AppendScript(steps, settings.FSufiks);
  AppendText(steps, Ending(piece, settings));
  return steps;
}

}  // namespace quillet::app::reception
