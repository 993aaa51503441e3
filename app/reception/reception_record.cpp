#include "app/reception/reception_record.h"

#include <algorithm>
#include <utility>

namespace quillet::app::reception {

namespace {

constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

void AppendHexByte(std::wstring& out, unsigned value) {
  out += kHexDigits[(value >> 4) & 0xF];
  out += kHexDigits[value & 0xF];
}

// A code unit as the list shows it: the controls a scanner sends by name,
// other controls (C0, DEL and the C1 range) as "<0x..>", the rest as is.
// Controls never reach the text raw, so a tab or a line break in what
// arrived cannot split a column of the copied text.
void AppendShown(std::wstring& out, unsigned unit) {
  switch (unit) {
    case 0x09:
      out += L"<TAB>";
      return;
    case 0x0A:
      out += L"<LF>";
      return;
    case 0x0D:
      out += L"<CR>";
      return;
    case 0x1B:
      out += L"<ESC>";
      return;
    case 0x1D:
      out += L"<GS>";
      return;
    default:
      break;
  }
  if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
    out += L"<0x";
    AppendHexByte(out, unit);
    out += L'>';
    return;
  }
  out += static_cast<wchar_t>(unit);
}

std::wstring Shown(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t unit : text) AppendShown(out, static_cast<unsigned>(unit));
  return out;
}

}  // namespace

std::uint64_t ReceptionRecord::Add(Reception reception) {
  reception.id = next_id_++;
  if (reception.received.size() > kMaxBytes) {
    reception.received.resize(kMaxBytes);
    reception.receivedCut = true;
  }
  rows_.push_back(std::move(reception));
  while (rows_.size() > kCapacity) rows_.pop_front();
  ++version_;
  if (OnChange) OnChange();
  return rows_.back().id;
}

void ReceptionRecord::Settle(std::uint64_t id, ReceptionOutcome outcome, std::wstring typed,
                             std::wstring reason) {
  // Ids count up along the ring, so a row's place follows from its id.
  if (rows_.empty() || id < rows_.front().id || id > rows_.back().id) return;
  Reception& row = rows_[static_cast<std::size_t>(id - rows_.front().id)];
  row.outcome = outcome;
  row.typed = std::move(typed);
  row.reason = std::move(reason);
  ++version_;
  if (OnChange) OnChange();
}

void ReceptionRecord::AppendToLatest(int row, std::string_view bytes) {
  for (auto it = rows_.rbegin(); it != rows_.rend(); ++it) {
    if (it->row != row) continue;
    const std::size_t room = kMaxBytes - std::min(kMaxBytes, it->received.size());
    it->received.append(bytes.substr(0, room));
    if (bytes.size() > room) it->receivedCut = true;
    ++version_;
    if (OnChange) OnChange();
    return;
  }
}

void ReceptionRecord::Clear() {
  // Ids go on counting: a scan still being typed settles nothing after a Clear.
  rows_.clear();
  ++version_;
  if (OnChange) OnChange();
}

std::wstring RenderBytes(std::string_view bytes, bool hex) {
  std::wstring out;
  if (hex) {
    out.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
      if (!out.empty()) out += L' ';
      AppendHexByte(out, static_cast<unsigned char>(byte));
    }
    return out;
  }
  out.reserve(bytes.size());
  // One code unit per byte, as the port reads text.
  for (const char byte : bytes) AppendShown(out, static_cast<unsigned char>(byte));
  return out;
}

std::wstring RenderReceived(const Reception& reception, bool hex) {
  std::wstring out = RenderBytes(reception.received, hex);
  if (reception.receivedCut) out += L" \u2026";
  return out;
}

std::wstring RenderTime(std::uint32_t msOfDay) {
  msOfDay %= 24u * 60u * 60u * 1000u;
  const unsigned fields[] = {msOfDay / 3600000u, msOfDay / 60000u % 60u, msOfDay / 1000u % 60u};
  std::wstring out;
  for (const unsigned field : fields) {
    if (!out.empty()) out += L':';
    out += static_cast<wchar_t>(L'0' + field / 10);
    out += static_cast<wchar_t>(L'0' + field % 10);
  }
  const unsigned ms = msOfDay % 1000u;
  out += L'.';
  out += static_cast<wchar_t>(L'0' + ms / 100);
  out += static_cast<wchar_t>(L'0' + ms / 10 % 10);
  out += static_cast<wchar_t>(L'0' + ms % 10);
  return out;
}

std::wstring RenderRowAndPort(const Reception& reception) {
  std::wstring out = std::to_wstring(reception.row);
  if (!reception.port.empty()) out += L" (" + Shown(reception.port) + L")";
  return out;
}

std::wstring RenderOutcome(const Reception& reception) {
  // Why, then the shaped text that was to be typed, when there was one.
  const auto because = [&reception](std::wstring_view fallback) {
    std::wstring out = L"Not typed: ";
    out += reception.reason.empty() ? std::wstring(fallback) : Shown(reception.reason);
    if (!reception.typed.empty()) out += L" (" + Shown(reception.typed) + L")";
    return out;
  };
  switch (reception.outcome) {
    case ReceptionOutcome::pending:
      return L"(waiting to be typed)";
    case ReceptionOutcome::typed:
      if (reception.typed.empty()) return L"(nothing to type)";
      return Shown(reception.typed);
    case ReceptionOutcome::refused:
      return because(L"the target window refused the keys");
    case ReceptionOutcome::portClosed:
      return because(L"the port closed first");
    case ReceptionOutcome::cut:
      return because(L"cut off when the port closed");
    case ReceptionOutcome::notTyped:
      if (!reception.reason.empty()) return L"Nothing to type: " + Shown(reception.reason);
      return L"(nothing to type)";
  }
  return {};
}

std::wstring RenderForClipboard(const std::deque<Reception>& rows, bool hex) {
  std::wstring out = L"Time\tRow\tPort\tReceived\tTyped\r\n";
  for (const Reception& row : rows) {
    out += RenderTime(row.msOfDay);
    out += L'\t';
    out += std::to_wstring(row.row);
    out += L'\t';
    out += Shown(row.port);
    out += L'\t';
    out += RenderReceived(row, hex);
    out += L'\t';
    out += RenderOutcome(row);
    out += L"\r\n";
  }
  return out;
}

}  // namespace quillet::app::reception
