// The road from a port to the keys, through the main window: a scan becomes
// a monitor row and a typing job, each row types with its own settings, paced
// typing follows the typing timer, and closing ends what is queued.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_logic.h"
#include "tests/unit/app/main_form_fixture.h"

namespace quillet::app {
namespace {

using reception::ReceptionOutcome;

class RoadTest : public test::ServingMainFormTest {
 protected:
  void Open(int row, const wchar_t* port) {
    form_.Skener(row)->SetPort(port);
    Click(row);
    ASSERT_TRUE(form_.Skener(row)->Connected());
  }
  // A scanner sends one byte at a time.
  void Send(const wchar_t* port, std::string_view bytes) {
    for (char byte : bytes) {
      Write(port, std::string_view(&byte, 1));
      ASSERT_TRUE(ServeUntil([&] { return Handled(port); })) << "not read";
    }
  }
  // Lets the typing timer fire until nothing more is paced; returns the
  // waits it was armed with.
  std::vector<unsigned> RunTypingTimer() {
    std::vector<unsigned> waits;
    while (view_.typing_timer_ms > 0 && waits.size() < 1000) {
      const unsigned wait = view_.typing_timer_ms;
      waits.push_back(wait);
      view_.typing_timer_ms = 0;
      view_.now += std::chrono::milliseconds(wait);
      form_.RunHandler([&] { form_.TypingTimerTimer(); });
    }
    return waits;
  }
  static AdvancedFields Suffix(const wchar_t* suffix) {
    AdvancedFields fields;
    fields.FSufiks = suffix;
    fields.FIncSufiks = true;
    return fields;
  }
  const reception::Reception& Row(std::size_t i) { return form_.Record().Rows().at(i); }
};

TEST_F(RoadTest, AScanBecomesAMonitorRowAndATypingJobAndIsSettledWhenTyped) {
  form_.FormCreate();
  Open(1, L"COM1");
  Open(2, L"COM2");  // two ports: scans are framed
  view_.ms_of_day = 13 * 3600000 + 5 * 60000 + 7 * 1000 + 89;
  Send(L"COM1", "AB\r");
  Send(L"COM2", "C");  // no terminator: its gap ends it
  ASSERT_EQ(form_.Record().Rows().size(), 1u) << "a scan in progress has no row yet";
  view_.now += std::chrono::milliseconds(view_.scan_timer_ms);
  form_.ScanTimerTimer();

  ASSERT_EQ(form_.Record().Rows().size(), 2u);
  EXPECT_EQ(Row(0).row, 1);
  EXPECT_EQ(Row(0).port, L"COM1");
  EXPECT_EQ(Row(0).received, "AB\r");
  EXPECT_EQ(Row(0).msOfDay, view_.ms_of_day);
  EXPECT_EQ(Row(0).outcome, ReceptionOutcome::typed);
  EXPECT_EQ(Row(0).typed, L"AB\r");
  EXPECT_EQ(Row(1).row, 2);
  EXPECT_EQ(Row(1).received, "C");
  EXPECT_EQ(Row(1).outcome, ReceptionOutcome::typed);
  EXPECT_EQ(keyboard_.TypedText(), L"AB\rC");
  EXPECT_EQ(view_.status, L"Read device: skener2, COM2");

  // A CR LF that came apart: the LF joins its scan's row.
  Send(L"COM1", "D\r");
  Send(L"COM1", "\n");
  ASSERT_EQ(form_.Record().Rows().size(), 3u);
  EXPECT_EQ(Row(2).received, "D\r\n");
}

TEST_F(RoadTest, OneRowTypedAsReadGetsARowPerDelivery) {
  form_.FormCreate();
  Open(1, L"COM1");
  serial_.PeerWrite(L"COM1", "XYZ");
  ASSERT_TRUE(ServeUntil([&] { return keyboard_.TypedText() == L"XYZ"; }));
  ASSERT_EQ(form_.Record().Rows().size(), 1u);
  EXPECT_EQ(Row(0).received, "XYZ");
  EXPECT_EQ(Row(0).outcome, ReceptionOutcome::typed);
}

TEST_F(RoadTest, EachRowTypesWithItsOwnSettingsOrTheCommonOnes) {
  form_.FormCreate();
  form_.Advanced().common = Suffix(L"-S");
  form_.Advanced().own[0] = Suffix(L"{TAB}");
  Open(1, L"COM1");
  Open(2, L"COM2");
  Send(L"COM1", "X\r");
  Send(L"COM2", "Y\r");
  EXPECT_EQ(keyboard_.TypedText(), L"X\t\rY-S\r");
  // The Tab is a key press, not a character looked up.
  const auto& events = keyboard_.Events();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                          [](const auto& e) { return !e.unicode && e.code == 0x09 && !e.keyUp; }));
  EXPECT_EQ(Row(0).typed, L"X{TAB}\r");
  EXPECT_EQ(Row(1).typed, L"Y-S\r");
}

TEST_F(RoadTest, ARowWithItsOwnSettingsFramesEvenAlone) {
  form_.FormCreate();
  form_.Advanced().own[0] = AdvancedFields{};  // its own, all at their defaults
  Open(1, L"COM1");
  Send(L"COM1", "Z");
  EXPECT_GT(view_.scan_timer_ms, 0u) << "waits for the gap";
  EXPECT_EQ(keyboard_.TypedText(), L"");
  Click(1);  // untick
  EXPECT_EQ(keyboard_.TypedText(), L"Z") << "closing the port types its pending scan";
}

TEST_F(RoadTest, APacedScanIsTypedOnTheTypingTimerAndSettledAtItsEnd) {
  form_.FormCreate();
  AdvancedFields paced = Suffix(L"{TAB}");
  paced.CharDelay = 40;
  form_.Advanced().own[0] = paced;
  Open(1, L"COM1");
  Send(L"COM1", "AB\r");
  ASSERT_EQ(form_.Record().Rows().size(), 1u);
  EXPECT_EQ(Row(0).outcome, ReceptionOutcome::pending);
  EXPECT_GT(view_.typing_timer_ms, 0u);
  EXPECT_LT(keyboard_.TypedText().size(), 4u) << "not typed in one go";

  const std::vector<unsigned> waits = RunTypingTimer();
  EXPECT_EQ(keyboard_.TypedText(), L"AB\t\r");
  // A, B, Tab, CR: three spaces of the pace after the first key.
  EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), 0u), 3u * 40u);
  EXPECT_EQ(Row(0).outcome, ReceptionOutcome::typed);
  EXPECT_EQ(Row(0).typed, L"AB{TAB}\r");
}

TEST_F(RoadTest, TheCloseQuestionCountsWhatWouldStayUntypedAndClosingEndsWithinTheDeadline) {
  form_.FormCreate();
  Open(1, L"COM1");
  ASSERT_TRUE(form_.FormCloseQuery());
  EXPECT_EQ(view_.questions.back(), L"Close application?") << "nothing queued: as always";

  AdvancedFields slow;
  slow.CharDelay = 1000;
  form_.Advanced().own[0] = slow;
  Send(L"COM1", "ABCDEFGHIJ\r");
  const std::size_t untyped = form_.Typing().UntypedAtClose();
  ASSERT_GT(untyped, 0u);
  ASSERT_TRUE(form_.FormCloseQuery());
  EXPECT_EQ(view_.questions.back(), L"Close application?\n" + std::to_wstring(untyped) +
                                        L" characters still queued to type will not be typed.");

  const auto start = view_.now;
  form_.FormDestroy();
  EXPECT_LE(view_.now - start, std::chrono::seconds(5));
  EXPECT_TRUE(form_.Typing().Empty());
  EXPECT_EQ(view_.typing_timer_ms, 0u);
  ASSERT_EQ(form_.Record().Rows().size(), 1u);
  EXPECT_EQ(Row(0).outcome, ReceptionOutcome::portClosed);
  EXPECT_EQ(keyboard_.TypedText().size(), 11u - untyped);
}

TEST_F(RoadTest, APortSendingFasterThanTypingPausesAtTheBoundAndResumesBelowHalfLosingNothing) {
  using reception::ReceptionRoad;
  form_.FormCreate();
  // Each scan's typing ends with a second's wait, so scans pile up.
  form_.Advanced().own[0] = Suffix(L"{WAIT 1000}");
  Open(1, L"COM1");
  Open(2, L"COM2");
  // Numbered scans of a thousand characters and a CR: order and wholeness show.
  std::string stream;
  for (int i = 0; stream.size() < ReceptionRoad::kMostWaiting + 200'000; ++i) {
    std::string scan = "S" + std::to_string(i) + "-";
    scan.resize(1000, static_cast<char>('a' + i % 26));
    stream += scan + "\r";
  }
  // A fast device: the driver takes 16 KiB at a time.
  const auto& road = form_.Road();
  for (std::size_t at = 0; at < stream.size(); at += 16384) {
    Write(L"COM1", std::string_view(stream).substr(at, 16384));
    ASSERT_TRUE(
        ServeUntil([&] { return serial_.PeerUnread(L"COM1") == 0 || road.ReadingPaused(1); }));
  }
  ASSERT_TRUE(road.ReadingPaused(1));
  EXPECT_EQ(road.Waiting(1), ReceptionRoad::kMostWaiting) << "read up to the bound, not past it";
  // The rest waits in the driver, and what the event thread's last read had
  // taken waits in the port: the port counts both once its thread has left
  // its reads, just after the paused delivery.
  const std::size_t rest = stream.size() - ReceptionRoad::kMostWaiting;
  EXPECT_TRUE(ServeUntil([&] {
    return static_cast<std::size_t>(form_.Skener(1)->InputCount()) == rest;
  })) << "the rest waits in the port: "
      << form_.Skener(1)->InputCount() << " of " << rest;
  EXPECT_LE(serial_.PeerUnread(L"COM1"), rest);
  EXPECT_EQ(serial_.CommMask(L"COM1") & os::kEvRxChar, 0u) << "the event thread does not wait";
  EXPECT_EQ(view_.status, L"COM1 (skener1) sends faster than Quillet can type: reading paused");

  // The other port is read as ever.
  Send(L"COM2", "OTHER\r");
  EXPECT_FALSE(road.ReadingPaused(2));
  EXPECT_EQ(form_.Record().Rows().back().received, "OTHER\r");

  // Typing catches up, on the typing timer; below half the port is read again.
  for (int tick = 0; tick < 200'000; ++tick) {
    serial::CheckSynchronize();
    if (form_.Typing().Empty() && Handled(L"COM1") && !form_.Scans().Pending(1)) break;
    if (view_.typing_timer_ms == 0) {
      // What waited comes from the driver.
      ASSERT_TRUE(ServeUntil([&] { return view_.typing_timer_ms > 0; }));
      continue;
    }
    ASSERT_LE(road.Waiting(1), ReceptionRoad::kMostWaiting);
    if (road.ReadingPaused(1)) {
      ASSERT_GE(road.Waiting(1), ReceptionRoad::kResumeBelow);
    }
    view_.now += std::chrono::milliseconds(view_.typing_timer_ms);
    view_.typing_timer_ms = 0;
    form_.RunHandler([&] { form_.TypingTimerTimer(); });
  }
  EXPECT_FALSE(road.ReadingPaused(1));
  EXPECT_NE(std::find(view_.log.begin(), view_.log.end(), L"status COM1 (skener1) is read again"),
            view_.log.end());
  std::wstring typed = keyboard_.TypedText();
  const std::size_t other = typed.find(L"OTHER\r");
  ASSERT_NE(other, std::wstring::npos);
  typed.erase(other, 6);
  EXPECT_TRUE(typed == std::wstring(stream.begin(), stream.end()))
      << "every scan typed whole and in order; typed " << typed.size() << " of " << stream.size();
}

TEST_F(RoadTest, ARowSaysCharactersWereLostWhenTheDriversBufferOverflowed) {
  const struct {
    const char* name;
    os::Dword error;
    bool lost;
  } cases[] = {{"overrun", os::kCeOverrun, true},
               {"receive buffer full", os::kCeRxOver, true},
               {"framing error", os::kCeFrame, false}};
  form_.FormCreate();
  form_.Skener(1)->SetPort(L"COM1");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Click(1);
    ASSERT_EQ(view_.labels[0].text, L"Port status: Opened");
    serial_.AddLineErrors(L"COM1", c.error);
    Send(L"COM1", "X");  // read after the error's delivery
    if (c.lost) {
      EXPECT_EQ(view_.labels[0].text, L"Port status: Opened, characters lost!");
      EXPECT_EQ(view_.labels[0].colour, LabelColour::Red);
    } else {
      EXPECT_EQ(view_.labels[0].text, L"Port status: Opened");
    }
    Click(1);  // closed: the row starts again
    EXPECT_EQ(view_.labels[0].text, L"Port status: Closed");
  }
}

TEST_F(RoadTest, PortsGatherTheirBytesWhileScansAreFramed) {
  const serial::TRxGathering off{};
  // 9600 bit/s: handed over 10 ms after the last byte, 40 ms after the
  // first at the latest, below the 50 ms gap.
  const serial::TRxGathering framing{true, true, '\r', 10, 40};
  test::FakeDialog advanced;
  form_.SetAdvancedDialog(&advanced);
  form_.FormCreate();
  Open(1, L"COM1");
  EXPECT_EQ(form_.Skener(1)->RxGathering(), off) << "one port with defaults: at once, as ever";

  Open(2, L"COM2");
  EXPECT_EQ(form_.Skener(1)->RxGathering(), framing);
  EXPECT_EQ(form_.Skener(2)->RxGathering(), framing);
  EXPECT_EQ(serial_.State(L"COM1").EvtChar, '\r');
  Click(2);
  EXPECT_EQ(form_.Skener(1)->RxGathering(), off) << "one port again";

  form_.Advanced().common = Suffix(L"-S");
  form_.Advanced1Click();
  EXPECT_EQ(form_.Skener(1)->RxGathering(), framing) << "an advanced setting on";

  // 300 bit/s: quiet for two character times, handed over before its 133 ms gap.
  view_.on_dialog = [](serial::TComPort& port) { port.SetBaudRate(serial::TBaudRate::br300); };
  form_.btnskenerClick(1);
  EXPECT_EQ(form_.Skener(1)->RxGathering(), (serial::TRxGathering{true, true, '\r', 67, 123}));

  form_.Advanced().common = AdvancedFields{};
  Send(L"COM1", "Z");  // a delivery notices the settings changed too
  EXPECT_EQ(form_.Skener(1)->RxGathering(), off);
}

TEST_F(RoadTest, APortClosingInTheMiddleOfAScanFinishesItOrKeepsThePieceFromTyping) {
  const struct {
    const char* name;
    const char* before;  // handed over before the close
    const char* rest;    // in the driver when the close comes
    const wchar_t* typed;
    const char* cut;  // kept from typing, marked in the record
  } cases[] = {
      {"no scan of the port ended at a terminator yet", "P1-0", "", L"P1-0", ""},
      {"the rest waits in the driver", "A\rP1-0", "01\r", L"A\rP1-001\r", ""},
      {"the device stopped in the middle", "A\rP1-0", "", L"A\r", "P1-0"},
      {"the last scan before the close ended at a terminator", "P1-0", "", L"", "P1-0"},
  };
  form_.FormCreate();
  Open(2, L"COM2");  // a second port: scans are framed
  form_.Skener(1)->SetPort(L"COM1");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t typedBefore = keyboard_.TypedText().size();
    const std::size_t cutBefore = form_.Road().CutAtClose();
    Click(1);
    ASSERT_TRUE(form_.Skener(1)->Connected());
    Send(L"COM1", c.before);
    serial_.PeerWrite(L"COM1", c.rest);  // read by the close, not by the handler
    const auto start = view_.now;
    Click(1);
    ASSERT_FALSE(form_.Skener(1)->Connected());
    EXPECT_EQ(keyboard_.TypedText().substr(typedBefore), c.typed);
    EXPECT_LE(view_.now - start, std::chrono::milliseconds(100)) << "bounded by the short gap";
    if (*c.cut == '\0') {
      EXPECT_EQ(form_.Road().CutAtClose(), cutBefore);
      continue;
    }
    EXPECT_EQ(form_.Road().CutAtClose(), cutBefore + 1);
    const auto& last = form_.Record().Rows().back();
    EXPECT_EQ(last.outcome, ReceptionOutcome::cut);
    EXPECT_EQ(last.received, c.cut);
    EXPECT_EQ(last.port, L"COM1");
    EXPECT_EQ(reception::RenderOutcome(last), L"Not typed: cut off when the port closed");
    EXPECT_EQ(view_.status, L"COM1 (skener1): a scan cut off by closing the port was not typed (" +
                                std::to_wstring(cutBefore + 1) + L" so far)");
  }
}

// Two scanners at a byte a millisecond while every port is closed (as Load
// and Ports > Close do) and opened again, at several points of their scans
// (long enough that the ports hand the first part over before the end);
// what they send while the ports are closed waits in the driver. The target
// gets whole scans, or the rest of one whose start went with a close, each
// on a line of its own and never twice; pieces cut off are in the record.
TEST_F(RoadTest, ClosingWhileScannersSendTypesNoPieceJoinedToAnotherScanAndNoByteTwice) {
  form_.FormCreate();
  Open(1, L"COM1");
  Open(2, L"COM2");
  std::vector<std::string> codes;
  std::mutex codesLock;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) {
      Click(1);
      Click(2);
      ASSERT_TRUE(form_.Skener(1)->Connected() && form_.Skener(2)->Connected());
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> scanners;
    for (int port = 1; port <= 2; ++port) {
      scanners.emplace_back([&, port] {
        const std::wstring name = L"COM" + std::to_wstring(port);
        for (int n = 0; !stop; ++n) {
          const std::string code = "P" + std::to_string(port) + "-" +
                                   std::to_string(port * 100000 + round * 1000 + n) +
                                   "-ABCDEFGHIJKLMNOPQRSTUVWXYZ\r";
          {
            const std::lock_guard<std::mutex> hold(codesLock);
            codes.push_back(code);
          }
          for (char byte : code) {
            serial_.PeerWrite(name, std::string_view(&byte, 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(3 + port));
        }
      });
    }
    // A few scans, then the close while a port's first part of a scan has
    // been handed over; the scanners go on a little while the ports are
    // closed. (The view's clock moves only by what the close waits, so the
    // ports have scanned long enough to wait their long gap.)
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(200 + 7 * round);
    ServeUntil([&] {
      return std::chrono::steady_clock::now() >= until &&
             (form_.Scans().Pending(1) || form_.Scans().Pending(2));
    });
    form_.RunHandler([&] { form_.Zatvori2Click(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    stop = true;
    for (std::thread& t : scanners) t.join();
  }
  // Opened again, what waited is read with one more scan each.
  Click(1);
  Click(2);
  for (const char* end : {"P1-END\r", "P2-END\r"}) {
    codes.push_back(end);
    serial_.PeerWrite(end[1] == '1' ? L"COM1" : L"COM2", end);
  }
  ASSERT_TRUE(ServeUntil([&] {
    const std::wstring typed = keyboard_.TypedText();
    return typed.find(L"P1-END\r") != std::wstring::npos &&
           typed.find(L"P2-END\r") != std::wstring::npos;
  }));

  std::map<std::string, int> typedOf;  // code -> lines typed from its bytes
  std::wstring text = keyboard_.TypedText();
  std::size_t from = 0;
  int lines = 0;
  while (from < text.size()) {
    std::size_t cr = text.find(L'\r', from);
    ASSERT_NE(cr, std::wstring::npos)
        << "typed without its terminator: " << std::string(text.begin() + from, text.end());
    const std::string line(text.begin() + from, text.begin() + cr + 1);
    from = cr + 1;
    ++lines;
    std::vector<const std::string*> of;
    for (const std::string& code : codes)
      if (code.size() >= line.size() &&
          code.compare(code.size() - line.size(), line.size(), line) == 0)
        of.push_back(&code);
    ASSERT_FALSE(of.empty()) << "pieces of scans joined on one line: " << line;
    if (of.size() == 1) {
      EXPECT_EQ(++typedOf[*of.front()], 1) << "typed twice: " << line;
    }
  }
  EXPECT_GT(lines, 8);
  for (const auto& row : form_.Record().Rows()) {
    if (row.outcome != ReceptionOutcome::cut) continue;
    EXPECT_TRUE(std::any_of(
        codes.begin(), codes.end(),
        [&](const std::string& code) { return code.find(row.received) < code.size() - 1; }))
        << "a cut piece is part of one scan, without its terminator: " << row.received;
  }
}

}  // namespace
}  // namespace quillet::app
