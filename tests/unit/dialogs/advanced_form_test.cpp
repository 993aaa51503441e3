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

  std::map<AdvancedText, std::wstring> texts;
  std::map<AdvancedCheck, bool> checks;
  std::vector<std::wstring> do_history;
  int closed = 0;
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
  AdvancedFields fields_;
  AdvancedForm form_{profile_, shell_, view_, fields_};
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
                 {AdvancedText::seDo, L"12"}};
  form_.btnzatvoriClick();
  EXPECT_EQ(view_.closed, 1);
  EXPECT_EQ(IniText(),
            "[Napredna]\r\ncbprefiks=1\r\ncbsufiks=0\r\ncbCR=0\r\ncbLF=1\r\nSufiks=SUF\r\nPrefiks="
            "PRE\r\nDo=12\r\nOd=4\r\n");
  EXPECT_TRUE(fields_.FIncPrefiks);
  EXPECT_FALSE(fields_.FIncSufiks);
  EXPECT_FALSE(fields_.FEnter);
  EXPECT_TRUE(fields_.FLF);
  EXPECT_EQ(fields_.FPrefiks, L"PRE");
  EXPECT_EQ(fields_.FSufiks, L"SUF");
  EXPECT_EQ(fields_.FOd, 4);
  EXPECT_EQ(fields_.FDo, 12);

  // And back: a new dialog loads the same eight values.
  FakeAdvancedView again;
  AdvancedFields fields2;
  AdvancedForm form2(profile_, shell_, again, fields2);
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
