// The device rows, the Ports menu, Save/Load, the automatic opening and the
// received-data handler, on the os/sim doubles.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/main_window_logic.h"
#include "os/exception.h"
#include "serial/sync.h"
#include "tests/unit/app/main_form_fixture.h"

namespace quillet::app {
namespace {

using Log = std::vector<std::wstring>;

class ConsoleTest : public test::ServingMainFormTest {
 protected:
  // Serves until a scan waits for its gap, then lets the gap pass.
  bool ServeUntilTheGapPasses() {
    if (!ServeUntil([&] { return view_.scan_timer_ms > 0; })) return false;
    view_.now += std::chrono::milliseconds(view_.scan_timer_ms);
    form_.RunHandler([&] { form_.ScanTimerTimer(); });
    return true;
  }

  void Create() {
    ASSERT_TRUE(form_.RunHandler([&] { form_.FormCreate(); }));
    view_.log.clear();
  }
  void SetPort(int row, const wchar_t* name) { form_.Skener(row)->SetPort(name); }
  test::RecordingView::Label LabelOf(int row) const { return view_.labels.at(row - 1); }
};

void ExpectLabel(const test::RecordingView::Label& label, const std::wstring& text,
                 LabelColour colour, const char* where) {
  EXPECT_EQ(label.text, text) << where;
  EXPECT_EQ(label.colour, colour) << where;
}

TEST_F(ConsoleTest, RowStatesFollowTheTickAndWhatThePortDid) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM9");  // no such device

  Click(1);
  ExpectLabel(LabelOf(1), L"Port status: Opened", LabelColour::Black, "open");
  EXPECT_TRUE(form_.Skener(1)->Connected());
  EXPECT_FALSE(form_.PortError()[0]);

  Click(2);
  ExpectLabel(LabelOf(2), L"Port status: Error!", LabelColour::Red, "failed open");
  EXPECT_TRUE(view_.ticks[1]) << "the tick stays";
  EXPECT_TRUE(form_.PortError()[1]);
  EXPECT_TRUE(view_.errors.empty()) << "the message goes nowhere";

  Click(2);  // untick: nothing was open
  ExpectLabel(LabelOf(2), L"Port status: Closed", LabelColour::Black, "untick error row");
  EXPECT_FALSE(form_.PortError()[1]);

  Click(1);
  ExpectLabel(LabelOf(1), L"Port status: Closed", LabelColour::Black, "close");
  EXPECT_FALSE(serial_.IsOpen(L"COM1"));

  // Setting a tick to what it is raises nothing.
  view_.labels[0] = {};
  form_.SetOpenTick(1, false);
  ExpectLabel(LabelOf(1), L"Port status:", LabelColour::WindowDefault, "no change, no event");
  form_.SetOpenTick(1, true);
  ExpectLabel(LabelOf(1), L"Port status: Opened", LabelColour::Black, "tick from code");
}

TEST_F(ConsoleTest, DeviceButtonBringsTheTickInLineWithThePort) {
  Create();
  SetPort(3, L"COM3");
  form_.Skener(3)->Open();  // open without a tick

  form_.RunHandler([&] { form_.btnskenerClick(3); });  // the dialog is cancelled
  EXPECT_EQ(view_.log.front(), L"dialog skener3");
  EXPECT_TRUE(view_.ticks[2]);
  ExpectLabel(LabelOf(3), L"Port status: Opened", LabelColour::Black, "after the dialog");

  // A ticked row without its port keeps waiting for it after the dialog.
  SetPort(4, L"COM9");
  Click(4);
  ASSERT_TRUE(form_.PortError()[3]);
  form_.RunHandler([&] { form_.btnskenerClick(4); });
  EXPECT_TRUE(view_.ticks[3]);
  ExpectLabel(LabelOf(4), L"Port status: Error!", LabelColour::Red, "still waiting");
  EXPECT_TRUE(form_.Reconnects().Waiting(4));

  // An error while the dialog applies ends the handler; the tick stays.
  view_.on_dialog = [](serial::TComPort&) { throw Exception(L"Unable to open com port"); };
  view_.ticks[2] = true;
  EXPECT_FALSE(form_.RunHandler([&] { form_.btnskenerClick(3); }));
  EXPECT_EQ(view_.errors.size(), 1u);
  EXPECT_TRUE(view_.ticks[2]);
}

TEST_F(ConsoleTest, PortsCloseWalksLabelsThenBoxesThenPorts) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM9");
  view_.status = L"Read device: skener1, COM1";
  Click(1);
  Click(2);  // error, ticked
  form_.Skener(3)->SetPort(L"COM3");
  form_.Skener(3)->Open();  // open without a tick
  // A stale flag: an error row whose box the program unticked without its handler.
  view_.ticks[1] = false;

  form_.RunHandler([&] { form_.Zatvori2Click(); });

  EXPECT_EQ(view_.status, L"");
  for (int row = 1; row <= 8; ++row) {
    ExpectLabel(LabelOf(row), L"Port status: Closed", LabelColour::Black, "every row");
    EXPECT_FALSE(view_.ticks[row - 1]);
    EXPECT_FALSE(form_.Skener(row)->Connected());
  }
  EXPECT_FALSE(form_.PortError()[0]);
  EXPECT_TRUE(form_.PortError()[1]) << "its handler did not run";
  EXPECT_TRUE(view_.errors.empty());
}

TEST_F(ConsoleTest, TestButtonsWriteTheirTextsAndAClosedPortIsAnError) {
  Create();
  SetPort(3, L"COM3");
  form_.Skener(3)->Open();
  ASSERT_TRUE(form_.RunHandler([&] { form_.ButtonClick(3); }));
  EXPECT_EQ(serial_.PeerRead(L"COM3"), "!\"#$%&/()=?*{}][,./?");
  EXPECT_EQ(MainForm::TestButtonText(3).size(), 20u);

  EXPECT_FALSE(form_.RunHandler([&] { form_.ButtonClick(1); }));
  EXPECT_EQ(view_.errors, (Log{L"Port Not Open"}));
}

TEST_F(ConsoleTest, ReceivedDataIsTypedAndTheStatusBarNamesThePort) {
  Create();
  SetPort(2, L"COM2");
  Click(2);
  serial_.PeerWrite(L"COM2", "ABC-123\r");
  ASSERT_TRUE(ServeUntil([&] { return keyboard_.TypedText() == L"ABC-123\r"; }))
      << keyboard_.TypedText();
  EXPECT_EQ(view_.status, L"Read device: skener2, COM2");
}

TEST_F(ConsoleTest, AVanishedDeviceTurnsItsRowToErrorAndUntickingClosesIt) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  Click(1);
  Click(2);
  serial_.RemovePort(L"COM1");
  ASSERT_TRUE(ServeUntil([&] { return form_.PortError()[0]; }));
  ExpectLabel(LabelOf(1), L"Port status: Error!", LabelColour::Red, "device gone");
  ExpectLabel(LabelOf(2), L"Port status: Opened", LabelColour::Black, "the other row");
  EXPECT_FALSE(form_.Skener(1)->Connected()) << "the dead handle is released";
  EXPECT_TRUE(view_.ticks[0]) << "the row still wants its port";

  serial_.PeerWrite(L"COM2", "still typing");
  ASSERT_TRUE(ServeUntil([&] { return keyboard_.TypedText() == L"still typing"; }))
      << keyboard_.TypedText();

  Click(1);
  ExpectLabel(LabelOf(1), L"Port status: Closed", LabelColour::Black, "unticked");
  EXPECT_FALSE(form_.Skener(1)->Connected());
  EXPECT_FALSE(form_.PortError()[0]);
}

TEST_F(ConsoleTest, AutomaticOpeningAppliesTheStoredStatesWithItsPausesAndPumps) {
  WriteIni(
      "[Startup]\r\nRunMinimized=1\r\n[Aktivacija]\r\ncbotvori1=1\r\ncbotvori2=0\r\ncbotvori3="
      "1\r\n");
  Create();  // Load ran: its sequence is checked below
  SetPort(1, L"COM1");
  SetPort(3, L"COM3");
  view_.ticks[1] = true;  // row 2 ticked now, stored closed
  view_.log.clear();
  view_.timer1 = true;

  form_.RunHandler([&] { form_.Timer1Timer(); });

  EXPECT_EQ(view_.log, (Log{L"status Opening ports...", L"timer off", L"pump", L"pause 700",
                            L"pump", L"pump", L"pause 700", L"pump", L"pump", L"pump", L"pump",
                            L"pump", L"hide", L"status Waiting for devices..."}));
  EXPECT_TRUE(view_.run_minimized);
  EXPECT_TRUE(form_.Skener(1)->Connected());
  EXPECT_TRUE(form_.Skener(3)->Connected());
  EXPECT_FALSE(view_.ticks[1]);
}

TEST_F(ConsoleTest, HidingNeedsRunMinimizedAndNoRowInError) {
  struct Case {
    const char* ini;
    bool hides;
  } cases[] = {
      {"[Startup]\r\nRunMinimized=1\r\n", true},  // every row stored closed
      {"[Startup]\r\nRunMinimized=0\r\n", false},
      {"[Startup]\r\nRunMinimized=1\r\n[Aktivacija]\r\ncbotvori4=1\r\n",
       false},  // COM1 of row 4 is busy
  };
  Create();
  SetPort(5, L"COM1");
  form_.Skener(5)->Open();  // row 4's port name is taken
  for (const Case& c : cases) {
    WriteIni(c.ini);
    view_.log.clear();
    form_.RunHandler([&] { form_.Timer1Timer(); });
    EXPECT_EQ(std::count(view_.log.begin(), view_.log.end(), L"hide"), c.hides ? 1 : 0) << c.ini;
  }
  EXPECT_TRUE(form_.PortError()[3]);
}

TEST_F(ConsoleTest, ATickOrACloseDuringTheRunsPumpWaitsForTheRunToEnd) {
  WriteIni("[Aktivacija]\r\ncbotvori1=1\r\n");
  Create();
  int pumps = 0;
  view_.on_pump = [&] {
    if (++pumps != 1) return;
    EXPECT_TRUE(form_.AutomaticOpeningRunning());
    form_.Otvori1Click();  // the user chooses Ports > Open ...
    form_.Timer1Timer();   // ... and its tick arrives in this pump
    EXPECT_FALSE(form_.CloseRequested()) << "no question under the running handler";
  };
  form_.RunHandler([&] { form_.Timer1Timer(); });

  EXPECT_EQ(std::count(view_.log.begin(), view_.log.end(), L"status Opening ports..."), 1);
  EXPECT_TRUE(view_.timer1) << "armed again: one more run follows";
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_EQ(view_.close_requests, 1) << "the close goes ahead after the run";
  EXPECT_FALSE(form_.AutomaticOpeningRunning());
}

TEST_F(ConsoleTest, LoadClosesEverythingLoadsEveryPortAndArmsTheTimer) {
  WriteIni("[skener2]\r\nPort=COM2\r\nBaudRate=19200\r\n");
  Create();
  SetPort(1, L"COM1");
  Click(1);
  view_.log.clear();
  view_.timer1 = false;

  ASSERT_TRUE(form_.RunHandler([&] { form_.Ubaci1Click(); }));

  EXPECT_EQ(view_.log, (Log{L"status Closing ports and read configuration...", L"pause 1000",
                            L"status ", L"status Loading...", L"timer on"}));
  EXPECT_FALSE(form_.Skener(1)->Connected());
  ExpectLabel(LabelOf(1), L"Port status: Closed", LabelColour::Black, "after load");
  EXPECT_EQ(form_.Skener(2)->Port(), L"COM2");
  EXPECT_EQ(form_.Skener(2)->BaudRate(), serial::TBaudRate::br19200);
}

TEST_F(ConsoleTest, SaveStoresEveryPortAndTheTicksThenLoadRestoresThem) {
  Create();
  SetPort(2, L"COM2");
  form_.Skener(2)->SetBaudRate(serial::TBaudRate::br38400);
  Click(2);
  ASSERT_TRUE(form_.RunHandler([&] { form_.Sacuvaj1Click(); }));
  EXPECT_EQ(view_.log.back(), L"info Saved!");
  EXPECT_TRUE(StoredFlag(2));
  EXPECT_FALSE(StoredFlag(1));

  form_.Skener(2)->SetBaudRate(serial::TBaudRate::br9600);
  form_.RunHandler([&] { form_.Ubaci1Click(); });
  form_.RunHandler([&] { form_.Timer1Timer(); });
  EXPECT_EQ(form_.Skener(2)->BaudRate(), serial::TBaudRate::br38400);
  EXPECT_TRUE(form_.Skener(2)->Connected());
  EXPECT_TRUE(view_.ticks[1]);
}

TEST_F(ConsoleTest, AnUnwritableFileEndsSaveAndRunMinimizedBeforeAnythingIsClaimed) {
  std::ofstream(root_ / "AppData" / "Brovana") << "in the way";
  Create();
  EXPECT_FALSE(form_.RunHandler([&] { form_.Sacuvaj1Click(); }));
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_EQ(view_.errors[0], L"Failed to store settings");
  EXPECT_TRUE(view_.log.empty()) << "no Saved! box";

  view_.run_minimized = true;  // the item ticked itself
  EXPECT_FALSE(form_.RunHandler([&] { form_.mnRunMinimizedClick(); }));
  EXPECT_EQ(view_.errors.back(), L"Unable to write to " + IniWindowsPath());
  EXPECT_TRUE(view_.run_minimized) << "the tick keeps its new state";
}

TEST_F(ConsoleTest, RunMinimizedIsStoredWhenChosenAndMinimisingShowsTheBalloon) {
  Create();
  view_.run_minimized = true;
  ASSERT_TRUE(form_.RunHandler([&] { form_.mnRunMinimizedClick(); }));
  config::TIniFile ini(profile_, IniWindowsPath());
  EXPECT_TRUE(ini.ReadBool(L"Startup", L"RunMinimized", false));

  form_.ApplicationEvents1Minimize();
  EXPECT_EQ(view_.log.back(), L"balloon Information|Quillet is minimized.. |4000");
}

// --- whole scans ---

class ScanConsoleTest : public ConsoleTest {
 protected:
  // Bytes reach the handler one batch at a time, as a scanner sends them.
  void Deliver(const wchar_t* port, std::string_view bytes) {
    Write(port, bytes);
    ASSERT_TRUE(ServeUntil([&] { return Handled(port); })) << "not read";
  }
};

TEST_F(ScanConsoleTest, OnePortWithDefaultsTypesAtOnce) {
  Create();
  SetPort(1, L"COM1");
  Click(1);
  serial_.PeerWrite(L"COM1", "NO-END");
  ASSERT_TRUE(ServeUntil([&] { return keyboard_.TypedText() == L"NO-END"; }));
  EXPECT_EQ(view_.scan_timer_ms, 0u);
  EXPECT_FALSE(form_.Scans().Pending(1));
}

TEST_F(ScanConsoleTest, TwoPortsScanningAtOnceTypeWholeScansEachWithItsPort) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  Click(1);
  Click(2);
  const std::string first = "AAAA-1111\r";
  const std::string second = "BBBB-2222\r";
  view_.log.clear();
  for (std::size_t i = 0; i < first.size(); ++i) {
    Deliver(L"COM1", first.substr(i, 1));
    Deliver(L"COM2", second.substr(i, 1));
  }
  EXPECT_EQ(keyboard_.TypedText(), L"AAAA-1111\rBBBB-2222\r");
  EXPECT_EQ(view_.log,
            (Log{L"status Read device: skener1, COM1", L"status Read device: skener2, COM2"}));
}

TEST_F(ScanConsoleTest, AScanWithoutTerminatorIsTypedWhenTheGapOfItsLineRatePasses) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  form_.Skener(2)->SetBaudRate(serial::TBaudRate::br300);
  Click(1);
  Click(2);
  Deliver(L"COM2", "SLOW");
  EXPECT_EQ(view_.scan_timer_ms, 134u);  // four 10-bit characters at 300 bit/s
  view_.now += std::chrono::milliseconds(133);
  form_.ScanTimerTimer();
  EXPECT_EQ(keyboard_.TypedText(), L"");
  EXPECT_EQ(view_.scan_timer_ms, 1u);
  view_.now += std::chrono::milliseconds(1);
  form_.ScanTimerTimer();
  EXPECT_EQ(keyboard_.TypedText(), L"SLOW");
  EXPECT_EQ(view_.scan_timer_ms, 0u);
}

TEST_F(ScanConsoleTest, AWindowWithHigherRightsGetsNothingAndTheStatusBarAndTraySayWhy) {
  Create();
  keyboard_.AddWindow(os::sim::SimKeyboard::kForegroundWindow,
                      os::sim::SimKeyboard::kForegroundProcess, L"Stock (Administrator)");
  keyboard_.SetIntegrityLevel(os::sim::SimKeyboard::kForegroundProcess, os::kIntegrityHigh);
  SetPort(1, L"COM1");
  Click(1);
  const std::wstring why =
      L"Cannot type into Stock (Administrator): it runs with higher rights than Quillet";
  Deliver(L"COM1", "LOST?\r");
  EXPECT_EQ(keyboard_.TypedText(), L"");
  EXPECT_EQ(view_.status, why);
  EXPECT_TRUE(std::none_of(view_.log.begin(), view_.log.end(), [](const std::wstring& line) {
    return line.rfind(L"balloon", 0) == 0;
  }));

  // Hidden in the tray, the same goes to a balloon.
  view_.HideApplication();
  Deliver(L"COM1", "AGAIN\r");
  EXPECT_EQ(view_.log.back(), L"balloon Quillet|" + why + L"|4000");

  // Equal rights: typed as ever.
  keyboard_.SetIntegrityLevel(os::sim::SimKeyboard::kForegroundProcess, os::kIntegrityMedium);
  Deliver(L"COM1", "OK\r");
  EXPECT_EQ(keyboard_.TypedText(), L"OK\r");
  EXPECT_EQ(view_.status, L"Read device: skener1, COM1");
}

TEST_F(ScanConsoleTest, ALateUserInterfaceThreadDoesNotCutAScanInTwo) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  Click(1);
  Click(2);
  Deliver(L"COM1", "FIRST-");
  view_.now += std::chrono::milliseconds(200);  // the thread was busy, the timer late
  Deliver(L"COM1", "HALF");
  EXPECT_EQ(keyboard_.TypedText(), L"") << "the late bytes belong to the scan";

  // The timer fires while the next bytes wait in the driver, not yet handed over.
  {
    std::unique_lock lock(mutex_);
    wakes_ = 0;
  }
  Write(L"COM1", "-END\r");
  {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(woken_.wait_for(lock, std::chrono::seconds(10), [&] { return wakes_ > 0; }));
  }
  view_.now += std::chrono::milliseconds(200);
  form_.ScanTimerTimer();
  EXPECT_EQ(keyboard_.TypedText(), L"");
  ASSERT_TRUE(ServeUntil([&] { return Handled(L"COM1"); }));
  EXPECT_EQ(keyboard_.TypedText(), L"FIRST-HALF-END\r");
}

TEST_F(ScanConsoleTest, AScanInProgressIsTypedWhenItsPortClosesAtUntickPortsCloseLoadAndExit) {
  const std::vector<std::pair<const char*, std::function<void()>>> closes = {
      {"untick", [&] { Click(1); }},
      {"Ports > Close", [&] { form_.RunHandler([&] { form_.Zatvori2Click(); }); }},
      {"Load", [&] { form_.RunHandler([&] { form_.Ubaci1Click(); }); }},
      {"exit", [&] { form_.FormDestroy(); }},
  };
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  for (const auto& [what, close] : closes) {
    keyboard_.ClearEvents();
    if (!view_.ticks[0]) Click(1);
    if (!view_.ticks[1]) Click(2);
    Deliver(L"COM1", "HALF-");
    ASSERT_TRUE(form_.Scans().Pending(1)) << what;
    close();
    EXPECT_EQ(keyboard_.TypedText(), L"HALF-") << what;
    EXPECT_FALSE(form_.Skener(1)->Connected()) << what;
    EXPECT_FALSE(form_.Scans().Pending(1)) << what;
  }
}

TEST_F(ScanConsoleTest, FramingEndingWithASecondPortTypesWhatWasPendingFirst) {
  Create();
  SetPort(1, L"COM1");
  SetPort(2, L"COM2");
  Click(1);
  Click(2);
  Deliver(L"COM2", "OLD-");
  Click(1);  // one port left, defaults: typed as read from now on
  Deliver(L"COM2", "NEW");
  EXPECT_EQ(keyboard_.TypedText(), L"OLD-NEW");
  EXPECT_FALSE(form_.Scans().Pending(2));
}

TEST_F(ScanConsoleTest, TheAdvancedSettingsShapeScansOnASinglePort) {
  Create();
  form_.Advanced().common.FPrefiks = L"PFX";
  form_.Advanced().common.FIncPrefiks = true;
  form_.Advanced().common.FEnter = true;
  SetPort(1, L"COM1");
  Click(1);
  Deliver(L"COM1", "12345\r\n");
  Deliver(L"COM1", "678\r");
  Deliver(L"COM1", "\n");  // the rest of the CR LF: replaced by the ending
  EXPECT_EQ(keyboard_.TypedText(), L"PFX12345\rPFX678\r");
}

}  // namespace
}  // namespace quillet::app
