// The settings lists' logic against a plain list of strings.
#include "serial/com_select.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "os/sim/registry_sim.h"
#include "os/sim/serial_sim.h"
#include "serial/com_port.h"
#include "serial/com_storage.h"

namespace quillet::serial::test {
namespace {

const wchar_t kSerialComm[] = L"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

class FakeList final : public TComStrings {
 public:
  void Clear() override { items.clear(); }
  void Add(const std::wstring& text) override { items.push_back(text); }
  int Count() const override { return static_cast<int>(items.size()); }
  std::wstring Strings(int index) const override {
    return items.at(static_cast<std::size_t>(index));
  }
  std::vector<std::wstring> items;
};

class ComSelectTest : public ::testing::Test {
 protected:
  ComSelectTest() {
    serial.AddPort(L"COM1");
    serial.AddPort(L"COM3");
    registry.SetString(kSerialComm, L"\\Device\\Serial0", L"COM1");
    registry.SetString(kSerialComm, L"\\Device\\Serial9", L"COM10");
    registry.SetString(kSerialComm, L"\\Device\\Serial1", L"com2");
    registry.SetString(kSerialComm, L"\\Device\\Serial2", L"COM3");
    port = std::make_unique<TComPort>(nullptr, serial);
  }

  os::sim::SimSerial serial;
  os::sim::SimRegistry registry;
  FakeList list;
  TComSelect select{list, registry};
  std::unique_ptr<TComPort> port;
};

TEST_F(ComSelectTest, PortListIsTheRegisteredNamesInTextOrderIgnoringCase) {
  select.SetComProperty(TComProperty::cpPort);
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"COM1", L"COM10", L"com2", L"COM3"}));
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(ComSelectTest, PortListEndsAtAValueTooLongAndIsEmptyWithoutTheMap) {
  registry.SetString(kSerialComm, L"\\Device\\Long", std::wstring(200, L'X'));  // 402 bytes
  registry.SetString(kSerialComm, L"\\Device\\After", L"COM0");
  select.SelectPort();
  EXPECT_EQ(list.items, (std::vector<std::wstring>{L"COM1", L"COM10", L"com2", L"COM3"}));

  os::sim::SimRegistry empty;
  TComSelect none(list, empty);
  none.SelectPort();
  EXPECT_TRUE(list.items.empty());
}

TEST_F(ComSelectTest, EachPropertyFillsItsEntriesInEnumerationOrder) {
  struct Case {
    TComProperty property;
    std::vector<std::wstring> entries;
  };
  const Case cases[] = {
      {TComProperty::cpBaudRate,
       {L"Custom", L"110", L"300", L"600", L"1200", L"2400", L"4800", L"9600", L"14400", L"19200",
        L"38400", L"56000", L"57600", L"115200", L"128000", L"256000"}},
      {TComProperty::cpDataBits, {L"5", L"6", L"7", L"8"}},
      {TComProperty::cpStopBits, {L"1", L"1.5", L"2"}},
      {TComProperty::cpParity, {L"None", L"Odd", L"Even", L"Mark", L"Space"}},
      {TComProperty::cpFlowControl, {L"Hardware", L"Software", L"None", L"Custom"}},
      {TComProperty::cpNone, {}},
  };
  for (const Case& c : cases) {
    select.SetComProperty(c.property);
    EXPECT_EQ(list.items, c.entries);
  }
}

TEST_F(ComSelectTest, UpdateFindsThePortsValueAndApplyWritesItBack) {
  port->SetBaudRate(TBaudRate::br115200);
  port->FlowControl().SetFlowControl(TFlowControl::fcSoftware);
  port->SetPort(L"COM2");  // registered as "com2"
  struct Case {
    TComProperty property;
    int index;
  };
  for (const Case c : {Case{TComProperty::cpPort, 2}, Case{TComProperty::cpBaudRate, 13},
                       Case{TComProperty::cpFlowControl, 1}, Case{TComProperty::cpParity, 0}}) {
    FakeList items;
    TComSelect s(items, registry);
    s.SetComProperty(c.property);
    s.SetComPort(port.get());
    int index = 99;
    s.UpdateSettings(index);
    EXPECT_EQ(index, c.index);
  }
  TComSelect s(list, registry);
  s.SetComProperty(TComProperty::cpPort);
  s.SetComPort(port.get());
  int index = -1;
  s.UpdateSettings(index);
  EXPECT_EQ(s.Port(), L"com2");  // the entry's text is what is held
  s.ApplySettings();
  EXPECT_EQ(port->Port(), L"com2");
}

TEST_F(ComSelectTest, ChangeHoldsTheChoiceAndAppliesOnlyWithAutoApply) {
  select.SetComProperty(TComProperty::cpDataBits);
  select.SetComPort(port.get());
  select.Change(L"6");
  EXPECT_EQ(select.DataBits(), TDataBits::dbSix);
  EXPECT_EQ(port->DataBits(), TDataBits::dbEight);
  select.ApplySettings();
  EXPECT_EQ(port->DataBits(), TDataBits::dbSix);

  select.SetAutoApply(true);
  select.Change(L"5");
  EXPECT_EQ(port->DataBits(), TDataBits::dbFive);
}

TEST_F(ComSelectTest, UnregisteredPortNameSelectsNothingAndSurvivesApply) {
  port->SetPort(L"COM3");
  select.SetComProperty(TComProperty::cpPort);
  select.SetComPort(port.get());
  int index = -1;
  select.UpdateSettings(index);
  EXPECT_EQ(index, 3);
  port->SetPort(L"COM7");  // an adapter unplugged since
  select.UpdateSettings(index);
  EXPECT_EQ(index, -1);
  select.ApplySettings();
  EXPECT_EQ(port->Port(), L"COM7");
}

TEST_F(ComSelectTest, WithoutAPortNothingIsReadOrWritten) {
  select.SetComProperty(TComProperty::cpBaudRate);
  select.Change(L"300");
  int index = 5;
  select.UpdateSettings(index);
  EXPECT_EQ(index, 5);
  select.ApplySettings();
  EXPECT_EQ(select.BaudRate(), TBaudRate::br300);
  EXPECT_EQ(port->BaudRate(), TBaudRate::br9600);
}

TEST_F(ComSelectTest, CustomRateChoiceRunsAtTheCustomBitRate) {
  select.SetComProperty(TComProperty::cpBaudRate);
  select.SetComPort(port.get());
  select.Change(L"Custom");
  select.ApplySettings();
  port->Open();
  EXPECT_EQ(port->BaudRate(), TBaudRate::brCustom);
  EXPECT_EQ(serial.State(L"COM1").BaudRate, 9600u);
}

TEST_F(ComSelectTest, DestroyedPortTellsItsListenersOnce) {
  int told = 0;
  TCustomComPort* who = nullptr;
  port->FreeNotifier().Add(&told, [&](TCustomComPort* p) {
    ++told;
    who = p;
  });
  int other = 0;
  port->FreeNotifier().Add(&other, [&](TCustomComPort*) { ++other; });
  port->FreeNotifier().Remove(&other);
  TCustomComPort* const expected = port.get();
  port.reset();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(who, expected);
  EXPECT_EQ(other, 0);
}

}  // namespace
}  // namespace quillet::serial::test
