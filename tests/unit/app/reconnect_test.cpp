// Rows that want their ports keep trying: a device that died or was never
// there is opened again by itself, on the retry schedule or at once on an
// arrival notice, until the user gives up on the row. On the os/sim doubles,
// with the view's clock moved by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window_logic.h"
#include "app/port_reconnect.h"
#include "os/exception.h"
#include "serial/sync.h"
#include "tests/unit/app/main_form_fixture.h"

namespace quillet::app {
namespace {

using namespace std::chrono_literals;
using Clock = ReconnectSchedule::Clock;

TEST(ReconnectScheduleTest, WaitsOneSecondThenLongerUpToFiveAndHeldRowsAreNeverDue) {
  ReconnectSchedule schedule;
  const Clock::time_point t0{};
  const std::chrono::milliseconds expected[] = {1000ms, 2000ms, 4000ms, 5000ms, 5000ms};
  Clock::time_point now = t0;
  for (const auto delay : expected) {
    schedule.Failed(3, now);
    EXPECT_EQ(schedule.Delay(3), delay);
    EXPECT_EQ(schedule.NextDeadline(), now + delay);
    EXPECT_TRUE(schedule.Due(now + delay - 1ms).empty());
    now += delay;
    EXPECT_EQ(schedule.Due(now), std::vector<int>{3});
  }

  schedule.Failed(1, now);  // a second row starts at the first delay
  EXPECT_EQ(schedule.Delay(1), 1000ms);
  EXPECT_EQ(schedule.Due(now + 5s), (std::vector<int>{1, 3}));

  schedule.Hold(3, true);
  EXPECT_EQ(schedule.Due(now + 5s), std::vector<int>{1});
  EXPECT_EQ(schedule.NextDeadline(), now + 1s);
  schedule.Stop(1);
  EXPECT_FALSE(schedule.NextDeadline()) << "the only row left is held";
  schedule.Hold(3, false);
  EXPECT_EQ(schedule.NextDeadline(), now) << "a hold keeps the row's place";

  schedule.Stop(3);
  schedule.Failed(3, now);
  EXPECT_EQ(schedule.Delay(3), 1000ms) << "after a stop the wait starts anew";
  schedule.StopAll();
  EXPECT_FALSE(schedule.Waiting(3));
  EXPECT_FALSE(schedule.NextDeadline());
}

class ReconnectTest : public test::ServingMainFormTest {
 protected:
  ReconnectTest() {
    EXPECT_TRUE(form_.RunHandler([&] { form_.FormCreate(); }));
    view_.log.clear();
  }

  // Lets the armed retry timer's time pass and its tick arrive.
  void RetryTimerFires() {
    ASSERT_GT(view_.retry_timer_ms, 0u) << "no retry armed";
    view_.now += std::chrono::milliseconds(view_.retry_timer_ms);
    form_.RunHandler([&] { form_.RetryTimerTimer(); });
  }
  // Attempts to open the device, successful or not.
  int Opens(const std::wstring& port) const {
    const auto calls = serial_.Calls();
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const os::sim::SimCallRecord& c) {
          return c.call == os::sim::SimCall::CreateFileW && c.path == L"\\\\.\\" + port;
        }));
  }
  bool InError(int row) {
    const auto& label = view_.labels.at(row - 1);
    return label.text == L"Port status: Error!" && label.colour == LabelColour::Red &&
           form_.PortError()[row - 1];
  }
  bool ShowsOpened(int row) {
    const auto& label = view_.labels.at(row - 1);
    return label.text == L"Port status: Opened" && label.colour == LabelColour::Black &&
           !form_.PortError()[row - 1] && view_.ticks.at(row - 1) && form_.Skener(row)->Connected();
  }
  // Nothing a retry may do to the user: no box, no window shown or hidden.
  void ExpectNothingShownToTheUser() const {
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_TRUE(view_.questions.empty());
    for (const auto& entry : view_.log) {
      EXPECT_NE(entry, L"hide");
      EXPECT_NE(entry.rfind(L"info ", 0), 0u) << "an information box";
    }
  }
  MainForm& Form() { return form_; }
};

TEST_F(ReconnectTest, ADeadDeviceIsRetriedOnTheScheduleAndReopensWithTheRowsSettings) {
  form_.Skener(1)->SetPort(L"COM1");
  form_.Skener(1)->SetBaudRate(serial::TBaudRate::br19200);
  Click(1);
  ASSERT_TRUE(ShowsOpened(1));
  const os::Handle dead = serial_.OpenHandle(L"COM1");

  serial_.RemovePort(L"COM1");  // the adapter is pulled out
  ASSERT_TRUE(ServeUntil([&] { return form_.PortError()[0]; }));
  EXPECT_TRUE(InError(1));
  EXPECT_TRUE(view_.ticks[0]);
  EXPECT_FALSE(serial_.IsOpen(L"COM1")) << "the dead handle is released";

  int opens = Opens(L"COM1");
  for (const unsigned delay : {1000u, 2000u, 4000u, 5000u, 5000u}) {
    EXPECT_EQ(view_.retry_timer_ms, delay);
    RetryTimerFires();
    EXPECT_EQ(Opens(L"COM1"), ++opens) << "one try per tick";
    EXPECT_TRUE(InError(1)) << "the row stays in error while it waits";
  }

  serial_.AddPort(L"COM1");  // plugged in again
  RetryTimerFires();
  EXPECT_TRUE(ShowsOpened(1));
  EXPECT_NE(serial_.OpenHandle(L"COM1"), dead) << "a fresh open";
  EXPECT_EQ(serial_.State(L"COM1").BaudRate, 19200u);
  EXPECT_EQ(view_.status, L"Reconnected: skener1, COM1");
  EXPECT_EQ(view_.retry_timer_ms, 0u) << "nothing left to retry";
  ExpectNothingShownToTheUser();

  serial_.PeerWrite(L"COM1", "AFTER-1\r");
  ASSERT_TRUE(ServeUntil([&] { return keyboard_.TypedText() == L"AFTER-1\r"; }))
      << keyboard_.TypedText();
}

TEST_F(ReconnectTest, APortBusyInAnotherProgramIsOpenedOnceThatProgramLetsGo) {
  const os::Handle other = serial_.CreateFileW(L"\\\\.\\COM2", os::kGenericRead | os::kGenericWrite,
                                               0, os::kOpenExisting, os::kFileFlagOverlapped);
  ASSERT_NE(other, os::kInvalidHandleValue);
  form_.Skener(2)->SetPort(L"COM2");
  Click(2);
  EXPECT_TRUE(InError(2));
  RetryTimerFires();
  RetryTimerFires();
  EXPECT_TRUE(InError(2)) << "still busy";
  EXPECT_EQ(view_.retry_timer_ms, 4000u);

  serial_.CloseHandle(other);
  RetryTimerFires();
  EXPECT_TRUE(ShowsOpened(2));
  EXPECT_EQ(view_.status, L"Reconnected: skener2, COM2");
  ExpectNothingShownToTheUser();
}

TEST_F(ReconnectTest, AnArrivalNoticeRetriesAtOnceTheRowsOfThatPortOnly) {
  form_.Skener(1)->SetPort(L"COM5");
  form_.Skener(2)->SetPort(L"COM6");
  Click(1);
  Click(2);
  ASSERT_TRUE(InError(1) && InError(2));
  serial_.AddPort(L"COM5");
  serial_.AddPort(L"COM6");
  const int com6 = Opens(L"COM6");

  struct Case {
    const wchar_t* notice;
    bool opens_row1;
  } cases[] = {{L"COM7", false}, {L"COM", false}, {L"com5", true}};
  for (const Case& c : cases) {
    form_.RunHandler([&] { form_.DeviceArrived(c.notice); });  // no time passes
    EXPECT_EQ(form_.Skener(1)->Connected(), c.opens_row1) << c.notice;
  }
  EXPECT_TRUE(ShowsOpened(1));
  EXPECT_EQ(view_.status, L"Reconnected: skener1, COM5");
  EXPECT_EQ(Opens(L"COM6"), com6) << "the other row waits for its own port";
  EXPECT_TRUE(InError(2));
  EXPECT_EQ(view_.retry_timer_ms, 1000u) << "its timer still runs";

  const int com5 = Opens(L"COM5");
  form_.RunHandler([&] { form_.DeviceArrived(L"COM5"); });
  EXPECT_EQ(Opens(L"COM5"), com5) << "a row with its port open is not tried";
  ExpectNothingShownToTheUser();
}

TEST_F(ReconnectTest, ARemovalNoticeIsTakenAsTheDeathOfThatOpenPort) {
  form_.Skener(1)->SetPort(L"COM1");
  form_.Skener(2)->SetPort(L"COM2");
  Click(1);
  Click(2);
  form_.RunHandler([&] { form_.DeviceRemoved(L"COM3"); });  // open in no row
  EXPECT_TRUE(ShowsOpened(1) && ShowsOpened(2));

  form_.RunHandler([&] { form_.DeviceRemoved(L"com1"); });
  EXPECT_TRUE(InError(1));
  EXPECT_FALSE(serial_.IsOpen(L"COM1"));
  EXPECT_TRUE(view_.ticks[0]);
  EXPECT_TRUE(ShowsOpened(2));
  EXPECT_EQ(view_.retry_timer_ms, 1000u);

  RetryTimerFires();  // the notice was wrong, or the device is back already
  EXPECT_TRUE(ShowsOpened(1));
}

TEST_F(ReconnectTest, UntickPortsCloseLoadAndClosingTheProgramStopTheRetry) {
  const std::vector<std::pair<const char*, std::function<void()>>> stops = {
      {"untick", [&] { Click(1); }},
      {"Ports > Close", [&] { Form().RunHandler([&] { Form().Zatvori2Click(); }); }},
      {"Load", [&] { Form().RunHandler([&] { Form().Ubaci1Click(); }); }},
      {"closing the program", [&] { Form().FormDestroy(); }},
  };
  form_.Skener(1)->SetPort(L"COM5");  // absent throughout
  for (const auto& [what, stop] : stops) {
    if (!view_.ticks[0]) Click(1);
    ASSERT_TRUE(form_.Reconnects().Waiting(1)) << what;
    ASSERT_EQ(view_.retry_timer_ms, 1000u) << what;
    stop();
    EXPECT_FALSE(form_.Reconnects().Waiting(1)) << what;
    EXPECT_EQ(view_.retry_timer_ms, 0u) << what;
    const int opens = Opens(L"COM5");
    view_.now += 10s;
    form_.RunHandler([&] { form_.RetryTimerTimer(); });  // a tick already on its way
    form_.RunHandler([&] { form_.DeviceArrived(L"COM5"); });
    EXPECT_EQ(Opens(L"COM5"), opens) << what;
  }
}

TEST_F(ReconnectTest, TheSettingsDialogHoldsTheRetryThenItRetriesAtOnceWithTheNewSettings) {
  form_.Skener(1)->SetPort(L"COM5");
  Click(1);
  ASSERT_TRUE(form_.Reconnects().Waiting(1));

  // Cancelled while the device is still away: the row keeps its tick and waits on.
  int during = -1;
  view_.on_dialog = [&](serial::TComPort&) { during = static_cast<int>(view_.retry_timer_ms); };
  form_.RunHandler([&] { form_.btnskenerClick(1); });
  EXPECT_EQ(during, 0) << "no retry timer while the dialog is open";
  EXPECT_TRUE(view_.ticks[0]);
  EXPECT_TRUE(InError(1));
  EXPECT_GT(view_.retry_timer_ms, 0u);

  view_.on_dialog = [&](serial::TComPort& port) {
    const int opens = Opens(L"COM5");
    view_.now += 10s;
    form_.RunHandler([&] { form_.RetryTimerTimer(); });
    form_.RunHandler([&] { form_.DeviceArrived(L"COM5"); });
    EXPECT_EQ(Opens(L"COM5"), opens) << "nothing is tried under the dialog";
    port.SetPort(L"COM2");  // the user picks the port the scanner now has
    port.SetBaudRate(serial::TBaudRate::br38400);
  };
  form_.RunHandler([&] { form_.btnskenerClick(1); });
  EXPECT_TRUE(ShowsOpened(1));
  EXPECT_EQ(serial_.State(L"COM2").BaudRate, 38400u);
  EXPECT_EQ(view_.status, L"Reconnected: skener1, COM2");
  EXPECT_EQ(view_.retry_timer_ms, 0u);
}

TEST_F(ReconnectTest, TheAutomaticOpeningWaitsForAMissingPortAndTheFileKeepsTheRowOpen) {
  WriteIni(
      "[Startup]\r\nRunMinimized=1\r\n[skener1]\r\nPort=COM5\r\n[Aktivacija]\r\ncbotvori1=1\r\n");
  form_.RunHandler([&] { form_.Ubaci1Click(); });
  form_.RunHandler([&] { form_.Timer1Timer(); });
  EXPECT_TRUE(InError(1));
  EXPECT_TRUE(view_.ticks[0]);
  EXPECT_EQ(std::count(view_.log.begin(), view_.log.end(), L"hide"), 0)
      << "a row in error keeps the window up";
  EXPECT_EQ(view_.retry_timer_ms, 1000u);

  // Quitting while it waits stores it as open, so the next start waits too.
  ASSERT_TRUE(form_.RunHandler([&] { form_.FormClose(); }));
  EXPECT_TRUE(StoredFlag(1));

  serial_.AddPort(L"COM5");
  form_.RunHandler([&] { form_.DeviceArrived(L"COM5"); });
  EXPECT_TRUE(ShowsOpened(1));
  EXPECT_EQ(view_.status, L"Reconnected: skener1, COM5");
  ExpectNothingShownToTheUser();  // the window stays where it is

  ASSERT_TRUE(form_.RunHandler([&] { form_.Sacuvaj1Click(); }));
  EXPECT_TRUE(StoredFlag(1));
}

}  // namespace
}  // namespace quillet::app
