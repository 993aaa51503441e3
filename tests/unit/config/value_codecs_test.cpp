#include "config/value_codecs.h"

#include <gtest/gtest.h>

#include "config/setting_names.h"

namespace quillet::config {
namespace {

TEST(IniInteger, ReadsDecimalAndBothHexFormsAndRejectsTheRest) {
  struct Case {
    const wchar_t* text;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {L"0", 0},
      {L"42", 42},
      {L"-17", -17},
      {L"+5", 5},
      {L"0x1", 1},
      {L"0X1f", 31},
      {L"$1F", 31},
      {L"-$10", -16},
      {L"$FFFFFFFF", -1},  // a hexadecimal number is a 32-bit pattern
      {L"0x7FFFFFFF", 2147483647},
      {L"2147483647", 2147483647},
      {L"-2147483648", -2147483647 - 1},
      {L"2147483648", std::nullopt},  // does not fit: unreadable
      {L"-2147483649", std::nullopt},
      {L"$100000000", std::nullopt},
      {L"99999999999999999999999", std::nullopt},
      {L"", std::nullopt},
      {L"-", std::nullopt},
      {L"0x", std::nullopt},
      {L"$", std::nullopt},
      {L"x1", std::nullopt},
      {L"12a", std::nullopt},
      {L"1 2", std::nullopt},
      {L"Yes", std::nullopt},
      {L"1.5", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseIniInteger(c.text), c.expected)
        << "text: " << ::testing::PrintToString(std::wstring(c.text));
}

TEST(YesNo, WritesYesNoAndReadsTrueOnlyForYesInAnyCase) {
  EXPECT_EQ(YesNoText(true), L"Yes");
  EXPECT_EQ(YesNoText(false), L"No");
  for (const wchar_t* text : {L"Yes", L"YES", L"yes", L"yEs"})
    EXPECT_TRUE(ParseYesNo(text)) << text;
  for (const wchar_t* text : {L"1", L"No", L"", L"Y", L"Yess", L" Yes", L"true"})
    EXPECT_FALSE(ParseYesNo(text)) << text;
}

TEST(CharText, WritesPrintableCodesAsThemselvesAndOthersAsHashNumber) {
  EXPECT_EQ(CharText(0), L"#0");
  EXPECT_EQ(CharText(17), L"#17");
  EXPECT_EQ(CharText(32), L"#32");
  EXPECT_EQ(CharText(33), L"!");
  EXPECT_EQ(CharText(127), L"\x7F");
  EXPECT_EQ(CharText(128), L"#128");
  EXPECT_EQ(CharText(255), L"#255");
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(ParseCharText(CharText(static_cast<std::uint8_t>(code))), code) << code;
  }
}

TEST(CharText, ReadsOddValues) {
  struct Case {
    const wchar_t* text;
    int expected;
  };
  const Case cases[] = {
      {L"", 0},          {L"#300", 44},  {L"ABC", 'A'},
      {L"#", '#'},       {L"#x1", 0},    {L"#17", 17},
      {L"#-1", 255},     {L"#$41", 'A'}, {L"#99999999999", 0},
      {L"\x20AC", 0xAC},  // not a byte: its low 8 bits
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseCharText(c.text), c.expected) << ::testing::PrintToString(std::wstring(c.text));
}

TEST(SettingNames, LookUpIgnoringCaseAndFallBack) {
  EXPECT_EQ(kBaudRateTexts[ParseSettingName(kBaudRateNames, L"fast")], L"9600");
  EXPECT_EQ(kBaudRateTexts[ParseSettingName(kBaudRateNames, L"115200")], L"115200");
  EXPECT_EQ(ParseSettingName(kBaudRateNames, L"cUsToM"), 0u);
  EXPECT_EQ(kStopBitsTexts[ParseSettingName(kStopBitsNames, L"1,5")], L"1");
  EXPECT_EQ(kStopBitsTexts[ParseSettingName(kStopBitsNames, L"1.5")], L"1.5");
  EXPECT_EQ(kDataBitsTexts[ParseSettingName(kDataBitsNames, L"9")], L"8");
  EXPECT_EQ(kParityTexts[ParseSettingName(kParityNames, L"even")], L"Even");
  EXPECT_EQ(kParityTexts[ParseSettingName(kParityNames, L"")], L"None");
  EXPECT_EQ(kFlowControlTexts[ParseSettingName(kFlowControlNames, L"RTS/CTS")], L"Custom");
  EXPECT_EQ(kFlowControlTexts[ParseSettingName(kFlowControlNames, L"SOFTWARE")], L"Software");
  EXPECT_EQ(kRtsFlowTexts[ParseSettingName(kRtsFlowNames, L"toggle")], L"Toggle");
  EXPECT_EQ(kRtsFlowTexts[ParseSettingName(kRtsFlowNames, L"on")], L"Disable");
  EXPECT_EQ(kDtrFlowTexts[ParseSettingName(kDtrFlowNames, L"Toggle")], L"Disable");
}

}  // namespace
}  // namespace quillet::config
