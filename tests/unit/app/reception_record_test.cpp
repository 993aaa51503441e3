// The record behind the Monitor window: its bound, settling, clearing, and
// how a reception is shown and copied.
#include "app/reception/reception_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quillet::app::reception {
namespace {

Reception Arrived(int row, std::string bytes, std::uint32_t ms = 0) {
  Reception reception;
  reception.msOfDay = ms;
  reception.row = row;
  reception.port = L"COM" + std::to_wstring(row + 6);
  reception.received = std::move(bytes);
  return reception;
}

TEST(ReceptionRecord, KeepsTheLastRowsAndSettlesOnlyThoseItStillHas) {
  ReceptionRecord record;
  int changes = 0;
  record.OnChange = [&changes] { ++changes; };
  std::vector<std::uint64_t> ids;
  for (std::size_t i = 0; i < ReceptionRecord::kCapacity + 3; ++i)
    ids.push_back(record.Add(Arrived(1, "code" + std::to_string(i) + "\r")));
  ASSERT_EQ(record.Rows().size(), ReceptionRecord::kCapacity);
  EXPECT_EQ(record.Rows().front().received, "code3\r");  // the three oldest went
  EXPECT_EQ(record.Rows().back().received, "code502\r");
  EXPECT_EQ(record.Rows().back().id, ids.back());
  EXPECT_EQ(changes, 503);

  // A scan whose row was dropped while it was typed settles nothing.
  const auto version = record.Version();
  record.Settle(ids[1], ReceptionOutcome::typed, L"code1\r");
  record.Settle(ids.back() + 1, ReceptionOutcome::typed, L"never added");
  EXPECT_EQ(record.Version(), version);
  EXPECT_EQ(changes, 503);
  for (const Reception& row : record.Rows()) EXPECT_EQ(row.outcome, ReceptionOutcome::pending);

  // Rows still kept settle by id, wherever the ring has moved them.
  record.Settle(ids[3], ReceptionOutcome::typed, L"code3\r");
  record.Settle(ids[400], ReceptionOutcome::refused, {}, L"Elevated window");
  EXPECT_NE(record.Version(), version);
  EXPECT_EQ(changes, 505);
  EXPECT_EQ(record.Rows().front().outcome, ReceptionOutcome::typed);
  EXPECT_EQ(record.Rows().front().typed, L"code3\r");
  const Reception& refused = record.Rows()[400 - 3];
  EXPECT_EQ(refused.id, ids[400]);
  EXPECT_EQ(refused.outcome, ReceptionOutcome::refused);
  EXPECT_EQ(refused.reason, L"Elevated window");
}

TEST(ReceptionRecord, ClearEmptiesItAndAScanTypedAcrossItSettlesNothingNew) {
  ReceptionRecord record;
  const auto before = record.Add(Arrived(2, "A1\r"));
  const auto version = record.Version();
  record.Clear();
  EXPECT_TRUE(record.Rows().empty());
  EXPECT_NE(record.Version(), version);

  const auto after = record.Add(Arrived(3, "B2\n"));
  EXPECT_GT(after, before);
  record.Settle(before, ReceptionOutcome::portClosed);
  ASSERT_EQ(record.Rows().size(), 1u);
  EXPECT_EQ(record.Rows().front().outcome, ReceptionOutcome::pending);
  record.Clear();
  record.Settle(after, ReceptionOutcome::typed, L"B2\n");
  EXPECT_TRUE(record.Rows().empty());
}

TEST(ReceptionRecord, TheRestOfACrLfThatCameApartJoinsItsPortsLatestScan) {
  ReceptionRecord record;
  record.AppendToLatest(1, "\n");  // nothing of row 1 yet
  EXPECT_TRUE(record.Rows().empty());
  record.Add(Arrived(1, "A1\r"));
  record.Add(Arrived(2, "B2\r"));
  const auto version = record.Version();
  record.AppendToLatest(1, "\n");
  EXPECT_EQ(record.Rows()[0].received, "A1\r\n");
  EXPECT_EQ(record.Rows()[1].received, "B2\r");
  EXPECT_NE(record.Version(), version);

  record.Add(Arrived(3, std::string(ReceptionRecord::kMaxBytes - 1, 'x')));
  record.AppendToLatest(3, "\r\n");
  EXPECT_EQ(record.Rows()[2].received.size(), ReceptionRecord::kMaxBytes);
  EXPECT_EQ(record.Rows()[2].received.back(), '\r');
  EXPECT_TRUE(record.Rows()[2].receivedCut);
}

TEST(ReceptionRecord, KeepsOnlyTheFirstBytesOfAnEndlessStream) {
  ReceptionRecord record;
  record.Add(Arrived(1, std::string(ReceptionRecord::kMaxBytes, 'x')));
  record.Add(Arrived(1, std::string(ReceptionRecord::kMaxBytes + 1, 'y')));
  const auto& rows = record.Rows();
  EXPECT_FALSE(rows[0].receivedCut);
  EXPECT_EQ(rows[0].received.size(), ReceptionRecord::kMaxBytes);
  EXPECT_TRUE(rows[1].receivedCut);
  EXPECT_EQ(rows[1].received.size(), ReceptionRecord::kMaxBytes);
  EXPECT_EQ(RenderReceived(rows[1], false),
            std::wstring(ReceptionRecord::kMaxBytes, L'y') + L" \u2026");
  EXPECT_EQ(RenderReceived(rows[0], false), std::wstring(ReceptionRecord::kMaxBytes, L'x'));
}

// How every byte a port can deliver is shown, 0x00 to 0xFF.
// clang-format off
const wchar_t* const kEveryByte[256] = {
    /* 00 */ L"<0x00>", L"<0x01>", L"<0x02>", L"<0x03>", L"<0x04>", L"<0x05>", L"<0x06>", L"<0x07>",
    /* 08 */ L"<0x08>", L"<TAB>", L"<LF>", L"<0x0B>", L"<0x0C>", L"<CR>", L"<0x0E>", L"<0x0F>",
    /* 10 */ L"<0x10>", L"<0x11>", L"<0x12>", L"<0x13>", L"<0x14>", L"<0x15>", L"<0x16>", L"<0x17>",
    /* 18 */ L"<0x18>", L"<0x19>", L"<0x1A>", L"<ESC>", L"<0x1C>", L"<GS>", L"<0x1E>", L"<0x1F>",
    /* 20 */ L" ", L"!", L"\"", L"#", L"$", L"%", L"&", L"'",
    /* 28 */ L"(", L")", L"*", L"+", L",", L"-", L".", L"/",
    /* 30 */ L"0", L"1", L"2", L"3", L"4", L"5", L"6", L"7",
    /* 38 */ L"8", L"9", L":", L";", L"<", L"=", L">", L"?",
    /* 40 */ L"@", L"A", L"B", L"C", L"D", L"E", L"F", L"G",
    /* 48 */ L"H", L"I", L"J", L"K", L"L", L"M", L"N", L"O",
    /* 50 */ L"P", L"Q", L"R", L"S", L"T", L"U", L"V", L"W",
    /* 58 */ L"X", L"Y", L"Z", L"[", L"\\", L"]", L"^", L"_",
    /* 60 */ L"`", L"a", L"b", L"c", L"d", L"e", L"f", L"g",
    /* 68 */ L"h", L"i", L"j", L"k", L"l", L"m", L"n", L"o",
    /* 70 */ L"p", L"q", L"r", L"s", L"t", L"u", L"v", L"w",
    /* 78 */ L"x", L"y", L"z", L"{", L"|", L"}", L"~", L"<0x7F>",
    /* 80 */ L"<0x80>", L"<0x81>", L"<0x82>", L"<0x83>", L"<0x84>", L"<0x85>", L"<0x86>", L"<0x87>",
    /* 88 */ L"<0x88>", L"<0x89>", L"<0x8A>", L"<0x8B>", L"<0x8C>", L"<0x8D>", L"<0x8E>", L"<0x8F>",
    /* 90 */ L"<0x90>", L"<0x91>", L"<0x92>", L"<0x93>", L"<0x94>", L"<0x95>", L"<0x96>", L"<0x97>",
    /* 98 */ L"<0x98>", L"<0x99>", L"<0x9A>", L"<0x9B>", L"<0x9C>", L"<0x9D>", L"<0x9E>", L"<0x9F>",
    /* A0 */ L"\u00A0", L"\u00A1", L"\u00A2", L"\u00A3", L"\u00A4", L"\u00A5", L"\u00A6", L"\u00A7",
    /* A8 */ L"\u00A8", L"\u00A9", L"\u00AA", L"\u00AB", L"\u00AC", L"\u00AD", L"\u00AE", L"\u00AF",
    /* B0 */ L"\u00B0", L"\u00B1", L"\u00B2", L"\u00B3", L"\u00B4", L"\u00B5", L"\u00B6", L"\u00B7",
    /* B8 */ L"\u00B8", L"\u00B9", L"\u00BA", L"\u00BB", L"\u00BC", L"\u00BD", L"\u00BE", L"\u00BF",
    /* C0 */ L"\u00C0", L"\u00C1", L"\u00C2", L"\u00C3", L"\u00C4", L"\u00C5", L"\u00C6", L"\u00C7",
    /* C8 */ L"\u00C8", L"\u00C9", L"\u00CA", L"\u00CB", L"\u00CC", L"\u00CD", L"\u00CE", L"\u00CF",
    /* D0 */ L"\u00D0", L"\u00D1", L"\u00D2", L"\u00D3", L"\u00D4", L"\u00D5", L"\u00D6", L"\u00D7",
    /* D8 */ L"\u00D8", L"\u00D9", L"\u00DA", L"\u00DB", L"\u00DC", L"\u00DD", L"\u00DE", L"\u00DF",
    /* E0 */ L"\u00E0", L"\u00E1", L"\u00E2", L"\u00E3", L"\u00E4", L"\u00E5", L"\u00E6", L"\u00E7",
    /* E8 */ L"\u00E8", L"\u00E9", L"\u00EA", L"\u00EB", L"\u00EC", L"\u00ED", L"\u00EE", L"\u00EF",
    /* F0 */ L"\u00F0", L"\u00F1", L"\u00F2", L"\u00F3", L"\u00F4", L"\u00F5", L"\u00F6", L"\u00F7",
    /* F8 */ L"\u00F8", L"\u00F9", L"\u00FA", L"\u00FB", L"\u00FC", L"\u00FD", L"\u00FE", L"\u00FF",
};
// clang-format on

TEST(ReceptionRender, ShowsEveryByteByNameOrCodeOrAsTheCharacterItIs) {
  std::string all;
  std::wstring expected_all;
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    EXPECT_EQ(RenderBytes(byte, false), kEveryByte[value]) << "byte " << value;
    all += byte;
    expected_all += kEveryByte[value];
  }
  EXPECT_EQ(RenderBytes(all, false), expected_all);

  std::wstring hex;
  for (int value = 0; value < 256; ++value) {
    char figure[4];
    std::snprintf(figure, sizeof figure, value == 0 ? "%02X" : " %02X", value);
    hex += std::wstring(figure, figure + std::char_traits<char>::length(figure));
  }
  EXPECT_EQ(RenderBytes(all, true), hex);
  EXPECT_EQ(RenderBytes("", true), L"");
  EXPECT_EQ(RenderBytes("]C1QLT-0001\r\n", false), L"]C1QLT-0001<CR><LF>");
  EXPECT_EQ(RenderBytes("A1\r", true), L"41 31 0D");
}

TEST(ReceptionRender, TimeOfDay) {
  const struct {
    std::uint32_t ms;
    const wchar_t* shown;
  } cases[] = {
      {0, L"00:00:00.000"},        {7, L"00:00:00.007"},        {45296789, L"12:34:56.789"},
      {86399999, L"23:59:59.999"}, {86400000, L"00:00:00.000"},  // midnight of the next day
  };
  for (const auto& c : cases) EXPECT_EQ(RenderTime(c.ms), c.shown) << c.ms;
}

TEST(ReceptionRender, WhatWasTypedOrWhyNot) {
  const struct {
    ReceptionOutcome outcome;
    const wchar_t* typed;
    const wchar_t* reason;
    const wchar_t* shown;
  } cases[] = {
      {ReceptionOutcome::pending, L"", L"", L"(waiting to be typed)"},
      {ReceptionOutcome::typed, L"{F2}A1\t", L"", L"{F2}A1<TAB>"},
      {ReceptionOutcome::typed, L"", L"", L"(nothing to type)"},
      {ReceptionOutcome::refused, L"", L"", L"Not typed: the target window refused the keys"},
      {ReceptionOutcome::refused, L"", L"Admin console\r\n", L"Not typed: Admin console<CR><LF>"},
      {ReceptionOutcome::refused, L"QLT", L"Elevated window", L"Not typed: Elevated window (QLT)"},
      {ReceptionOutcome::portClosed, L"", L"", L"Not typed: the port closed first"},
      {ReceptionOutcome::notTyped, L"", L"", L"(nothing to type)"},
      {ReceptionOutcome::notTyped, L"", L"the range kept nothing",
       L"Nothing to type: the range kept nothing"},
  };
  for (const auto& c : cases) {
    Reception reception = Arrived(1, "x");
    reception.outcome = c.outcome;
    reception.typed = c.typed;
    reception.reason = c.reason;
    EXPECT_EQ(RenderOutcome(reception), c.shown) << c.shown;
  }
  Reception row = Arrived(2, "A");
  EXPECT_EQ(RenderRowAndPort(row), L"2 (COM8)");
  row.port.clear();
  EXPECT_EQ(RenderRowAndPort(row), L"2");
}

TEST(ReceptionRender, ClipboardTextHasOneLinePerRowAndTabsOnlyBetweenColumns) {
  ReceptionRecord record;
  const auto first = record.Add(Arrived(1, "A\tB\r", 45296789));
  record.Add(Arrived(2,
                     "\x1D"
                     "01\n",
                     1));
  record.Settle(first, ReceptionOutcome::typed, L"A\tB{TAB}");
  record.Settle(first + 1, ReceptionOutcome::refused, {}, L"line one\nline two");

  EXPECT_EQ(RenderForClipboard(record.Rows(), false),
            L"Time\tRow\tPort\tReceived\tTyped\r\n"
            L"12:34:56.789\t1\tCOM7\tA<TAB>B<CR>\tA<TAB>B{TAB}\r\n"
            L"00:00:00.001\t2\tCOM8\t<GS>01<LF>\tNot typed: line one<LF>line two\r\n");
  EXPECT_EQ(RenderForClipboard(record.Rows(), true),
            L"Time\tRow\tPort\tReceived\tTyped\r\n"
            L"12:34:56.789\t1\tCOM7\t41 09 42 0D\tA<TAB>B{TAB}\r\n"
            L"00:00:00.001\t2\tCOM8\t1D 30 31 0A\tNot typed: line one<LF>line two\r\n");
  EXPECT_EQ(RenderForClipboard({}, false), L"Time\tRow\tPort\tReceived\tTyped\r\n");
}

}  // namespace
}  // namespace quillet::app::reception
