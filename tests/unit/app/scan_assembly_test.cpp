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

  // IJ has no terminator: it waits for the gap, counted from its last byte;
  // after four scans that ended at a terminator, the long one.
  constexpr auto kLong = ScanAssembler::kSteadyGap;
  ASSERT_EQ(assembler.NextDeadline(), kStart + 1ms + kLong);
  assembler.Receive(1, L"K", kStart + 30ms, kGap, out);
  assembler.Expire(kStart + 30ms + kLong - 1us, out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(assembler.Pending(1));
  assembler.Expire(kStart + 30ms + kLong, out);
  EXPECT_EQ(out, (Pieces{Scan(1, L"IJK", L"")}));
  EXPECT_FALSE(assembler.NextDeadline());

  // A CR followed by anything but LF leaves no tail behind.
  out.clear();
  assembler.Receive(2, L"X\r", kStart, kGap, out);
  assembler.Receive(2, L"Y\n", kStart, kGap, out);
  assembler.Receive(2, L"\n", kStart, kGap, out);
  EXPECT_EQ(out, (Pieces{Scan(2, L"X", L"\r"), Scan(2, L"Y", L"\n"), Scan(2, L"", L"\n")}));
}

// Scanners at 9600 bit/s: a byte a millisecond, the scan timer firing every
// millisecond in between, and each completed scan noted with its time.
class Line {
 public:
  struct Entry {
    ScanPiece piece;
    std::chrono::milliseconds at;
  };

  // `row` sends `code`, stalling for `stall` before its byte `stallAt`.
  void Send(int row, std::wstring_view code, std::chrono::milliseconds stall = 0ms,
            std::size_t stallAt = std::wstring_view::npos) {
    for (std::size_t i = 0; i < code.size(); ++i) {
      if (i == stallAt) Wait(stall);
      Tick();
      Pieces out;
      assembler_.Receive(row, code.substr(i, 1), now_, kGap, out);
      Note(out);
    }
  }
  // Two ports send at once, their bytes alternating.
  void SendBoth(int rowA, std::wstring_view a, int rowB, std::wstring_view b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
      Tick();
      Pieces out;
      if (i < a.size()) assembler_.Receive(rowA, a.substr(i, 1), now_, kGap, out);
      if (i < b.size()) assembler_.Receive(rowB, b.substr(i, 1), now_, kGap, out);
      Note(out);
    }
  }
  void Wait(std::chrono::milliseconds quiet) {
    for (auto waited = 0ms; waited < quiet; waited += 1ms) Tick();
  }
  std::chrono::milliseconds Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - kStart);
  }
  // The whole scans `row` typed, terminators included: the LF of a CR LF
  // that came apart joins its scan, as on screen.
  std::vector<std::wstring> Scans(int row) const {
    std::vector<std::wstring> scans;
    for (const Entry& t : typed_) {
      if (t.piece.row != row) continue;
      if (t.piece.terminatorTail && !scans.empty()) {
        scans.back() += t.piece.terminator;
      } else {
        scans.push_back(Whole(t.piece));
      }
    }
    return scans;
  }
  const std::vector<Entry>& Typed() const { return typed_; }
  ScanAssembler& Assembler() { return assembler_; }

 private:
  void Tick() {
    now_ += 1ms;
    Pieces out;
    assembler_.Expire(now_, out);
    Note(out);
  }
  void Note(Pieces& out) {
    for (ScanPiece& piece : out) typed_.push_back({std::move(piece), Now()});
  }

  ScanAssembler assembler_;
  ScanClock::time_point now_ = kStart;
  std::vector<Entry> typed_;
};

TEST(ScanAssembly, LateBytesOnAPortWithTerminatorsDoNotCutItsScan) {
  struct Case {
    const char* what;
    std::wstring terminator;
    int terminatedBefore;
    std::chrono::milliseconds stall;
    std::vector<std::wstring> typed;  // after the steady scans
  };
  const Case cases[] = {
      {"CR after three", L"\r", 3, 200ms, {L"LATE-0123456789\r"}},
      {"LF after three", L"\n", 3, 200ms, {L"LATE-0123456789\n"}},
      {"CR LF after three", L"\r\n", 3, 200ms, {L"LATE-0123456789\r\n"}},
      {"just under the long gap", L"\r", 5, 998ms, {L"LATE-0123456789\r"}},
      // Past the long gap the scan ends as any other: nothing waits forever.
      {"beyond the long gap", L"\r", 3, 1200ms, {L"LATE-", L"0123456789\r"}},
      // A port's first scans use the short gap.
      {"after only two", L"\r", 2, 200ms, {L"LATE-", L"0123456789\r"}},
  };
  for (const Case& c : cases) {
    Line line;
    for (int i = 0; i < c.terminatedBefore; ++i) line.Send(1, L"STEADY-" + c.terminator);
    line.Send(1, L"LATE-0123456789" + c.terminator, c.stall, 5);
    const auto done = line.Now();
    std::vector<std::wstring> typed = line.Scans(1);
    typed.erase(typed.begin(), typed.begin() + c.terminatedBefore);
    EXPECT_EQ(typed, c.typed) << c.what;
    // Typed at its terminator, not a gap later.
    EXPECT_EQ(line.Typed().back().at, done) << c.what;
    EXPECT_FALSE(line.Assembler().NextDeadline()) << c.what;
  }

  // Bytes that wait in the driver keep the long gap too.
  Line line;
  for (int i = 0; i < 3; ++i) line.Send(1, L"STEADY\r");
  line.Send(1, L"OPEN");
  const auto at = kStart + line.Now() + 100ms;
  line.Assembler().StillArriving(1, at, kGap);
  EXPECT_EQ(line.Assembler().NextDeadline(), at + ScanAssembler::kSteadyGap);
}

TEST(ScanAssembly, APortWithoutTerminatorsIsTypedAfterTheShortGap) {
  Line line;
  const std::vector<std::wstring> codes = {L"NOEND-1", L"NOEND-22", L"NOEND-333", L"NOEND-4444",
                                           L"NOEND-55555"};
  for (const std::wstring& code : codes) {
    line.Send(2, code);
    const auto sent = line.Now();
    line.Wait(150ms);
    ASSERT_FALSE(line.Typed().empty());
    EXPECT_EQ(line.Typed().back().at, sent + kGap) << Whole(line.Typed().back().piece);
  }
  EXPECT_EQ(line.Scans(2), codes);
}

TEST(ScanAssembly, APortThatStopsSendingTerminatorsWaitsTheLongGapOnce) {
  Line line;
  for (int i = 0; i < 4; ++i) line.Send(1, L"WITH-CR\r");
  std::vector<std::chrono::milliseconds> waited;
  const auto sendBare = [&](std::wstring_view code) {
    line.Send(1, code);
    const auto sent = line.Now();
    line.Wait(1500ms);
    waited.push_back(line.Typed().back().at - sent);
  };
  for (int i = 0; i < 3; ++i) sendBare(L"BARE-CODE");
  EXPECT_EQ(waited, (std::vector<std::chrono::milliseconds>{1000ms, 50ms, 50ms}));

  // Back to terminators: three of them again before the long gap.
  waited.clear();
  for (int i = 0; i < 2; ++i) line.Send(1, L"WITH-CR\r");
  sendBare(L"BARE-CODE");
  for (int i = 0; i < 3; ++i) line.Send(1, L"WITH-CR\r");
  sendBare(L"BARE-CODE");
  EXPECT_EQ(waited, (std::vector<std::chrono::milliseconds>{50ms, 1000ms}));

  // A port that closes forgets: the next device starts with the short gap.
  waited.clear();
  for (int i = 0; i < 3; ++i) line.Send(1, L"WITH-CR\r");
  Pieces none;
  line.Assembler().Flush(1, none);
  EXPECT_TRUE(none.empty());
  sendBare(L"BARE-CODE");
  EXPECT_EQ(waited, (std::vector<std::chrono::milliseconds>{50ms}));
  for (const auto& scan : line.Scans(1)) EXPECT_TRUE(scan == L"WITH-CR\r" || scan == L"BARE-CODE");
}

TEST(ScanAssembly, OnlyThePortWithTerminatorsWaitsTheLongGap) {
  Line line;
  // Port 1 ends its scans with CR LF, port 2 sends none; they scan at once.
  // Then port 1 stalls mid-scan while port 2 scans on.
  const std::vector<std::wstring> one = {
      L"ONE-STEADY\r\n", L"ONE-STEADY\r\n", L"ONE-STEADY\r\n", L"ONE-LA", L"TE", L"\r\n"};
  const std::wstring two = L"TWO-BARE";
  std::vector<std::chrono::milliseconds> twoEnded;
  for (const std::wstring& part : one) {
    twoEnded.push_back(line.Now() + std::chrono::milliseconds(two.size()) +
                       std::chrono::duration_cast<std::chrono::milliseconds>(kGap));
    line.SendBoth(1, part, 2, two);
    line.Wait(60ms);
  }
  EXPECT_EQ(line.Scans(1), (std::vector<std::wstring>{L"ONE-STEADY\r\n", L"ONE-STEADY\r\n",
                                                      L"ONE-STEADY\r\n", L"ONE-LATE\r\n"}));
  EXPECT_EQ(line.Scans(2), std::vector<std::wstring>(one.size(), two));
  // Port 2's scans end their short gap after their last byte, beside the
  // open scan of port 1.
  std::vector<std::chrono::milliseconds> ended;
  for (const auto& typed : line.Typed())
    if (typed.piece.row == 2) ended.push_back(typed.at);
  EXPECT_EQ(ended, twoEnded);
  EXPECT_FALSE(line.Assembler().NextDeadline());
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
