// The record behind the Monitor window: the last receptions of every row,
// what arrived and what was typed of it. Memory only, never written to disk
// (scans can be personal data), dropped at exit. A bounded ring: keeping it
// while the window is closed costs its rows and nothing per byte beyond them.
//
// The reception road adds a row per scan (per delivery where text is typed
// as read) and settles its outcome when the typing is done; the window only
// reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace quillet::app::reception {

enum class ReceptionOutcome : std::uint8_t {
  pending,     // queued to type (a paced scan still being typed)
  typed,       // every key was sent
  refused,     // the target would not take it; `reason` says which window
  portClosed,  // the port closed before the scan could be typed
  notTyped,    // nothing to type (an empty scan, a range that kept nothing)
  cut,         // the port closed in the middle of the scan: a piece, kept from typing
};

struct Reception {
  std::uint64_t id = 0;       // given by Add, counts up from 1
  std::uint32_t msOfDay = 0;  // local time of arrival, ms after midnight
  int row = 0;                // 1..8
  std::wstring port;          // "COM7"
  std::string received;       // the bytes as they arrived, terminator included
  bool receivedCut = false;   // only the first kMaxBytes were kept
  std::wstring typed;         // the shaped text, key names in braces as configured
  ReceptionOutcome outcome = ReceptionOutcome::pending;
  std::wstring reason;  // why nothing (or not all) was typed
};

class ReceptionRecord {
 public:
  static constexpr std::size_t kCapacity = 500;
  static constexpr std::size_t kMaxBytes = 4096;

  // Adds a row (its id and the cut are set here), dropping the oldest beyond
  // kCapacity. Returns the row's id.
  std::uint64_t Add(Reception reception);
  // Settles a row; a row already dropped from the ring is ignored.
  void Settle(std::uint64_t id, ReceptionOutcome outcome, std::wstring typed = {},
              std::wstring reason = {});
  void Clear();
  // Bytes that belong to the newest kept reception of `row` (the LF of a
  // CR LF that came apart): added to what it received, within kMaxBytes.
  // Nothing happens when the ring holds no reception of that row.
  void AppendToLatest(int row, std::string_view bytes);

  // Oldest first.
  const std::deque<Reception>& Rows() const { return rows_; }
  // Changes on every Add, Settle and Clear: a view redraws when it differs.
  std::uint64_t Version() const { return version_; }
  // Called after every change, on the user-interface thread; may be empty.
  std::function<void()> OnChange;

 private:
  std::deque<Reception> rows_;
  std::uint64_t next_id_ = 1;
  std::uint64_t version_ = 0;
};

// "<CR>", "<LF>", "<TAB>", "<ESC>", "<GS>" and other control bytes (below
// 0x20, 0x7F and 0x80..0x9F) as "<0x1C>"; printable bytes as the characters
// they are (one code unit per byte, as the port reads text). With `hex`,
// every byte as two upper-case hex digits separated by blanks.
std::wstring RenderBytes(std::string_view bytes, bool hex);
// The received column: RenderBytes, and " \u2026" after a row whose bytes
// were cut.
std::wstring RenderReceived(const Reception& reception, bool hex);
// "2 (COM8)": the row and its port.
std::wstring RenderRowAndPort(const Reception& reception);
// "hh:mm:ss.mmm".
std::wstring RenderTime(std::uint32_t msOfDay);
// What the outcome column shows: the typed text (its controls shown as in
// RenderBytes), or why it was not typed followed by the text in brackets.
std::wstring RenderOutcome(const Reception& reception);
// Every row as tab-separated text, one line each (CR LF), for the clipboard,
// after a header line (Time, Row, Port, Received, Typed). No field holds a
// raw tab or line break.
std::wstring RenderForClipboard(const std::deque<Reception>& rows, bool hex);

}  // namespace quillet::app::reception
