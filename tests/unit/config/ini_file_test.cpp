#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "os/exception.h"
#include "os/sim/profile_sim.h"
#include "temp_folder.h"

namespace quillet::config {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  TIniFile Ini() { return TIniFile(profile_, folder_.Windows("skeneri.ini")); }

  os::sim::SimProfile profile_;
  testing::TempFolder folder_;
};

TEST_F(IniFileTest, MissingFileGivesEveryDefault) {
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Prefiks", L"none"), L"none");
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", -3), -3);
  EXPECT_FALSE(ini.ReadBool(L"Aktivacija", L"cbotvori1", false));
  EXPECT_TRUE(ini.ReadBool(L"Aktivacija", L"cbotvori1", true));
  EXPECT_FALSE(std::filesystem::exists(folder_.Native() / "skeneri.ini"));
}

TEST_F(IniFileTest, WritersUseDecimalAndOneZeroFlagsInOrderOfFirstWrite) {
  auto ini = Ini();
  ini.WriteBool(L"Aktivacija", L"cbotvori1", true);
  ini.WriteBool(L"Aktivacija", L"cbotvori2", false);
  ini.WriteInteger(L"Napredna", L"Od", -12);
  ini.WriteString(L"Napredna", L"Sufiks", L"\u00e9nd");
  ini.WriteBool(L"aktivacija", L"CBOTVORI1", false);  // names match ignoring case; updated in place
  EXPECT_EQ(
      folder_.ReadBytes("skeneri.ini"),
      "[Aktivacija]\r\ncbotvori1=0\r\ncbotvori2=0\r\n[Napredna]\r\nOd=-12\r\nSufiks=\xE9nd\r\n");
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 0), -12);
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Sufiks", L""), L"\u00e9nd");
}

TEST_F(IniFileTest, FlagsAndIntegersReadFromHandWrittenValues) {
  struct Case {
    const char* value;
    int asInteger;  // with the default 7
    bool asFlagDefaultFalse;
    bool asFlagDefaultTrue;
  };
  const Case cases[] = {
      {"0", 0, false, false},  {"1", 1, true, true},       {"2", 2, true, true},
      {"0x1", 1, true, true},  {"-1", -1, true, true},     {"$1F", 31, true, true},
      {"Yes", 7, false, true}, {"", 7, false, true},       {"4294967296", 7, false, true},
      {" 5 ", 5, true, true},  {"\"12\"", 12, true, true}, {"0X0", 0, false, false},
  };
  for (const auto& c : cases) {
    folder_.WriteBytes("skeneri.ini", std::string("[Startup]\r\nRunMinimized=") + c.value + "\r\n");
    auto ini = Ini();
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ini.ReadInteger(L"Startup", L"RunMinimized", 7), c.asInteger);
    EXPECT_EQ(ini.ReadBool(L"Startup", L"RunMinimized", false), c.asFlagDefaultFalse);
    EXPECT_EQ(ini.ReadBool(L"Startup", L"RunMinimized", true), c.asFlagDefaultTrue);
  }
}

TEST_F(IniFileTest, LongValueReadsBackAsItsFirst2047Characters) {
  auto ini = Ini();
  std::wstring prefix(3000, L'p');
  prefix[2046] = L'L';
  prefix[2047] = L'X';
  ini.WriteString(L"Napredna", L"Prefiks", prefix);
  const std::wstring read = ini.ReadString(L"Napredna", L"Prefiks", L"");
  EXPECT_EQ(read, prefix.substr(0, 2047));
  EXPECT_EQ(read.back(), L'L');
}

TEST_F(IniFileTest, FailedWriteThrowsWithThePath) {
  const std::wstring path = folder_.Windows("missing") + L"\\skeneri.ini";
  TIniFile ini(profile_, path);
  try {
    ini.WriteBool(L"Aktivacija", L"cbotvori1", true);
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), L"Unable to write to " + path);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.Native() / "missing"));
}

TEST_F(IniFileTest, WriteToAReadOnlyMediumThrowsAndKeepsTheFile) {
  const std::string stored = "[Startup]\r\nRunMinimized=0\r\n";
  folder_.WriteBytes("skeneri.ini", stored);
  profile_.SetReadOnlyMedium(true);
  auto ini = Ini();
  try {
    ini.WriteBool(L"Startup", L"RunMinimized", true);
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), L"Unable to write to " + folder_.Windows("skeneri.ini"));
  }
  EXPECT_FALSE(ini.ReadBool(L"Startup", L"RunMinimized", true));
  EXPECT_EQ(folder_.ReadBytes("skeneri.ini"), stored);
  // A value equal to the stored one needs no write, as on Windows.
  EXPECT_NO_THROW(ini.WriteBool(L"Startup", L"RunMinimized", false));
}

}  // namespace
}  // namespace quillet::config
