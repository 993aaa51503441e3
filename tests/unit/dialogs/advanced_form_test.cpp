#include "app/advanced_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "os/exception.h"
#include "os/sim/profile_sim.h"
#include "os/sim/shell_sim.h"

namespace quillet::app {
namespace {

namespace fs = std::filesystem;

// The dialog's controls as plain values; a write log shows the order.
class FakeAdvancedView final : public AdvancedView {
 public:
  std::wstring Text(AdvancedText c) const override {
    const auto it = texts.find(c);
    return it == texts.end() ? L"" : it->second;
  }
  void SetText(AdvancedText c, const std::wstring& text) override {
    texts[c] = text;
    if (c == AdvancedText::seDo) do_history.push_back(text);
  }
  bool Checked(AdvancedCheck c) const override {
    const auto it = checks.find(c);
    return it != checks.end() && it->second;
  }
  void SetChecked(AdvancedCheck c, bool checked) override { checks[c] = checked; }
  void CloseDialog() override { ++closed; }
  void SetChoices(const std::vector<std::wstring>& captions, int selected) override {
    choices = captions;
    choice = selected;
  }
  int Choice() const override { return choice; }
  void ShowChoiceState(const std::wstring& text, bool can_use_common) override {
    note = text;
    use_common = can_use_common;
  }

  std::map<AdvancedText, std::wstring> texts;
  std::map<AdvancedCheck, bool> checks;
  std::vector<std::wstring> do_history;
  int closed = 0;
  std::vector<std::wstring> choices;
  int choice = 0;
  std::wstring note;
  bool use_common = false;
};

class AdvancedFormTest : public ::testing::Test {
 protected:
  AdvancedFormTest() {
    root_ =
        fs::temp_directory_path() /
        ("quillet_dialogs_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "AppData" / "Brovana" / "Quillet");
    shell_.SetAppDataFolder((root_ / "AppData").wstring());
  }
  ~AdvancedFormTest() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path IniPath() const { return root_ / "AppData" / "Brovana" / "Quillet" / "skeneri.ini"; }
  void WriteIni(const std::string& text) { std::ofstream(IniPath(), std::ios::binary) << text; }
  std::string IniText() const {
    std::ifstream in(IniPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // What the user does: the text changes, the box reports the change.
  void Type(AdvancedText spin, const std::wstring& text) {
    view_.texts[spin] = text;
    form_.SpinChanged(spin);
  }

  fs::path root_;
  os::sim::SimProfile profile_;
  os::sim::SimShell shell_;
  FakeAdvancedView view_;
  AdvancedSettings settings_;
  AdvancedFields& fields_ = settings_.common;
  AdvancedForm form_{profile_, shell_, view_, settings_};
};

TEST_F(AdvancedFormTest, NoFileOrNoSectionLoadsClearBoxesAndZeroes) {
  for (const char* content : {"", "[Aktivacija]\r\ncbotvori1=1\r\n"}) {
    if (*content != '\0') WriteIni(content);
    fields_ = {L"X", L"Y", true, true, true, true, 7, 8};
    form_.FormCreate();
    EXPECT_EQ(view_.Text(AdvancedText::edprefiks), L"");
    EXPECT_EQ(view_.Text(AdvancedText::edsufiks), L"");
    EXPECT_EQ(view_.Text(AdvancedText::seOd), L"0");
    EXPECT_EQ(view_.Text(AdvancedText::seDo), L"0");
    for (auto c : {AdvancedCheck::cbprefiks, AdvancedCheck::cbsufiks, AdvancedCheck::cbCR,
                   AdvancedCheck::cbLF}) {
      EXPECT_FALSE(view_.Checked(c));
    }
    EXPECT_EQ(fields_.FSufiks, L"");
    EXPECT_EQ(fields_.FPrefiks, L"");
    EXPECT_FALSE(fields_.FIncSufiks || fields_.FIncPrefiks || fields_.FEnter || fields_.FLF);
    EXPECT_EQ(fields_.FOd, 0);
    EXPECT_EQ(fields_.FDo, 0);
  }
}

TEST_F(AdvancedFormTest, LoadFillsBoxesAndMirrorsEveryValue) {
  WriteIni(
      "[Napredna]\r\ncbprefiks=1\r\ncbsufiks=0\r\ncbCR=1\r\ncbLF=1\r\nSufiks=END\r\nPrefiks="
      "ab\r\nOd=2\r\nDo=9\r\n");
  form_.FormCreate();
  EXPECT_TRUE(view_.Checked(AdvancedCheck::cbprefiks));
  EXPECT_FALSE(view_.Checked(AdvancedCheck::cbsufiks));
  EXPECT_EQ(view_.Text(AdvancedText::edprefiks),
            L"ab");  // the box turns typing upper case, not stored text
  EXPECT_EQ(fields_.FPrefiks, L"ab");
  EXPECT_EQ(fields_.FSufiks, L"END");
  EXPECT_TRUE(fields_.FIncPrefiks);
  EXPECT_FALSE(fields_.FIncSufiks);
  EXPECT_TRUE(fields_.FEnter);
  EXPECT_TRUE(fields_.FLF);
  EXPECT_EQ(fields_.FOd, 2);
  EXPECT_EQ(fields_.FDo, 9);
}

TEST_F(AdvancedFormTest, StoredRangeGoesThroughTheCouplingOnLoad) {
  struct Case {
    const char* od;
    const char* to;
    const wchar_t* shown_od;
    const wchar_t* shown_do;
    int f_od, f_do;
  };
  const Case cases[] = {
      {"5", "5", L"5", L"6", 5, 6},        // equal values: "to" moves one past "from"
      {"5", "3", L"5", L"3", 5, 3},        // "to" below "from" is left alone
      {"100", "0", L"100", L"0", 100, 0},  // "from" set "to" to 100, then the stored 0 came in
      {"99", "99", L"99", L"100", 99, 100}, {"250", "0", L"250", L"0", 250, 0},  // shown unclamped
      {"-4", "7", L"-4", L"7", -4, 7},
  };
  for (const Case& c : cases) {
    WriteIni(std::string("[Napredna]\r\nOd=") + c.od + "\r\nDo=" + c.to + "\r\n");
    view_.texts.clear();
    form_.FormCreate();
    EXPECT_EQ(view_.Text(AdvancedText::seOd), c.shown_od) << c.od << "/" << c.to;
    EXPECT_EQ(view_.Text(AdvancedText::seDo), c.shown_do) << c.od << "/" << c.to;
    EXPECT_EQ(fields_.FOd, c.f_od) << c.od << "/" << c.to;
    EXPECT_EQ(fields_.FDo, c.f_do) << c.od << "/" << c.to;
  }
}

TEST_F(AdvancedFormTest, TypingFromOneHundredByHandSetsToOneHundredAndTheChainStops) {
  WriteIni("[Napredna]\r\nOd=100\r\nDo=0\r\n");
  form_.FormCreate();
  ASSERT_EQ(view_.Text(AdvancedText::seDo), L"0");
  view_.do_history.clear();
  Type(AdvancedText::seOd, L"");
  Type(AdvancedText::seOd, L"1");
  Type(AdvancedText::seOd, L"10");
  Type(AdvancedText::seOd, L"100");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"100");
  EXPECT_EQ(view_.do_history, (std::vector<std::wstring>{L"2", L"11", L"100"}));
  // "from" back to 0 leaves "to" alone.
  Type(AdvancedText::seOd, L"0");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"100");
  // "to" typed equal to "from" moves past it.
  Type(AdvancedText::seOd, L"40");
  Type(AdvancedText::seDo, L"40");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"41");
}

TEST_F(AdvancedFormTest, LeavingABoxClampsNumbersOnlyAndTheCouplingFollows) {
  WriteIni("[Napredna]\r\nOd=250\r\n");
  form_.FormCreate();
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"250");
  EXPECT_EQ(fields_.FOd, 250);
  form_.SpinExit(AdvancedText::seOd);
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"100");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"100");

  struct Case {
    const wchar_t* typed;
    const wchar_t* after;
  };
  for (const Case& c : {Case{L"-7", L"0"}, Case{L"101", L"100"}, Case{L"", L""}, Case{L"-", L"-"},
                        Case{L"+", L"+"}, Case{L"3,5", L"3,5"}, Case{L"42", L"42"}}) {
    view_.texts[AdvancedText::seDo] = c.typed;
    form_.SpinExit(AdvancedText::seDo);
    EXPECT_EQ(view_.Text(AdvancedText::seDo), c.after) << c.typed;
  }
}

TEST_F(AdvancedFormTest, ArrowsStepByOneWithinTheRange) {
  form_.FormCreate();
  form_.SpinStep(AdvancedText::seDo, -1);
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"0");
  form_.SpinStep(AdvancedText::seOd, +1);
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"1");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"2");  // coupling
  view_.texts[AdvancedText::seOd] = L"100";
  form_.SpinStep(AdvancedText::seOd, +1);
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"100");
  view_.texts[AdvancedText::seOd] = L"abc";  // not a number counts as 0
  form_.SpinStep(AdvancedText::seOd, +1);
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"1");
}

TEST_F(AdvancedFormTest, SpinBoxesTakeDigitsSignsTheSeparatorAndControlKeysButNotEnter) {
  for (wchar_t ch : {L'0', L'9', L'+', L'-', L',', L'\b', L'\x03', L'\x16', L'\t'}) {
    EXPECT_TRUE(SpinAcceptsChar(ch, L',')) << static_cast<int>(ch);
  }
  for (wchar_t ch : {L'\r', L'\n', L'a', L'.', L' ', L'e'}) {
    EXPECT_FALSE(SpinAcceptsChar(ch, L',')) << static_cast<int>(ch);
  }
  EXPECT_TRUE(SpinAcceptsChar(L'.', L'.'));
}

TEST_F(AdvancedFormTest, ResetClearsTheBoxesButWritesNothingAndKeepsTheFields) {
  WriteIni(
      "[Napredna]\r\ncbprefiks=1\r\ncbsufiks=1\r\ncbCR=1\r\ncbLF=1\r\nSufiks=S\r\nPrefiks=P\r\nOd="
      "3\r\nDo=8\r\n");
  form_.FormCreate();
  const std::string before = IniText();
  const AdvancedFields fields_before = fields_;
  form_.Button1Click();
  for (auto c : {AdvancedText::edprefiks, AdvancedText::edsufiks}) EXPECT_EQ(view_.Text(c), L"");
  EXPECT_EQ(view_.Text(AdvancedText::seOd), L"0");
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"0");
  for (auto c : {AdvancedCheck::cbprefiks, AdvancedCheck::cbsufiks, AdvancedCheck::cbCR,
                 AdvancedCheck::cbLF}) {
    EXPECT_FALSE(view_.Checked(c));
  }
  EXPECT_EQ(IniText(), before);
  EXPECT_EQ(fields_.FPrefiks, fields_before.FPrefiks);
  EXPECT_EQ(fields_.FDo, fields_before.FDo);
  EXPECT_TRUE(fields_.FEnter);
  EXPECT_EQ(view_.closed, 0);
}

TEST_F(AdvancedFormTest, SaveAndCloseWritesInItsOrderMirrorsTheFieldsAndCloses) {
  view_.checks = {{AdvancedCheck::cbprefiks, true},
                  {AdvancedCheck::cbsufiks, false},
                  {AdvancedCheck::cbCR, false},
                  {AdvancedCheck::cbLF, true}};
  view_.texts = {{AdvancedText::edprefiks, L"PRE"},
                 {AdvancedText::edsufiks, L"SUF"},
                 {AdvancedText::seOd, L"4"},
                 {AdvancedText::seDo, L"12"},
                 {AdvancedText::seCharDelay, L"40"}};
  form_.btnzatvoriClick();
  EXPECT_EQ(view_.closed, 1);
  EXPECT_EQ(IniText(),
            "[Napredna]\r\ncbprefiks=1\r\ncbsufiks=0\r\ncbCR=0\r\ncbLF=1\r\nSufiks=SUF\r\nPrefiks="
            "PRE\r\nDo=12\r\nOd=4\r\nCharDelay=40\r\n");
  EXPECT_TRUE(fields_.FIncPrefiks);
  EXPECT_FALSE(fields_.FIncSufiks);
  EXPECT_FALSE(fields_.FEnter);
  EXPECT_TRUE(fields_.FLF);
  EXPECT_EQ(fields_.FPrefiks, L"PRE");
  EXPECT_EQ(fields_.FSufiks, L"SUF");
  EXPECT_EQ(fields_.FOd, 4);
  EXPECT_EQ(fields_.FDo, 12);
  EXPECT_EQ(fields_.CharDelay, 40);

  // And back: a new dialog loads the same values.
  FakeAdvancedView again;
  AdvancedSettings settings2;
  AdvancedForm form2(profile_, shell_, again, settings2);
  form2.FormCreate();
  EXPECT_EQ(again.texts, view_.texts);
  EXPECT_EQ(again.checks, view_.checks);
}

TEST_F(AdvancedFormTest, SaveStopsAtATextThatIsNoWholeNumberAndKeepsWhatWasWritten) {
  struct Case {
    const wchar_t* od;
    const wchar_t* to;
    const wchar_t* message;
    const wchar_t* od_after;  // stored Od/Do after the failed save
    const wchar_t* do_after;
    int f_od, f_do;
  };
  const Case cases[] = {
      {L"4", L"", L"'' is not a valid integer value", L"1", L"2", 1, 2},
      {L"-", L"7", L"'-' is not a valid integer value", L"1", L"7", 1, 7},
      {L"5", L"2147483648", L"'2147483648' is not a valid integer value", L"1", L"2", 1, 2},
  };
  for (const Case& c : cases) {
    WriteIni("[Napredna]\r\ncbCR=0\r\nSufiks=old\r\nOd=1\r\nDo=2\r\n");
    fields_ = {};
    fields_.FOd = 1;
    fields_.FDo = 2;
    view_.closed = 0;
    view_.checks = {{AdvancedCheck::cbCR, true}};
    view_.texts = {
        {AdvancedText::edsufiks, L"NEW"}, {AdvancedText::seOd, c.od}, {AdvancedText::seDo, c.to}};
    try {
      form_.btnzatvoriClick();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(view_.closed, 0) << "the dialog stays open";
    config::TIniFile ini(profile_, IniPath().wstring());
    EXPECT_TRUE(ini.ReadBool(L"Napredna", L"cbCR", false)) << "earlier keys stay written";
    EXPECT_EQ(ini.ReadString(L"Napredna", L"Sufiks", L""), L"NEW");
    EXPECT_EQ(ini.ReadString(L"Napredna", L"Od", L""), c.od_after);
    EXPECT_EQ(ini.ReadString(L"Napredna", L"Do", L""), c.do_after);
    EXPECT_EQ(fields_.FOd, c.f_od);
    EXPECT_EQ(fields_.FDo, c.f_do);
  }
}

TEST_F(AdvancedFormTest, AFailedWriteReportsThePathAndKeepsTheDialogOpen) {
  fs::remove_all(root_ / "AppData" / "Brovana");  // no folder: the write fails
  form_.FormCreate();
  try {
    form_.btnzatvoriClick();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind(L"Unable to write to ", 0), 0u) << e.what();
  }
  EXPECT_EQ(view_.closed, 0);
}

// --- settings per port ---

TEST_F(AdvancedFormTest, ARowWithItsOwnSectionUsesItWholeEveryOtherRowTheCommonOne) {
  WriteIni(
      "[Napredna]\r\ncbsufiks=1\r\nSufiks=ALL\r\ncbCR=1\r\nCharDelay=5\r\n"
      "[Napredna2]\r\nSufiks={TAB}\r\n"  // only a text: the flags are its own (clear)
      "[Napredna5]\r\ncbsufiks=1\r\nCharDelay=5000\r\n"  // brought within 0..1000
      "[Napredna6]\r\nOd=5\r\nDo=5\r\nCharDelay=-3\r\n"  // the range as the dialog shows it
      "[Napredna7]\r\nunknown=1\r\n"                     // no key of ours: not settings of its own
      "[Napredna9]\r\ncbCR=0\r\n");                      // no such row
  form_.FormCreate();
  EXPECT_EQ(fields_.FSufiks, L"ALL");
  EXPECT_EQ(fields_.CharDelay, 5);
  struct Case {
    int row;
    bool own;
    bool incSufiks, enter;
    int od, to, delay;
  };
  const Case cases[] = {{1, false, true, true, 0, 0, 5},    {2, true, false, false, 0, 0, 0},
                        {5, true, true, false, 0, 0, 1000}, {6, true, false, false, 5, 6, 0},
                        {7, false, true, true, 0, 0, 5},    {8, false, true, true, 0, 0, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(settings_.own[static_cast<std::size_t>(c.row - 1)].has_value(), c.own);
    const AdvancedFields& used = settings_.For(c.row);
    EXPECT_EQ(&used == &settings_.common, !c.own);
    EXPECT_EQ(used.FIncSufiks, c.incSufiks);
    EXPECT_EQ(used.FEnter, c.enter);
    EXPECT_EQ(used.FOd, c.od);
    EXPECT_EQ(used.FDo, c.to);
    EXPECT_EQ(used.CharDelay, c.delay);
  }
  EXPECT_EQ(settings_.For(2).FSufiks, L"{TAB}");
  // Rows out of range use the common settings too.
  EXPECT_EQ(&settings_.For(0), &settings_.common);
  EXPECT_EQ(&settings_.For(9), &settings_.common);
}

TEST_F(AdvancedFormTest, AFileWithoutTheNewSectionsGivesEveryRowTheCommonSettings) {
  for (const char* content : {"", "[Napredna]\r\ncbprefiks=1\r\nPrefiks=P\r\n"}) {
    if (*content != '\0') WriteIni(content);
    form_.FormCreate();
    for (const auto& own : settings_.own) EXPECT_FALSE(own.has_value()) << content;
    EXPECT_EQ(settings_.AnyOn(), fields_.AnyOn()) << content;
  }
  EXPECT_EQ(IniText(), "[Napredna]\r\ncbprefiks=1\r\nPrefiks=P\r\n") << "loading writes nothing";
}

TEST_F(AdvancedFormTest, TheChoiceListsEveryRowByNameAndPort) {
  settings_.rowCaption = [](int row) {
    return L"skener" + std::to_wstring(row) + L" (COM" + std::to_wstring(row + 6) + L")";
  };
  form_.FormCreate();
  ASSERT_EQ(view_.choices.size(), 9u);
  EXPECT_EQ(view_.choices[0], L"All ports");
  EXPECT_EQ(view_.choices[2], L"skener2 (COM8)");
  EXPECT_EQ(view_.choice, 0);
  EXPECT_FALSE(view_.use_common);
}

TEST_F(AdvancedFormTest, LoadAndSaveWorkOnTheShownChoiceAndARowCanGoBackToTheCommonSettings) {
  const std::string common = "[Napredna]\r\ncbsufiks=1\r\nSufiks=ALL\r\n";
  WriteIni(common);
  form_.FormCreate();

  // A row without its own settings starts from the common ones.
  view_.choice = 2;
  form_.ChoiceChanged();
  EXPECT_EQ(view_.Text(AdvancedText::edsufiks), L"ALL");
  EXPECT_TRUE(view_.Checked(AdvancedCheck::cbsufiks));
  EXPECT_FALSE(view_.use_common);
  EXPECT_NE(view_.note.find(L"skener2 uses the settings for all ports"), std::wstring::npos);

  // Save && Close gives it its own, whole; the common ones stay as they were.
  view_.texts[AdvancedText::edsufiks] = L"{TAB}";
  view_.texts[AdvancedText::seCharDelay] = L"40";
  form_.btnzatvoriClick();
  EXPECT_EQ(view_.closed, 1);
  EXPECT_EQ(IniText(), common +
                           "[Napredna2]\r\ncbprefiks=0\r\ncbsufiks=1\r\ncbCR=0\r\ncbLF=0\r\n"
                           "Sufiks={TAB}\r\nPrefiks=\r\nDo=0\r\nOd=0\r\nCharDelay=40\r\n");
  ASSERT_TRUE(settings_.own[1].has_value());
  EXPECT_EQ(settings_.For(2).FSufiks, L"{TAB}");
  EXPECT_EQ(settings_.For(2).CharDelay, 40);
  EXPECT_EQ(fields_.FSufiks, L"ALL");
  EXPECT_EQ(fields_.CharDelay, 0);
  EXPECT_TRUE(view_.use_common);

  // Back and forth: each choice shows its own values.
  view_.choice = 0;
  form_.ChoiceChanged();
  EXPECT_EQ(view_.Text(AdvancedText::edsufiks), L"ALL");
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"0");
  view_.choice = 2;
  form_.ChoiceChanged();
  EXPECT_EQ(view_.Text(AdvancedText::edsufiks), L"{TAB}");
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"40");

  // Use the common settings again: the section goes, the row follows [Napredna].
  form_.UseCommonClick();
  EXPECT_EQ(IniText(), common);
  EXPECT_FALSE(settings_.own[1].has_value());
  EXPECT_EQ(&settings_.For(2), &settings_.common);
  EXPECT_EQ(view_.Text(AdvancedText::edsufiks), L"ALL");
  EXPECT_FALSE(view_.use_common);

  // A new start reads what the file holds.
  AdvancedSettings again;
  FakeAdvancedView again_view;
  AdvancedForm again_form(profile_, shell_, again_view, again);
  again_form.FormCreate();
  EXPECT_FALSE(again.own[1].has_value());
}

TEST_F(AdvancedFormTest, ARowWhoseSaveOrRemovalFailsKeepsWhatTheFileHolds) {
  WriteIni("[Napredna]\r\nSufiks=ALL\r\n[Napredna3]\r\nSufiks=OWN\r\n");
  form_.FormCreate();
  view_.choice = 4;
  form_.ChoiceChanged();
  profile_.SetReadOnlyMedium(true);
  view_.texts[AdvancedText::edsufiks] = L"NEW";
  EXPECT_THROW(form_.btnzatvoriClick(), Exception);
  EXPECT_EQ(view_.closed, 0);
  EXPECT_FALSE(settings_.own[3].has_value()) << "nothing was written, so no settings of its own";

  view_.choice = 3;
  form_.ChoiceChanged();
  try {
    form_.UseCommonClick();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind(L"Unable to write to ", 0), 0u);
  }
  ASSERT_TRUE(settings_.own[2].has_value());
  EXPECT_EQ(settings_.For(3).FSufiks, L"OWN");
  EXPECT_EQ(IniText(), "[Napredna]\r\nSufiks=ALL\r\n[Napredna3]\r\nSufiks=OWN\r\n");
}

TEST_F(AdvancedFormTest, TheDelayBoxKeepsWithinZeroToOneThousand) {
  form_.FormCreate();
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"0");
  Type(AdvancedText::seCharDelay, L"2500");
  form_.SpinExit(AdvancedText::seCharDelay);
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"1000");
  form_.SpinStep(AdvancedText::seCharDelay, 1);
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"1000");
  Type(AdvancedText::seCharDelay, L"150");
  form_.SpinExit(AdvancedText::seCharDelay);
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"150") << "above the range boxes' 100";
  EXPECT_EQ(view_.Text(AdvancedText::seDo), L"0") << "the delay is not part of the range";
  form_.Button1Click();
  EXPECT_EQ(view_.Text(AdvancedText::seCharDelay), L"0");
}

TEST(WholeNumberTest, AcceptsASignAndDigitsWithin32Bits) {
  struct Case {
    const wchar_t* text;
    bool ok;
    int value;
  };
  const Case cases[] = {{L"0", true, 0},
                        {L"+12", true, 12},
                        {L"-2147483648", true, INT32_MIN},
                        {L"2147483647", true, 2147483647},
                        {L"2147483648", false, 0},
                        {L"", false, 0},
                        {L"-", false, 0},
                        {L" 5", false, 0},
                        {L"5 ", false, 0},
                        {L"1.5", false, 0},
                        {L"0x10", false, 0}};
  for (const Case& c : cases) {
    int value = -99;
    EXPECT_EQ(ParseWholeNumber(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(SpinValue(c.text), c.value) << c.text;
  }
}

}  // namespace
}  // namespace quillet::app
