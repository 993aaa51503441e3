// A port loading from, and then storing into, a configuration file nobody
// should have: binary garbage, 100 000 sections, lines of a megabyte,
// numbers beyond 32 bits.
#include <string>

#include "tests/unit/config/profile_keys.h"
#include "tests/unit/storage/store_fixture.h"

namespace quillet::serial::test {
namespace {

using config::testing::Garbage;
using config::testing::VisibleValues;

TEST_F(StoreTest, GarbageLoadsNothingAndStoringKeepsEveryOtherKey) {
  for (const std::string& bom :
       {std::string(), std::string("\xFF\xFE"), std::string("\xEF\xBB\xBF")}) {
    SCOPED_TRACE(bom.size());
    const std::string garbage =
        bom + Garbage(static_cast<std::uint32_t>(bom.size()) + 3, 64 * 1024);
    WriteFile(garbage);
    auto p = NewPort();
    p->SetStoredProps(kAllGroups);
    SetEverything(*p);
    auto twin = NewPort();
    twin->SetStoredProps(kAllGroups);
    SetEverything(*twin);
    p->Open();  // on COM2: an open port must not be reopened or changed
    serial.ClearCalls();
    EXPECT_EQ(ComErrorOf([&] { p->LoadSettings(TStoreType::stIniFile, File()); }), 0);
    twin->SetCustomBaudRate(9600);  // the one key read with its own default
    ExpectSameSettings(*twin, *p);
    EXPECT_TRUE(p->Connected());
    for (const auto& call : serial.Calls()) EXPECT_NE(call.call, os::sim::SimCall::CreateFileW);

    const auto before = VisibleValues(garbage);
    EXPECT_EQ(ComErrorOf([&] { p->StoreSettings(TStoreType::stIniFile, File()); }), 0);
    const auto after = VisibleValues(FileBytes());
    for (const auto& [names, value] : before) {
      const auto kept = after.find(names);
      EXPECT_TRUE(kept != after.end() && kept->second == value)
          << ::testing::PrintToString(names.second);
    }
    auto loaded = NewPort();
    loaded->SetStoredProps(kAllGroups);
    loaded->LoadSettings(TStoreType::stIniFile, File());
    ExpectSameSettings(*p, *loaded);
    p->Close();
  }
}

TEST_F(StoreTest, HundredThousandSectionsLoadAndStoreChangesOnlyThePortsSection) {
  std::string others;
  for (int i = 0; i < 100000; ++i)
    others += "[s" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  const std::string original = others + "[skener1]\r\nBaudRate=19200\r\n";
  WriteFile(original);
  port->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(port->BaudRate(), TBaudRate::br19200);
  EXPECT_EQ(port->Port(), L"COM1");

  port->SetBaudRate(TBaudRate::br57600);
  port->StoreSettings(TStoreType::stIniFile, File());
  // Updated in place; the keys the section lacked follow its last key.
  EXPECT_EQ(FileBytes(),
            others +
                "[skener1]\r\nBaudRate=57600\r\nPort=COM1\r\nStopBits=1\r\nDataBits=8\r\n"
                "Parity=None\r\nFlowControl=None\r\n");
}

TEST_F(StoreTest, MegabyteLinesLoadCutOrFallBackAndStoringKeepsThem) {
  const std::string mega(1 << 20, '7');
  const std::string junk = std::string(1 << 20, 'j') + "\r\n";  // a key without a value
  const std::string napredna = "[Napredna]\r\nPrefiks=" + std::string(1 << 20, 'p') + "\r\n";
  WriteFile(napredna +
            "[skener1]\r\n"
            "Port=COM" +
            mega + "\r\n" + junk + "BaudRate=" + mega +
            "\r\n"
            "StopBits=1.5\r\n"
            "EventChar=#" +
            mega + "\r\n");
  // Every file access reads the whole file: two groups keep this quick.
  port->SetStoredProps(TStoredProps{TStoredProp::spBasic, TStoredProp::spOthers});
  port->SetEventChar(L'x');
  port->SetBaudRate(TBaudRate::br57600);
  EXPECT_EQ(ComErrorOf([&] { port->LoadSettings(TStoreType::stIniFile, File()); }), 0);
  EXPECT_EQ(port->Port(),
            L"COM" + std::wstring(2044, L'7'));    // 2047 characters, as the system reads
  EXPECT_EQ(port->BaudRate(), TBaudRate::br9600);  // names no rate
  EXPECT_EQ(port->StopBits(), TStopBits::sbOne5StopBits);
  EXPECT_EQ(port->EventChar(), 0);  // "#" and an unreadable number

  port->StoreSettings(TStoreType::stIniFile, File());
  const std::string stored = FileBytes();
  EXPECT_EQ(stored.rfind(napredna, 0), 0u);
  EXPECT_NE(stored.find("\r\n" + junk), std::string::npos);
  EXPECT_NE(stored.find("\r\nPort=COM" + std::string(2044, '7') + "\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\r\nBaudRate=9600\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\r\nEventChar=#0\r\n"), std::string::npos);
}

TEST_F(StoreTest, NumbersBeyond32BitsLoadAsTheKeysDefault) {
  struct Case {
    const char* line;
    void (*check)(const TCustomComPort&);
  };
  const Case cases[] = {
      // The defaults are the current values, CustomBaudRate's is 9600.
      {"CustomBaudRate=4294967596",  // 2^32 + 300: 300 if cut to 32 bits
       [](const TCustomComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 9600); }},
      {"CustomBaudRate=2147483647",
       [](const TCustomComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 2147483647); }},
      {"Buffer.InputSize=18446744073709551618",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Buffer().InputSize(), 1024); }},
      {"Buffer.OutputSize=-2147483649",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Buffer().OutputSize(), 1024); }},
      {"Timeouts.ReadInterval=0x100000005",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Timeouts().ReadInterval(), -1); }},
      {"Timeouts.ReadTotalConstant=$FFFFFFFF",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Timeouts().ReadTotalConstant(), -1); }},
      {"Timeouts.WriteTotalConstant=-2147483648",
       [](const TCustomComPort& p) {
         EXPECT_EQ(p.Timeouts().WriteTotalConstant(), -2147483647 - 1);
       }},
      {"EventChar=#4294967361",
       [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), 0); }},  // not 'A'
      {"Parity.ReplaceChar=#2147483713",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Parity().ReplaceChar(), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WriteFile(std::string("[skener1]\r\nBaudRate=Custom\r\n") + c.line + "\r\n");
    auto p = NewPort();
    p->SetStoredProps(kAllGroups);
    EXPECT_EQ(ComErrorOf([&] { p->LoadSettings(TStoreType::stIniFile, File()); }), 0);
    c.check(*p);
  }
}

}  // namespace
}  // namespace quillet::serial::test
