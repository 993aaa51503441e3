// Framing received text into whole scans, and what the advanced settings make
// of a scan, with an injected clock.
#include "app/reception/scan_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::app::reception {
namespace {

using namespace std::chrono_literals;
using Pieces = std::vector<ScanPiece>;

constexpr std::chrono::microseconds kGap = 50ms;
const ScanClock::time_point kStart{};

ScanPiece Scan(int row, std::wstring text, std::wstring terminator) {
  return ScanPiece{row, std::move(text), std::move(terminator), false};
}

std::wstring Whole(const ScanPiece& piece) {
  return piece.text + piece.terminator;
}

TEST(ScanAssembly, DeliveriesSplitAtEveryByteAcrossPortsGiveWholeScansInCompletionOrder) {
  const std::vector<std::vector<std::wstring>> port_sets = {
      {L"QLT-0001\r", L"SLOW-SCAN-22\n"},
      {L"A1\r\n", L"BB-22\r", L"CCC-333\n"},
  };
  for (const auto& codes : port_sets) {
    std::size_t longest = 0;
    for (const auto& code : codes) longest = std::max(longest, code.size());
    for (std::size_t split = 0; split <= longest; ++split) {
      ScanAssembler assembler;
      Pieces out;
      std::vector<std::wstring> expected_order;
      auto now = kStart;
      // Every port delivers its first part, then every port its rest: the
      // batches of the ports alternate, as the event threads hand them over.
      for (int half = 0; half < 2; ++half) {
        for (std::size_t p = 0; p < codes.size(); ++p) {
          const std::wstring& code = codes[p];
          const std::size_t cut = std::min(split, code.size());
          const std::wstring part = half == 0 ? code.substr(0, cut) : code.substr(cut);
          now += 1ms;
          assembler.Receive(static_cast<int>(p + 1), part, now, kGap, out);
          // A CR LF code completes at its CR: the LF may follow as its tail.
          const std::size_t end = code.find_first_of(L"\r\n");
          if (half == 0 ? end < cut : end >= cut) expected_order.push_back(code);
        }
      }
      std::vector<std::wstring> typed;
      for (const ScanPiece& piece : out) {
        if (piece.terminatorTail) {
          ASSERT_FALSE(typed.empty());
          typed.back() += piece.terminator;  // typed right after its CR
        } else {
          typed.push_back(Whole(piece));
          EXPECT_EQ(codes.at(piece.row - 1).substr(0, Whole(piece).size()), Whole(piece))
              << "split " << split;
        }
      }
      EXPECT_EQ(typed, expected_order) << "split " << split << " of " << codes.size() << " ports";
      EXPECT_FALSE(assembler.NextDeadline()) << "split " << split;
    }
  }
}

TEST(ScanAssembly, TerminatorsAndTheGapEndAScan) {
  ScanAssembler assembler;
  Pieces out;
  assembler.Receive(1, L"AB\rCD\nEF\r\nGH\r", kStart, kGap, out);
  EXPECT_EQ(out, (Pieces{Scan(1, L"AB", L"\r"), Scan(1, L"CD", L"\n"), Scan(1, L"EF", L"\r\n"),
                         Scan(1, L"GH", L"\r")}));
  out.clear();

  // The LF of a CR LF that came apart is the CR's tail, never a scan.
  assembler.Receive(1, L"\nIJ", kStart + 1ms, kGap, out);
  EXPECT_EQ(out, (Pieces{ScanPiece{1, L"", L"\n", true}}));
  out.clear();

  // IJ has no terminator: it waits for the gap, counted from its last byte.
  ASSERT_EQ(assembler.NextDeadline(), kStart + 1ms + kGap);
  assembler.Receive(1, L"K", kStart + 30ms, kGap, out);
  assembler.Expire(kStart + 30ms + kGap - 1us, out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(assembler.Pending(1));
  assembler.Expire(kStart + 30ms + kGap, out);
  EXPECT_EQ(out, (Pieces{Scan(1, L"IJK", L"")}));
  EXPECT_FALSE(assembler.NextDeadline());

  // A CR followed by anything but LF leaves no tail behind.
  out.clear();
  assembler.Receive(2, L"X\r", kStart, kGap, out);
  assembler.Receive(2, L"Y\n", kStart, kGap, out);
  assembler.Receive(2, L"\n", kStart, kGap, out);
  EXPECT_EQ(out, (Pieces{Scan(2, L"X", L"\r"), Scan(2, L"Y", L"\n"), Scan(2, L"", L"\n")}));
}

TEST(ScanAssembly, ScansEndedByTheGapCompleteInTheOrderTheirGapsEnded) {
  ScanAssembler assembler;
  Pieces out;
  assembler.Receive(1, L"FIRST", kStart, 100ms, out);
  assembler.Receive(2, L"SECOND", kStart + 10ms, 50ms, out);  // its gap ends first
  assembler.Receive(3, L"THIRD", kStart + 20ms, 50ms, out);
  EXPECT_EQ(assembler.NextDeadline(), kStart + 60ms);
  assembler.Expire(kStart + 200ms, out);  // a late timer
  EXPECT_EQ(out, (Pieces{Scan(2, L"SECOND", L""), Scan(3, L"THIRD", L""), Scan(1, L"FIRST", L"")}));

  // A port whose bytes are still coming keeps its scan open.
  out.clear();
  assembler.Receive(1, L"KEEP", kStart, 50ms, out);
  assembler.Receive(2, L"DONE", kStart, 50ms, out);
  assembler.Expire(kStart + 80ms, out, 1);
  EXPECT_EQ(out, (Pieces{Scan(2, L"DONE", L"")}));
  assembler.StillArriving(1, kStart + 80ms, 50ms);
  assembler.Expire(kStart + 129ms, out);
  EXPECT_EQ(out.size(), 1u);
  assembler.Expire(kStart + 130ms, out);
  EXPECT_EQ(out.back(), Scan(1, L"KEEP", L""));
}

TEST(ScanAssembly, TheGapIsFourCharacterTimesAndNeverBelow50Milliseconds) {
  struct Case {
    int rate;
    int data_bits;
    bool parity;
    double stop_bits;
    std::chrono::microseconds gap;
  };
  const Case cases[] = {
      {300, 8, false, 1.0, 133334us},                               // 10 bits a character
      {300, 7, true, 2.0, 146667us},                                // 11 bits
      {110, 8, false, 1.0, 363637us}, {1200, 8, false, 1.0, 50ms},  // 33.3 ms: the floor
      {9600, 8, false, 1.0, 50ms},    {115200, 8, false, 1.0, 50ms},
      {0, 8, false, 1.0, 50ms},  // no rate known
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanGap(c.rate, c.data_bits, c.parity, c.stop_bits), c.gap) << c.rate << " bit/s";
  }
}

TEST(ScanAssembly, AStreamWithoutEndIsTypedInPiecesOf4096) {
  ScanAssembler assembler;
  Pieces out;
  std::wstring stream;
  for (int i = 0; i < 10000; ++i) stream.push_back(static_cast<wchar_t>(L'A' + i % 26));
  for (std::size_t at = 0; at < stream.size(); at += 700) {
    assembler.Receive(1, std::wstring_view(stream).substr(at, 700), kStart, kGap, out);
  }
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].text, stream.substr(0, 4096));
  EXPECT_EQ(out[1].text, stream.substr(4096, 4096));
  assembler.Flush(1, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[2].text, stream.substr(8192));
}

TEST(ScanAssembly, FlushingGivesWhatIsPendingAndForgetsATail) {
  ScanAssembler assembler;
  Pieces out;
  assembler.Receive(1, L"ONE\r", kStart, kGap, out);
  assembler.Receive(2, L"TW", kStart + 2ms, kGap, out);
  assembler.Receive(3, L"THR", kStart + 1ms, kGap, out);
  out.clear();
  assembler.Flush(2, out);
  EXPECT_EQ(out, (Pieces{Scan(2, L"TW", L"")}));
  assembler.Flush(1, out);  // closed after its CR: a later LF is a scan of its own
  assembler.Receive(1, L"\n", kStart + 3ms, kGap, out);
  assembler.FlushAll(out);
  EXPECT_EQ(out, (Pieces{Scan(2, L"TW", L""), Scan(1, L"", L"\n"), Scan(3, L"THR", L"")}));
  EXPECT_FALSE(assembler.NextDeadline());

  // Text typed without framing: an LF after its CR is still the tail.
  out.clear();
  assembler.TypedDirectly(4, L"DIRECT\r");
  assembler.Receive(4, L"\n", kStart, kGap, out);
  EXPECT_EQ(out, (Pieces{ScanPiece{4, L"", L"\n", true}}));
}

TEST(ScanShaping, TheAdvancedSettingsShapeEveryScan) {
  struct Case {
    const char* what;
    AdvancedFields settings;
    ScanPiece piece;
    std::wstring typed;
  };
  const auto with = [](auto change) {
    AdvancedFields f;
    change(f);
    return f;
  };
  const ScanPiece code = Scan(1, L"ABCDEFGH", L"\r\n");
  const Case cases[] = {
      {"defaults: as received", {}, code, L"ABCDEFGH\r\n"},
      {"defaults after a gap", {}, Scan(1, L"ABC", L""), L"ABC"},
      {"from 3", with([](auto& f) { f.FOd = 3; }), code, L"CDEFGH\r\n"},
      {"to 3", with([](auto& f) { f.FDo = 3; }), code, L"ABC\r\n"},
      {"2 to 4", with([](auto& f) { f.FOd = 2, f.FDo = 4; }), code, L"BCD\r\n"},
      {"4 to 4", with([](auto& f) { f.FOd = 4, f.FDo = 4; }), code, L"D\r\n"},
      {"to below from: to the end", with([](auto& f) { f.FOd = 5, f.FDo = 2; }), code, L"EFGH\r\n"},
      {"to beyond the end", with([](auto& f) { f.FOd = 7, f.FDo = 100; }), code, L"GH\r\n"},
      {"from beyond the end: empty", with([](auto& f) { f.FOd = 9; }), code, L"\r\n"},
      {"a stored negative: no limit", with([](auto& f) { f.FOd = -4, f.FDo = -1; }), code,
       L"ABCDEFGH\r\n"},
      {"prefix", with([](auto& f) { f.FPrefiks = L"P-", f.FIncPrefiks = true; }), code,
       L"P-ABCDEFGH\r\n"},
      {"prefix not ticked", with([](auto& f) { f.FPrefiks = L"P-"; }), code, L"ABCDEFGH\r\n"},
      {"suffix", with([](auto& f) { f.FSufiks = L"-S", f.FIncSufiks = true; }), code,
       L"ABCDEFGH-S\r\n"},
      {"both around an empty range", with([](auto& f) {
         f.FPrefiks = L"<", f.FSufiks = L">", f.FIncPrefiks = f.FIncSufiks = true, f.FOd = 50;
       }),
       code, L"<>\r\n"},
      {"CR in place of CR LF", with([](auto& f) { f.FEnter = true; }), code, L"ABCDEFGH\r"},
      {"LF in place of CR", with([](auto& f) { f.FLF = true; }), Scan(1, L"X", L"\r"), L"X\n"},
      {"CR LF after a gap", with([](auto& f) { f.FEnter = f.FLF = true; }), Scan(1, L"X", L""),
       L"X\r\n"},
      {"the tail kept with the own ending", {}, ScanPiece{1, L"", L"\n", true}, L"\n"},
      {"the tail dropped for CR", with([](auto& f) { f.FEnter = true; }),
       ScanPiece{1, L"", L"\n", true}, L""},
      {"the tail dropped for LF", with([](auto& f) { f.FLF = true; }),
       ScanPiece{1, L"", L"\n", true}, L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShapeScan(c.piece, c.settings), c.typed) << c.what;
    // Without key names the steps are that text, as characters.
    std::vector<KeyStep> text;
    AppendText(text, c.typed);
    EXPECT_EQ(ShapeSteps(c.piece, c.settings), text) << c.what;
  }
}

TEST(ScanShaping, KeyNamesInThePrefixAndSuffixArePressedTheScanIsAlwaysText) {
  AdvancedFields f;
  f.FPrefiks = L"{F2}";
  f.FSufiks = L"{SHIFT+TAB}-{TAB 2}";
  f.FIncPrefiks = f.FIncSufiks = true;
  f.FEnter = true;
  const auto key = [](std::uint8_t vk, bool shift, int repeat) {
    KeyStep step;
    step.kind = KeyStep::Kind::Key;
    step.chord.vk = vk;
    step.chord.shift = shift;
    step.repeat = repeat;
    return step;
  };
  const auto text = [](std::wstring t) {
    KeyStep step;
    step.text = std::move(t);
    return step;
  };
  // Braces that arrive from the scanner are characters, never names.
  const ScanPiece piece = Scan(1, L"A{TAB}", L"\n");
  EXPECT_EQ(ShapeSteps(piece, f),
            (std::vector<KeyStep>{key(0x71, false, 1), text(L"A{TAB}"), key(0x09, true, 1),
                                  text(L"-"), key(0x09, false, 2), text(L"\r")}));
  // The monitor shows the settings as configured.
  EXPECT_EQ(ShapeScan(piece, f), L"{F2}A{TAB}{SHIFT+TAB}-{TAB 2}\r");
  // Not ticked: not pressed.
  f.FIncPrefiks = f.FIncSufiks = false;
  EXPECT_EQ(ShapeSteps(piece, f), (std::vector<KeyStep>{text(L"A{TAB}\r")}));
}

TEST(ScanShaping, OnlySettingsThatChangeTheTextCountAsOn) {
  AdvancedFields f;
  f.FPrefiks = L"P";
  f.FSufiks = L"S";
  EXPECT_FALSE(f.AnyOn());
  for (auto change :
       {+[](AdvancedFields& a) { a.FIncPrefiks = true; },
        +[](AdvancedFields& a) { a.FIncSufiks = true; },
        +[](AdvancedFields& a) { a.FEnter = true; }, +[](AdvancedFields& a) { a.FLF = true; },
        +[](AdvancedFields& a) { a.FOd = 1; }, +[](AdvancedFields& a) { a.FDo = 1; },
        +[](AdvancedFields& a) { a.CharDelay = 1; }}) {
    AdvancedFields on;
    change(on);
    EXPECT_TRUE(on.AnyOn());
  }
}

}  // namespace
}  // namespace quillet::app::reception
