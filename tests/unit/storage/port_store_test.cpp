// Storing and loading a port's settings through the profile emulation and
// the registry double.
#include <algorithm>
#include <sstream>
#include <vector>

#include "tests/unit/storage/store_fixture.h"

namespace quillet::serial::test {
namespace {

TEST_F(StoreTest, DefaultPortStoresTheBasicGroupOnly) {
  port->StoreSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(FileBytes(),
            "[skener1]\r\nPort=COM1\r\nBaudRate=9600\r\nStopBits=1\r\nDataBits=8\r\nParity=None\r\n"
            "FlowControl=None\r\n");
}

TEST_F(StoreTest, EveryGroupInItsOrderWithItsEncodings) {
  port->SetStoredProps(kAllGroups);
  SetEverything(*port);
  port->StoreSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(FileBytes(),
            "[skener1]\r\n"
            "Port=COM2\r\nBaudRate=Custom\r\nCustomBaudRate=31250\r\nStopBits=2\r\nDataBits=7\r\n"
            "Parity=Mark\r\nFlowControl=Custom\r\n"
            "EventChar=#10\r\nDiscardNull=Yes\r\n"
            "Parity.Check=Yes\r\nParity.Replace=Yes\r\nParity.ReplaceChar=?\r\n"
            "Buffer.OutputSize=4096\r\nBuffer.InputSize=2048\r\n"
            "Timeouts.ReadInterval=7\r\nTimeouts.ReadTotalConstant=-20\r\nTimeouts."
            "ReadTotalMultiplier=3\r\n"
            "Timeouts.WriteTotalConstant=500\r\nTimeouts.WriteTotalMultiplier=9\r\n"
            "FlowControl.ControlRTS=Toggle\r\nFlowControl.ControlDTR=Handshake\r\n"
            "FlowControl.DSRSensitivity=Yes\r\nFlowControl.OutCTSFlow=Yes\r\nFlowControl."
            "OutDSRFlow=Yes\r\n"
            "FlowControl.TxContinueOnXoff=Yes\r\nFlowControl.XonXoffIn=Yes\r\nFlowControl."
            "XonXoffOut=No\r\n"
            "FlowControl.XoffChar=#32\r\nFlowControl.XonChar=A\r\n");
}

TEST_F(StoreTest, EveryGroupRoundTripsThroughTheFileAndTheRegistry) {
  for (const TStoreType type : {TStoreType::stIniFile, TStoreType::stRegistry}) {
    SCOPED_TRACE(type == TStoreType::stIniFile ? "INI file" : "registry");
    const std::wstring target =
        type == TStoreType::stIniFile ? File() : L"HKEY_CURRENT_USER\\Software\\Quillet";
    auto source = NewPort();
    source->SetStoredProps(kAllGroups);
    SetEverything(*source);
    source->StoreSettings(type, target);
    auto loaded = NewPort();
    loaded->SetStoredProps(kAllGroups);
    loaded->LoadSettings(type, target);
    ExpectSameSettings(*source, *loaded);
  }
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(StoreTest, RegistryFormKeepsTextsAsStringsAndNumbersAsDwords) {
  port->SetBaudRate(TBaudRate::brCustom);
  port->SetCustomBaudRate(31250);
  port->StoreSettings(TStoreType::stRegistry, L"hkey_local_machine\\Software\\Quillet");
  const std::wstring key = L"HKLM\\Software\\Quillet\\skener1";
  EXPECT_EQ(registry.Value(key, L"BaudRate").type, os::kRegSz);
  EXPECT_EQ(os::RegistryStringText(registry.Value(key, L"BaudRate").data), L"Custom");
  const os::RegistryValue rate = registry.Value(key, L"CustomBaudRate");
  EXPECT_EQ(rate.type, os::kRegDword);
  EXPECT_EQ(rate.data, (std::vector<os::Byte>{0x12, 0x7A, 0, 0}));
  // Any other root text is the current user's; a trailing '\' is not doubled.
  port->StoreSettings(TStoreType::stRegistry, L"HKEY_USERS\\Software\\Other\\");
  EXPECT_TRUE(registry.KeyExists(L"HKCU\\Software\\Other\\skener1"));
}

TEST_F(StoreTest, MissingPlaceLoadsNothingButTheCustomRate) {
  port->SetStoredProps(kAllGroups);
  SetEverything(*port);
  port->SetCustomBaudRate(4800);
  auto before = NewPort();
  before->SetStoredProps(kAllGroups);
  SetEverything(*before);
  port->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(port->CustomBaudRate(), 9600);  // read with its own default, as the rate is custom
  before->SetCustomBaudRate(9600);
  ExpectSameSettings(*before, *port);
  EXPECT_FALSE(std::filesystem::exists(folder.Native() / "skeneri.ini"));

  port->SetCustomBaudRate(4800);
  port->LoadSettings(TStoreType::stRegistry, L"HKEY_CURRENT_USER\\Software\\Nothing");
  EXPECT_EQ(port->CustomBaudRate(), 9600);
  ExpectSameSettings(*before, *port);
  EXPECT_FALSE(registry.KeyExists(L"HKCU\\Software\\Nothing"));
}

TEST_F(StoreTest, HandWrittenValuesLoadByTheirRules) {
  struct Case {
    const char* line;
    void (*check)(const TCustomComPort&);
  };
  const Case cases[] = {
      {"BaudRate=fast",
       [](const TCustomComPort& p) { EXPECT_EQ(p.BaudRate(), TBaudRate::br9600); }},
      {"baudrate=115200",
       [](const TCustomComPort& p) { EXPECT_EQ(p.BaudRate(), TBaudRate::br115200); }},
      {"BAUDRATE=custom",
       [](const TCustomComPort& p) { EXPECT_EQ(p.BaudRate(), TBaudRate::brCustom); }},
      {"StopBits=1,5",
       [](const TCustomComPort& p) { EXPECT_EQ(p.StopBits(), TStopBits::sbOneStopBit); }},
      {"StopBits=1.5",
       [](const TCustomComPort& p) { EXPECT_EQ(p.StopBits(), TStopBits::sbOne5StopBits); }},
      {"DataBits=9", [](const TCustomComPort& p) { EXPECT_EQ(p.DataBits(), TDataBits::dbEight); }},
      {"Parity=eVeN",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Parity().Bits(), TParityBits::prEven); }},
      {"DiscardNull=1", [](const TCustomComPort& p) { EXPECT_FALSE(p.DiscardNull()); }},
      {"DiscardNull=yEs", [](const TCustomComPort& p) { EXPECT_TRUE(p.DiscardNull()); }},
      {"EventChar=#300", [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), L','); }},
      {"EventChar=ABC", [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), L'A'); }},
      {"EventChar=#", [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), L'#'); }},
      {"EventChar=#x1", [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), 0); }},
      {"EventChar=", [](const TCustomComPort& p) { EXPECT_EQ(p.EventChar(), 0); }},
      {"Buffer.InputSize=0x801",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Buffer().InputSize(), 2048); }},
      {"Buffer.InputSize=lots",
       [](const TCustomComPort& p) { EXPECT_EQ(p.Buffer().InputSize(), 1024); }},
      {"FlowControl.ControlRTS=toggle",
       [](const TCustomComPort& p) {
         EXPECT_EQ(p.FlowControl().ControlRTS(), TRTSFlowControl::rtsToggle);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WriteFile(std::string("[SKENER1]\r\n") + c.line + "\r\n");
    auto p = NewPort();
    p->SetStoredProps(kAllGroups);
    // Start away from every fallback, so that falling back shows.
    p->SetEventChar(L'x');
    p->SetBaudRate(TBaudRate::br57600);
    p->SetStopBits(TStopBits::sbTwoStopBits);
    p->SetDataBits(TDataBits::dbFive);
    p->LoadSettings(TStoreType::stIniFile, File());
    c.check(*p);
  }
}

TEST_F(StoreTest, UnknownFlowControlKeepsTheIndividualSettings) {
  port->FlowControl().SetControlRTS(TRTSFlowControl::rtsHandshake);
  port->FlowControl().SetXonXoffIn(true);
  WriteFile("[skener1]\r\nFlowControl=Sometimes\r\n");
  port->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(port->FlowControl().ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_TRUE(port->FlowControl().XonXoffIn());
  EXPECT_EQ(port->FlowControl().FlowControl(), TFlowControl::fcCustom);
}

TEST_F(StoreTest, OldCustomRateStaysInTheFileAndIsNotReadAgain) {
  port->SetBaudRate(TBaudRate::brCustom);
  port->SetCustomBaudRate(31250);
  port->StoreSettings(TStoreType::stIniFile, File());
  port->SetBaudRate(TBaudRate::br9600);
  port->StoreSettings(TStoreType::stIniFile, File());
  EXPECT_NE(FileBytes().find("BaudRate=9600\r\nCustomBaudRate=31250\r\n"), std::string::npos);

  auto other = NewPort();
  other->SetCustomBaudRate(1234);
  other->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(other->BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(other->CustomBaudRate(), 1234);
}

TEST_F(StoreTest, LoadingAnOpenPortReconfiguresItOnceAtTheEnd) {
  WriteFile(
      "[skener1]\r\nBaudRate=19200\r\nStopBits=2\r\nDataBits=7\r\nParity=Odd\r\nFlowControl="
      "Hardware\r\n");
  port->Open();
  serial.ClearCalls();
  port->LoadSettings(TStoreType::stIniFile, File());
  int states = 0;
  for (const auto& call : serial.DeviceCalls())
    states += call.call == os::sim::SimCall::SetCommState ? 1 : 0;
  EXPECT_EQ(states, 1);
  EXPECT_EQ(serial.State(L"COM1").BaudRate, 19200u);
  EXPECT_EQ(serial.State(L"COM1").Parity, 1);  // ODDPARITY
}

TEST_F(StoreTest, ChangedPortNameReopensTheOpenPortUnderIt) {
  WriteFile("[skener1]\r\nPort=COM2\r\n");
  port->Open();
  port->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_TRUE(port->Connected());
  EXPECT_FALSE(serial.IsOpen(L"COM1"));
  EXPECT_TRUE(serial.IsOpen(L"COM2"));
}

}  // namespace
}  // namespace quillet::serial::test
