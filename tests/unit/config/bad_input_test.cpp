// Configuration files nobody should have, read and written through the typed
// readers and the profile emulation: binary garbage, 100 000 sections, lines
// of a megabyte, numbers beyond 32 bits. Reading must give each reader its
// default or the parsed value, and a later write must keep every other
// section and key.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "config/ini_file.h"
#include "os/sim/profile_sim.h"
#include "tests/unit/config/profile_keys.h"
#include "tests/unit/config/temp_folder.h"

namespace quillet::config {
namespace {

using testing::Garbage;
using testing::Values;
using testing::VisibleValues;

class BadInputTest : public ::testing::Test {
 protected:
  TIniFile Ini() { return TIniFile(profile_, folder_.Windows("skeneri.ini")); }
  void WriteFile(const std::string& bytes) { folder_.WriteBytes("skeneri.ini", bytes); }
  std::string FileBytes() { return folder_.ReadBytes("skeneri.ini"); }

  // Every value the program reads from its own sections, with the defaults
  // it uses.
  void ExpectProgramDefaults() {
    auto ini = Ini();
    for (int row = 1; row <= 8; ++row) {
      EXPECT_FALSE(ini.ReadBool(L"Aktivacija", L"cbotvori" + std::to_wstring(row), false)) << row;
    }
    EXPECT_FALSE(ini.ReadBool(L"Startup", L"RunMinimized", false));
    for (const wchar_t* flag : {L"cbprefiks", L"cbsufiks", L"cbCR", L"cbLF"}) {
      EXPECT_FALSE(ini.ReadBool(L"Napredna", flag, false)) << flag;
    }
    EXPECT_EQ(ini.ReadString(L"Napredna", L"Sufiks", L""), L"");
    EXPECT_EQ(ini.ReadString(L"Napredna", L"Prefiks", L""), L"");
    EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 0), 0);
    EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Do", 0), 0);
  }

  os::sim::SimProfile profile_;
  testing::TempFolder folder_;
};

TEST_F(BadInputTest, BinaryGarbageGivesDefaultsAndAWriteKeepsEveryKeyTheSystemSaw) {
  const std::string garbage = Garbage(7, 64 * 1024);
  const std::pair<const char*, std::string> files[] = {
      {"ANSI", garbage},
      {"UTF-16 LE", "\xFF\xFE" + garbage},
      {"UTF-16 BE", "\xFE\xFF" + garbage},
      {"UTF-8", "\xEF\xBB\xBF" + garbage},
      {"NULs", std::string(4096, '\0')},
      {"odd length UTF-16", "\xFF\xFE" + garbage.substr(0, 4095)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    WriteFile(bytes);
    ExpectProgramDefaults();
    const Values before = VisibleValues(bytes);
    ASSERT_FALSE(before.empty() && bytes.size() > 8192) << "garbage this large has some lines";

    Ini().WriteBool(L"Aktivacija", L"cbotvori1", true);
    EXPECT_TRUE(Ini().ReadBool(L"Aktivacija", L"cbotvori1", false));
    const Values after = VisibleValues(FileBytes());
    EXPECT_EQ(after.count({u"aktivacija", u"cbotvori1"}), 1u);
    for (const auto& [names, value] : before) {
      const auto kept = after.find(names);
      EXPECT_TRUE(kept != after.end() && kept->second == value)
          << "[" << ::testing::PrintToString(names.first) << "] "
          << ::testing::PrintToString(names.second);
    }
  }
}

TEST_F(BadInputTest, GarbageAroundTheProgramsSectionsLeavesThemReadable) {
  // Garbage first, so that the sections start on a line of their own.
  WriteFile(Garbage(11, 32 * 1024) + "\r\n[Napredna]\r\nOd=42\r\nSufiks=END\r\n" +
            Garbage(12, 32 * 1024));
  auto ini = Ini();
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 0), 42);
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Sufiks", L""), L"END");
  EXPECT_FALSE(ini.ReadBool(L"Startup", L"RunMinimized", false));
}

// "[s0]\r\nk=0\r\n" ... with the program's section last, where a lookup has
// to pass every other one.
std::string ManySections(int count, const std::string& last) {
  std::string out;
  out.reserve(static_cast<std::size_t>(count) * 20);
  for (int i = 0; i < count; ++i)
    out += "[s" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  return out + last;
}

TEST_F(BadInputTest, HundredThousandSectionsReadAndAWriteChangesOnlyItsOwnLine) {
  const std::string tail = "[Napredna]\r\nOd=7\r\n";
  const std::string original = ManySections(100000, tail);
  WriteFile(original);
  auto ini = Ini();
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 0), 7);
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Do", -1), -1);
  EXPECT_EQ(ini.ReadString(L"s99999", L"k", L""), L"99999");
  EXPECT_FALSE(ini.ReadBool(L"Startup", L"RunMinimized", false));

  ini.WriteInteger(L"Napredna", L"Do", 9);  // a new key at the end of its section
  EXPECT_EQ(FileBytes(), original + "Do=9\r\n");
  ini.WriteBool(L"Aktivacija", L"cbotvori1", true);  // a new section at the end
  EXPECT_EQ(FileBytes(), original + "Do=9\r\n[Aktivacija]\r\ncbotvori1=1\r\n");
  ini.WriteString(L"S50000", L"K", L"x");  // in place, ignoring case
  std::string expected = original + "Do=9\r\n[Aktivacija]\r\ncbotvori1=1\r\n";
  expected.replace(expected.find("[s50000]\r\nk=50000"), 17, "[s50000]\r\nk=x");
  EXPECT_EQ(FileBytes(), expected);
}

TEST_F(BadInputTest, MegabyteLinesAreCutOnReadingAndKeptWhole) {
  const std::string mega(1 << 20, 'm');
  const std::string valueless = mega + "\r\n";                                // a key without '='
  const std::string longNumber = "Do=" + std::string(1 << 20, '9') + "\r\n";  // a million digits
  const std::string unclosed = std::string(1 << 20, '[') + "\r\n";            // a key, not a header
  const std::string original = "[Napredna]\r\nPrefiks=" + mega + "\r\n" + valueless + longNumber +
                               "Od=3\r\n[" + mega + "]\r\nk=v\r\n" + unclosed +
                               "[Startup]\r\nRunMinimized=1\r\n";
  WriteFile(original);
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Prefiks", L""), std::wstring(2047, L'm'));
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Do", -5), -5);
  EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 0), 3);
  EXPECT_EQ(ini.ReadString(std::wstring(1 << 20, L'm'), L"k", L""), L"v");
  EXPECT_TRUE(ini.ReadBool(L"Startup", L"RunMinimized", false));

  ini.WriteBool(L"Startup", L"RunMinimized", false);
  std::string expected = original;
  expected.replace(expected.size() - 3, 1, "0");
  EXPECT_EQ(FileBytes(), expected);
  // A megabyte written by the program comes back cut, and stays whole.
  ini.WriteString(L"Napredna", L"Sufiks", std::wstring(1 << 20, L's'));
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Sufiks", L""), std::wstring(2047, L's'));
  EXPECT_NE(FileBytes().find("Sufiks=" + std::string(1 << 20, 's') + "\r\n"), std::string::npos);
}

TEST_F(BadInputTest, NumbersBeyond32BitsReadAsTheDefault) {
  struct Case {
    const char* text;
    int asInteger;  // with the default 7
  };
  const Case cases[] = {
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"0xFFFFFFFF", -1},
      {"2147483648", 7},
      {"-2147483649", 7},
      {"4294967297", 7},            // 2^32 + 1: would be 1 if cut to 32 bits
      {"18446744073709551617", 7},  // 2^64 + 1: would be 1 if cut to 64 bits
      {"0x100000001", 7},
      {"$10000000000000001", 7},
      {"99999999999999999999999999999999999999", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(std::string("[Napredna]\r\nOd=") + c.text +
              "\r\n[Startup]\r\nRunMinimized=" + c.text + "\r\n");
    auto ini = Ini();
    EXPECT_EQ(ini.ReadInteger(L"Napredna", L"Od", 7), c.asInteger);
    // As a flag, an unreadable number is the default either way.
    EXPECT_EQ(ini.ReadBool(L"Startup", L"RunMinimized", false), c.asInteger != 7);
    EXPECT_TRUE(ini.ReadBool(L"Startup", L"RunMinimized", true));
  }
}

}  // namespace
}  // namespace quillet::config
