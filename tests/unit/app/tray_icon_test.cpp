#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace quillet::app {
namespace {

const wchar_t* Name(TTrayRequest request) {
  switch (request) {
    case TTrayRequest::Add:
      return L"add";
    case TTrayRequest::Modify:
      return L"modify";
    case TTrayRequest::Delete:
      return L"delete";
    case TTrayRequest::SetVersion:
      return L"version";
  }
  return L"?";
}

// A shell that keeps one icon. Refusals of a given request can be scripted,
// with the error they report and whether the shell carried the request out
// anyway (a time-out of a busy Explorer).
class FakeShell final : public TrayShell {
 public:
  struct Refusal {
    int times = 0;
    unsigned long error = 0;
    bool carried_out = false;
  };

  bool Notify(TTrayRequest request, const TNotifyIconRecord& record, bool balloon_only) override {
    log.push_back(std::wstring(Name(request)) + (balloon_only ? L" balloon" : L""));
    records.push_back(record);
    Refusal& refusal = refusals[request];
    if (refusal.times > 0) {
      --refusal.times;
      error = refusal.error;
      if (refusal.carried_out) Apply(request);
      return false;
    }
    error = 0x80004005;  // E_FAIL, as Wine's shell refuses
    switch (request) {
      case TTrayRequest::Add:
        if (icon_present) return false;
        break;
      case TTrayRequest::Modify:
      case TTrayRequest::Delete:
      case TTrayRequest::SetVersion:
        if (!icon_present) return false;
        break;
    }
    Apply(request);
    return true;
  }
  unsigned long LastError() override { return error; }
  void Sleep(unsigned milliseconds) override { sleeps.push_back(milliseconds); }
  double NowSeconds() override { return now; }
  void StartTimer2(unsigned milliseconds) override {
    log.push_back(L"timer " + std::to_wstring(milliseconds));
  }
  void StopTimer2() override { log.push_back(L"stop timer"); }

  void Apply(TTrayRequest request) {
    if (request == TTrayRequest::Add) icon_present = true;
    if (request == TTrayRequest::Delete) icon_present = false;
  }
  int Count(const std::wstring& entry) const {
    int n = 0;
    for (const auto& line : log) n += line == entry ? 1 : 0;
    return n;
  }

  std::map<TTrayRequest, Refusal> refusals;
  bool icon_present = false;
  unsigned long error = 0;
  double now = 1000.0;
  std::vector<unsigned> sleeps;
  std::vector<std::wstring> log;
  std::vector<TNotifyIconRecord> records;
};

// A main window that is shown, minimised and hidden; the tray icon's calls
// land in the log beside the markers the tests write.
class FakeApplication final : public TrayApplication {
 public:
  bool MainWindowMinimised() const override { return minimised; }
  void MinimiseApplication() override {
    log->push_back(L"minimise");
    minimised = true;
  }
  void HideMainWindow() override {
    log->push_back(L"hide");
    hidden = true;
  }
  void ShowMainWindow() override {
    log->push_back(L"show");
    hidden = false;
  }
  void RestoreApplication() override {
    log->push_back(L"restore");
    minimised = false;
  }

  std::vector<std::wstring>* log = nullptr;
  bool minimised = false;
  bool hidden = false;
};

class TrayIconTest : public ::testing::Test {
 protected:
  TrayIconTest() {
    application.log = &shell.log;
    tray.SetHint(L"Quillet");
    tray.SetIcon(0x1234);
    tray.SetWindow(0xABC);
  }

  void ActivateAndClear() {
    tray.Activate();
    shell.log.clear();
    shell.records.clear();
  }
  void HideInTray() {
    application.minimised = true;
    application.hidden = true;
  }

  FakeShell shell;
  FakeApplication application;
  TTrayIcon tray{shell, application};
};

TEST_F(TrayIconTest, ActivateFillsTheRecordAddsTheIconAndAsksForVersion3Behaviour) {
  tray.SetHint(std::wstring(130, L'x') + L"|second part");
  tray.Activate();

  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"add", L"version"}));
  const TNotifyIconRecord& added = shell.records.front();
  EXPECT_EQ(added.window, 0xABCu);
  EXPECT_EQ(added.id, 1u);
  EXPECT_EQ(added.callback_message, 0x0401u);
  EXPECT_EQ(added.icon, 0x1234u);
  EXPECT_EQ(added.tip, std::wstring(127, L'x'));
  EXPECT_TRUE(tray.IconVisible());
  EXPECT_TRUE(tray.HasState(TTrayIconState::tisHooked));

  tray.SetHint(L"Quillet|more");
  tray.Activate();  // already visible: no second add
  EXPECT_EQ(tray.IconData().tip, L"Quillet");
  EXPECT_EQ(shell.Count(L"add"), 1);
}

TEST_F(TrayIconTest, DeactivateStopsTheTimerUnhooksAndDeletesTheIcon) {
  ActivateAndClear();
  tray.Deactivate();
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"stop timer", L"delete"}));
  EXPECT_FALSE(tray.IconVisible());
  EXPECT_FALSE(tray.HasState(TTrayIconState::tisHooked));
  EXPECT_FALSE(shell.icon_present);

  // Gone for good: a rebuilt taskbar does not bring it back.
  tray.TaskbarCreated();
  EXPECT_FALSE(tray.IconVisible());
}

struct RetryCase {
  const char* name;
  TTrayRequest request;  // Add from no icon, Delete from a visible icon
  FakeShell::Refusal refusal;
  int expected_tries;  // of the request itself
  std::size_t expected_sleeps;
  bool expected_visible;
};

void PrintTo(const RetryCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayRetryTest : public TrayIconTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(TrayRetryTest, BusyShellIsAskedAgainEverySecondUpTo31Times) {
  const RetryCase& c = GetParam();
  if (c.request == TTrayRequest::Delete) tray.Activate();
  shell.refusals[c.request] = c.refusal;
  shell.log.clear();

  if (c.request == TTrayRequest::Add)
    tray.Activate();
  else
    tray.Deactivate();

  EXPECT_EQ(shell.Count(Name(c.request)), c.expected_tries);
  EXPECT_EQ(shell.sleeps, std::vector<unsigned>(c.expected_sleeps, 1000u));
  EXPECT_EQ(tray.IconVisible(), c.expected_visible);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, TrayRetryTest,
    ::testing::Values(
        RetryCase{"AddAfterThreeErrors0", TTrayRequest::Add, {3, 0, false}, 4, 3, true},
        RetryCase{"AddTimingOutForever", TTrayRequest::Add, {1000, 1460, false}, 32, 31, false},
        RetryCase{"AddTimedOutButDone", TTrayRequest::Add, {1000, 1460, true}, 1, 1, true},
        RetryCase{"AddWithOtherError", TTrayRequest::Add, {1, 5, false}, 1, 0, false},
        RetryCase{"DeleteTimedOutButDone", TTrayRequest::Delete, {1000, 1460, true}, 1, 1, false},
        RetryCase{"DeleteAfterOneError0", TTrayRequest::Delete, {1, 0, false}, 2, 1, false},
        RetryCase{"DeleteTimingOutForever", TTrayRequest::Delete, {1000, 0, false}, 32, 31, true},
        RetryCase{"DeleteWithOtherError", TTrayRequest::Delete, {1, 1400, false}, 1, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, TaskbarCreatedAddsTheSameRecordAgainWhenTheNewShellLostTheIcon) {
  ActivateAndClear();
  shell.icon_present = false;  // the new shell has never seen it
  tray.TaskbarCreated();

  // The delete is refused with an error that is not retried; the refused
  // modify shows the icon gone.
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"delete", L"modify", L"add", L"version"}));
  EXPECT_TRUE(shell.sleeps.empty());
  EXPECT_TRUE(tray.IconVisible());
  EXPECT_TRUE(shell.icon_present);
  EXPECT_EQ(shell.records.at(2).tip, L"Quillet");
  EXPECT_EQ(shell.records.at(2).icon, 0x1234u);

  // A shell that still has it: deleted and added again.
  shell.log.clear();
  tray.TaskbarCreated();
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"delete", L"add", L"version"}));
  EXPECT_TRUE(tray.IconVisible());
}

TEST_F(TrayIconTest, EndSessionDeletesWhenTheSessionEndsAndAddsWhenItGoesOn) {
  ActivateAndClear();
  tray.EndSession(true);
  EXPECT_FALSE(tray.IconVisible());
  tray.EndSession(false);
  EXPECT_TRUE(tray.IconVisible());
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"delete", L"add", L"version"}));
}

struct HideCase {
  const char* name;
  bool icon_accepted;
  bool already_minimised;
  std::vector<std::wstring> expected;
  bool expected_hidden;
};

void PrintTo(const HideCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayHideTest : public TrayIconTest, public ::testing::WithParamInterface<HideCase> {};

TEST_P(TrayHideTest, MinimiseCommandHidesOnlyWhileThereIsAnIconToComeBackBy) {
  const HideCase& c = GetParam();
  if (!c.icon_accepted) shell.refusals[TTrayRequest::Add] = {1, 5, false};
  ActivateAndClear();
  application.minimised = c.already_minimised;

  tray.MinimiseCommand();

  EXPECT_EQ(shell.log, c.expected);
  EXPECT_TRUE(application.minimised);
  EXPECT_EQ(application.hidden, c.expected_hidden);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrayHideTest,
    ::testing::Values(HideCase{"Shown", true, false, {L"minimise", L"hide"}, true},
                      HideCase{"AlreadyMinimised", true, true, {L"hide"}, true},
                      HideCase{"IconRefused", false, false, {L"minimise"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, MinimiseCommandDoesNothingWithoutTheHook) {
  tray.MinimiseCommand();  // not activated yet
  ActivateAndClear();
  tray.Deactivate();
  shell.log.clear();
  tray.MinimiseCommand();
  EXPECT_TRUE(shell.log.empty());
  EXPECT_FALSE(application.minimised);
}

struct ClickCase {
  const char* name;
  bool hidden;
  std::vector<unsigned> messages;
  std::vector<std::wstring> expected;  // message markers and the calls they cause
};

void PrintTo(const ClickCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayClickTest : public TrayIconTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(TrayClickTest, LeftReleaseAfterAPressRestoresAHiddenWindow) {
  const ClickCase& c = GetParam();
  ActivateAndClear();
  if (c.hidden) HideInTray();
  for (const unsigned message : c.messages) {
    shell.log.push_back(L"#" + std::to_wstring(message));
    EXPECT_EQ(tray.CallbackMessage(message), 0);
  }
  EXPECT_EQ(shell.log, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Mouse, TrayClickTest,
    ::testing::Values(
        ClickCase{
            "LeftClickWhileHidden", true, {0x201, 0x202}, {L"#513", L"#514", L"show", L"restore"}},
        ClickCase{"LeftClickWhileShown", false, {0x201, 0x202}, {L"#513", L"#514"}},
        ClickCase{"ReleaseWithoutPress", true, {0x202}, {L"#514"}},
        ClickCase{"MoveBetweenPressAndRelease",
                  true,
                  {0x201, 0x200, 0x202},
                  {L"#513", L"#512", L"#514", L"show", L"restore"}},
        ClickCase{"DoubleClickRestoresAtFirstRelease",
                  true,
                  {0x201, 0x202, 0x203, 0x202},
                  {L"#513", L"#514", L"show", L"restore", L"#515", L"#514"}},
        ClickCase{
            "RightClick", true, {0x204, 0x205, 0x206, 0x205}, {L"#516", L"#517", L"#518", L"#517"}},
        ClickCase{"MiddleClick", true, {0x207, 0x208}, {L"#519", L"#520"}},
        ClickCase{"RightReleaseCancelsLeftPress",
                  true,
                  {0x201, 0x205, 0x202},
                  {L"#513", L"#517", L"#514"}},
        ClickCase{"ContextMenuSelectAndKeySelect",
                  true,
                  {0x7B, 0x400, 0x401},
                  {L"#123", L"#1024", L"#1025"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, ShowApplicationPutsTheWindowBackAndRestoresIt) {
  ActivateAndClear();
  HideInTray();
  tray.ShowApplication();
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"show", L"restore"}));
  EXPECT_TRUE(tray.ApplicationVisible());
}

TEST_F(TrayIconTest, MinimiseBalloonCancelsThePreviousOneAndIsCounted) {
  ActivateAndClear();
  tray.BalloonHint(L"Information", L"Quillet is minimized.. ", TBalloonType::btInfo, 4000, true);

  EXPECT_EQ(shell.log,
            (std::vector<std::wstring>{L"modify balloon", L"modify balloon", L"timer 4000"}));
  const TNotifyIconRecord& empty = shell.records.at(0);
  EXPECT_EQ(empty.info_title, L"");
  EXPECT_EQ(empty.info, L"");
  EXPECT_EQ(empty.timeout, 5000u);
  EXPECT_EQ(empty.info_flags, 0u);
  const TNotifyIconRecord& shown = shell.records.at(1);
  EXPECT_EQ(shown.info_title, L"Information");
  EXPECT_EQ(shown.info, L"Quillet is minimized.. ");
  EXPECT_EQ(shown.timeout, 4000u);
  EXPECT_EQ(shown.info_flags, 1u);
  EXPECT_EQ(shown.tip, L"Quillet");
  EXPECT_EQ(tray.BalloonCount(), 1);

  // Again while it shows: count + 1 = 2 empty requests first, the count never
  // going below 0, then the new balloon.
  shell.log.clear();
  tray.BalloonHint(L"Information", L"Quillet is minimized.. ", TBalloonType::btInfo, 4000, true);
  EXPECT_EQ(shell.Count(L"modify balloon"), 3);
  EXPECT_EQ(tray.BalloonCount(), 1);

  // Timer 2 clears it.
  shell.log.clear();
  tray.Timer2();
  EXPECT_EQ(shell.log,
            (std::vector<std::wstring>{L"stop timer", L"modify balloon", L"modify balloon"}));
  EXPECT_EQ(tray.BalloonCount(), 0);
}

TEST_F(TrayIconTest, BalloonTextsAreCutAndTypesGiveTheShellsIconFlags) {
  ActivateAndClear();
  const std::pair<TBalloonType, unsigned> flags[] = {{TBalloonType::btNone, 0},
                                                     {TBalloonType::btError, 3},
                                                     {TBalloonType::btInfo, 1},
                                                     {TBalloonType::btWarning, 2}};
  for (const auto& [type, flag] : flags) {
    tray.BalloonHint(std::wstring(70, L't'), std::wstring(300, L'v'), type, 20000, false);
    EXPECT_EQ(shell.records.back().info_flags, flag);
  }
  EXPECT_EQ(shell.records.back().info_title, std::wstring(63, L't'));
  EXPECT_EQ(shell.records.back().info, std::wstring(255, L'v'));
  EXPECT_EQ(shell.records.back().timeout, 20000u);
  EXPECT_EQ(tray.BalloonCount(), 4);
}

struct TimerCase {
  const char* name;
  std::wstring title;
  std::wstring text;
  unsigned delay;
  bool expect_timer;
  int expected_count;
};

void PrintTo(const TimerCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayTimerTest : public TrayIconTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(TrayTimerTest, Timer2RunsOnlyForShortBalloonsWithSomethingToShow) {
  const TimerCase& c = GetParam();
  ActivateAndClear();
  tray.BalloonHint(c.title, c.text, TBalloonType::btWarning, c.delay, false);
  EXPECT_EQ(shell.Count(L"timer " + std::to_wstring(c.delay)), c.expect_timer ? 1 : 0);
  EXPECT_EQ(tray.BalloonCount(), c.expected_count);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrayTimerTest,
                         ::testing::Values(TimerCase{"TitleOnly", L"t", L"", 9999, true, 1},
                                           TimerCase{"TextOnly", L"", L"v", 0, true, 1},
                                           TimerCase{"TenSeconds", L"t", L"v", 10000, false, 1},
                                           TimerCase{"Empty", L"", L"", 4000, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, RefusedOrIconlessBalloonsChangeNothing) {
  tray.BalloonHint(L"t", L"v", TBalloonType::btInfo, 4000, true);  // no icon yet
  EXPECT_TRUE(shell.log.empty());

  ActivateAndClear();
  shell.refusals[TTrayRequest::Modify] = {1, 5, false};
  tray.BalloonHint(L"t", L"v", TBalloonType::btInfo, 4000, false);
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"modify balloon"}));
  EXPECT_EQ(tray.BalloonCount(), 0);
}

TEST_F(TrayIconTest, BalloonTimeoutHidesOnlyAfterMoreWholeSecondsThanTheDelay) {
  ActivateAndClear();
  shell.now = 100.0;
  tray.BalloonHint(L"t", L"v", TBalloonType::btInfo, 4999, false);  // 4 whole seconds
  shell.log.clear();

  shell.now = 104.99;  // 4 whole seconds: the time-out of an earlier balloon
  EXPECT_EQ(tray.CallbackMessage(kNinBalloonTimeout), 1);
  EXPECT_TRUE(shell.log.empty());
  EXPECT_EQ(tray.BalloonCount(), 1);

  shell.now = 105.0;
  EXPECT_EQ(tray.CallbackMessage(kNinBalloonTimeout), 1);
  EXPECT_EQ(shell.log, (std::vector<std::wstring>{L"modify balloon", L"modify balloon"}));
  EXPECT_EQ(tray.BalloonCount(), 0);
}

TEST_F(TrayIconTest, BalloonClickHidesItAndBalloonHiddenDoesNothing) {
  ActivateAndClear();
  tray.BalloonHint(L"t", L"v", TBalloonType::btInfo, 4000, false);
  shell.log.clear();

  EXPECT_EQ(tray.CallbackMessage(kNinBalloonHide), 0);
  EXPECT_TRUE(shell.log.empty());
  EXPECT_EQ(tray.CallbackMessage(kNinBalloonUserClick), 1);
  EXPECT_EQ(shell.Count(L"modify balloon"), 2);
  EXPECT_EQ(tray.BalloonCount(), 0);
}

}  // namespace
}  // namespace quillet::app
