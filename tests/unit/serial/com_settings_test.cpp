// Settings of a port: defaults, when a change reaches the device, the
// update bracket, even queue sizes, flow-control presets, refused changes
// and links.
#include <functional>

#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {
namespace {

TEST_F(PortTest, NewPortHasTheDocumentedDefaults) {
  const TComPort& p = *port;
  EXPECT_EQ(p.Port(), L"COM1");
  EXPECT_EQ(p.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(p.CustomBaudRate(), 9600);
  EXPECT_EQ(p.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(p.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_FALSE(p.DiscardNull());
  EXPECT_EQ(p.EventChar(), 0);
  EXPECT_EQ(p.Parity().Bits(), TParityBits::prNone);
  EXPECT_FALSE(p.Parity().Check());
  EXPECT_FALSE(p.Parity().Replace());
  EXPECT_EQ(p.Parity().ReplaceChar(), 0);
  EXPECT_EQ(p.FlowControl().FlowControl(), TFlowControl::fcNone);
  EXPECT_EQ(p.FlowControl().ControlDTR(), TDTRFlowControl::dtrDisable);
  EXPECT_EQ(p.FlowControl().ControlRTS(), TRTSFlowControl::rtsDisable);
  EXPECT_FALSE(p.FlowControl().OutDSRFlow());
  EXPECT_FALSE(p.FlowControl().DSRSensitivity());
  EXPECT_FALSE(p.FlowControl().TxContinueOnXoff());
  EXPECT_EQ(p.FlowControl().XonChar(), 17);
  EXPECT_EQ(p.FlowControl().XoffChar(), 19);
  EXPECT_EQ(p.Buffer().InputSize(), 1024);
  EXPECT_EQ(p.Buffer().OutputSize(), 1024);
  EXPECT_EQ(p.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(p.Timeouts().ReadTotalMultiplier(), 0);
  EXPECT_EQ(p.Timeouts().ReadTotalConstant(), 0);
  EXPECT_EQ(p.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(p.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(p.Events(), TComEvents::All());
  EXPECT_EQ(p.Events().Bits(), 0x3FFu);
  EXPECT_EQ(p.SyncMethod(), TSyncMethod::smThreadSync);
  EXPECT_EQ(p.EventThreadPriority(), TThreadPriority::tpNormal);
  EXPECT_TRUE(p.TriggersOnRxChar());
  EXPECT_EQ(p.StoredProps(), TStoredProps{TStoredProp::spBasic});
  EXPECT_EQ(p.CodePage(), 0u);
  EXPECT_FALSE(p.Connected());
  EXPECT_EQ(p.Handle(), os::kInvalidHandleValue);
  EXPECT_FALSE(p.OnRxChar());
  EXPECT_FALSE(p.OnException());
  EXPECT_TRUE(p.Links().empty());
  EXPECT_EQ(p.Parity().ComPort(), &p);
  EXPECT_EQ(p.FlowControl().ComPort(), &p);
  EXPECT_EQ(p.Timeouts().ComPort(), &p);
  EXPECT_EQ(p.Buffer().ComPort(), &p);
}

struct SetterCase {
  const char* name;
  std::function<void(TComPort&)> change;
  std::vector<std::string> deviceCalls;  // on an open port
};

class SetterRule : public PortTest, public ::testing::WithParamInterface<SetterCase> {};

TEST_P(SetterRule, OpenPortGetsOnlyItsGroupAndClosedPortOnlyStores) {
  const SetterCase& c = GetParam();
  // Closed: the value is kept, the device untouched.
  c.change(*port);
  EXPECT_TRUE(Calls().empty());
  // Open: the same change on a fresh port reaches the device in one call.
  TComPort open(nullptr, sim);
  open.SetPort(L"COM2");
  open.Open();
  sim.ClearCalls();
  c.change(open);
  EXPECT_EQ(Calls(), c.deviceCalls);
}

const std::vector<std::string> kLine{"SetCommState"};
const std::vector<std::string> kTimeouts{"SetCommTimeouts"};
const std::vector<std::string> kBuffer{"SetupComm"};
const std::vector<std::string> kNothing{};

INSTANTIATE_TEST_SUITE_P(
    Setters, SetterRule,
    ::testing::Values(
        SetterCase{"BaudRate", [](TComPort& p) { p.SetBaudRate(TBaudRate::br19200); }, kLine},
        SetterCase{"SameBaudRate", [](TComPort& p) { p.SetBaudRate(TBaudRate::br9600); }, kNothing},
        SetterCase{"CustomBaudRate", [](TComPort& p) { p.SetCustomBaudRate(31250); }, kLine},
        SetterCase{"DataBits", [](TComPort& p) { p.SetDataBits(TDataBits::dbSeven); }, kLine},
        SetterCase{"StopBits", [](TComPort& p) { p.SetStopBits(TStopBits::sbTwoStopBits); }, kLine},
        SetterCase{"DiscardNull", [](TComPort& p) { p.SetDiscardNull(true); }, kLine},
        SetterCase{"EventChar", [](TComPort& p) { p.SetEventChar(L'\r'); }, kLine},
        SetterCase{"ParityBits", [](TComPort& p) { p.Parity().SetBits(TParityBits::prEven); },
                   kLine},
        SetterCase{"SameParityBits", [](TComPort& p) { p.Parity().SetBits(TParityBits::prNone); },
                   kNothing},
        SetterCase{"ParityReplaceChar", [](TComPort& p) { p.Parity().SetReplaceChar(L'?'); },
                   kLine},
        SetterCase{"FlowControlField", [](TComPort& p) { p.FlowControl().SetOutDSRFlow(true); },
                   kLine},
        SetterCase{"XonChar", [](TComPort& p) { p.FlowControl().SetXonChar(1); }, kLine},
        SetterCase{"SamePresetStillApplies",
                   [](TComPort& p) { p.FlowControl().SetFlowControl(TFlowControl::fcNone); },
                   kLine},
        SetterCase{"ReadInterval", [](TComPort& p) { p.Timeouts().SetReadInterval(10); },
                   kTimeouts},
        SetterCase{"WriteTotalConstant", [](TComPort& p) { p.Timeouts().SetWriteTotalConstant(5); },
                   kTimeouts},
        SetterCase{"SameTimeout", [](TComPort& p) { p.Timeouts().SetWriteTotalMultiplier(100); },
                   kNothing},
        SetterCase{"InputSize", [](TComPort& p) { p.Buffer().SetInputSize(2048); }, kBuffer},
        SetterCase{"OutputSize", [](TComPort& p) { p.Buffer().SetOutputSize(512); }, kBuffer},
        SetterCase{"ParityPropertyAppliesEvenUnchanged",
                   [](TComPort& p) { p.SetParity(TComParity()); }, kLine},
        SetterCase{"FlowControlProperty", [](TComPort& p) { p.SetFlowControl(TComFlowControl()); },
                   kLine},
        SetterCase{"TimeoutsProperty", [](TComPort& p) { p.SetTimeouts(TComTimeouts()); },
                   kTimeouts},
        SetterCase{"BufferProperty", [](TComPort& p) { p.SetBuffer(TComBuffer()); }, kBuffer},
        SetterCase{"EventsOnlyStored", [](TComPort& p) { p.SetEvents({TComEvent::evRxChar}); },
                   kNothing},
        SetterCase{"CodePageOnlyStored", [](TComPort& p) { p.SetCodePage(65001); }, kNothing}),
    [](const ::testing::TestParamInfo<SetterCase>& info) { return std::string(info.param.name); });

TEST_F(PortTest, ClosedPortKeepsChangedValuesForTheNextOpen) {
  port->SetBaudRate(TBaudRate::br115200);
  port->Parity().SetBits(TParityBits::prOdd);
  port->Buffer().SetInputSize(4096);
  EXPECT_TRUE(Calls().empty());
  port->Open();
  EXPECT_EQ(sim.State(L"COM1").BaudRate, 115200u);
  EXPECT_EQ(sim.State(L"COM1").Parity, os::kOddParity);
  EXPECT_EQ(sim.InQueueSize(L"COM1"), 4096u);
}

TEST_F(PortTest, UpdateBracketAppliesAllGroupsOnceAtTheFinalEndUpdate) {
  OpenQuietly();
  port->BeginUpdate();
  port->BeginUpdate();
  port->SetBaudRate(TBaudRate::br38400);
  port->Parity().SetBits(TParityBits::prEven);
  port->Timeouts().SetReadInterval(5);
  port->Buffer().SetOutputSize(2048);
  port->EndUpdate();
  EXPECT_TRUE(Calls().empty());
  port->EndUpdate();
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetupComm", "SetCommState", "SetCommTimeouts"}));
  EXPECT_EQ(sim.State(L"COM1").BaudRate, 38400u);
  EXPECT_EQ(sim.State(L"COM1").Parity, os::kEvenParity);
  sim.ClearCalls();
  port->EndUpdate();  // one too many: nothing, and the count stays at 0
  EXPECT_TRUE(Calls().empty());
  port->SetBaudRate(TBaudRate::br9600);
  EXPECT_EQ(Calls(), kLine);
}

TEST(ComBuffer, OddPositiveSizesAreStoredEven) {
  const struct {
    int set;
    int stored;
  } cases[] = {{4095, 4094}, {1025, 1024}, {1, 0}, {2048, 2048}, {0, 0}, {-3, -3}, {-4, -4}};
  for (const auto& c : cases) {
    TComBuffer b;
    b.SetInputSize(c.set);
    b.SetOutputSize(c.set);
    EXPECT_EQ(b.InputSize(), c.stored) << c.set;
    EXPECT_EQ(b.OutputSize(), c.stored) << c.set;
  }
}

TEST(ComSubObjects, AssignCopiesEveryFieldWithoutAdjustingOrApplying) {
  TComBuffer source;
  source.SetInputSize(-3);
  os::sim::SimSerial sim;
  sim.AddPort(L"COM1");
  TComPort port(nullptr, sim);
  port.Open();
  sim.ClearCalls();
  // Assign is a plain copy; an odd size arrives as it is.
  TComBuffer odd;
  odd.Assign(source);
  EXPECT_EQ(odd.InputSize(), -3);
  port.Buffer().Assign(source);
  EXPECT_EQ(port.Buffer().InputSize(), -3);
  EXPECT_EQ(port.Buffer().ComPort(), &port);
  EXPECT_TRUE(sim.DeviceCalls().empty());

  TComFlowControl flow;
  flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  flow.SetXoffChar(L'x');
  flow.SetFlowControl(TFlowControl::fcHardware);
  TComFlowControl copy;
  copy.Assign(flow);
  EXPECT_EQ(copy.ControlDTR(), TDTRFlowControl::dtrHandshake);
  EXPECT_EQ(copy.XoffChar(), L'x');
  EXPECT_EQ(copy.FlowControl(), TFlowControl::fcHardware);
  EXPECT_EQ(copy.ComPort(), nullptr);
}

TEST(ComSubObjects, AssignFromAnotherClassIsRefused) {
  TComBuffer buffer;
  TComParity parity;
  try {
    buffer.Assign(parity);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), L"Cannot assign a TComParity to a TComBuffer");
  }
}

TEST(ComFlowControl, ReadingGivesTheFirstMatchingPreset) {
  const struct {
    TRTSFlowControl rts;
    bool cts, in, out;
    TFlowControl reads;
  } cases[] = {
      {TRTSFlowControl::rtsHandshake, true, false, false, TFlowControl::fcHardware},
      {TRTSFlowControl::rtsDisable, false, true, true, TFlowControl::fcSoftware},
      {TRTSFlowControl::rtsDisable, false, false, false, TFlowControl::fcNone},
      {TRTSFlowControl::rtsHandshake, false, false, false, TFlowControl::fcCustom},
      {TRTSFlowControl::rtsEnable, false, false, false, TFlowControl::fcCustom},
      {TRTSFlowControl::rtsDisable, false, true, false, TFlowControl::fcCustom},
  };
  for (const auto& c : cases) {
    TComFlowControl f;
    f.SetControlRTS(c.rts);
    f.SetOutCTSFlow(c.cts);
    f.SetXonXoffIn(c.in);
    f.SetXonXoffOut(c.out);
    // Fields outside the presets play no part.
    f.SetControlDTR(TDTRFlowControl::dtrEnable);
    f.SetOutDSRFlow(true);
    EXPECT_EQ(f.FlowControl(), c.reads);
  }
}

TEST(ComFlowControl, WritingAPresetSetsItsFourFieldsOnly) {
  TComFlowControl f;
  f.SetControlRTS(TRTSFlowControl::rtsHandshake);
  f.SetControlDTR(TDTRFlowControl::dtrEnable);
  f.SetXonChar(L'a');
  EXPECT_EQ(f.FlowControl(), TFlowControl::fcCustom);
  f.SetFlowControl(TFlowControl::fcSoftware);
  EXPECT_EQ(f.ControlRTS(), TRTSFlowControl::rtsDisable);
  EXPECT_FALSE(f.OutCTSFlow());
  EXPECT_TRUE(f.XonXoffIn());
  EXPECT_TRUE(f.XonXoffOut());
  EXPECT_EQ(f.ControlDTR(), TDTRFlowControl::dtrEnable);
  EXPECT_EQ(f.XonChar(), L'a');
  f.SetFlowControl(TFlowControl::fcHardware);
  EXPECT_EQ(f.ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_TRUE(f.OutCTSFlow());
  EXPECT_FALSE(f.XonXoffIn());
  EXPECT_FALSE(f.XonXoffOut());
  f.SetFlowControl(TFlowControl::fcCustom);
  EXPECT_EQ(f.FlowControl(), TFlowControl::fcHardware);
  f.SetFlowControl(TFlowControl::fcNone);
  EXPECT_EQ(f.FlowControl(), TFlowControl::fcNone);
  EXPECT_EQ(f.ControlDTR(), TDTRFlowControl::dtrEnable);
}

TEST_F(PortTest, SyncMethodAndThreadPriorityAreRefusedWhileOpen) {
  port->SetSyncMethod(TSyncMethod::smNone);  // closed: accepted
  EXPECT_EQ(port->SyncMethod(), TSyncMethod::smNone);
  port->Open();
  try {
    port->SetSyncMethod(TSyncMethod::smWindowSync);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 14);
    EXPECT_EQ(e.WinCode(), -1);
    EXPECT_EQ(e.Message(), L"Cannot set property while connected");
  }
  EXPECT_EQ(port->SyncMethod(), TSyncMethod::smNone);
  port->SetSyncMethod(TSyncMethod::smNone);  // equal value: no error
  EXPECT_THROW(port->SetEventThreadPriority(TThreadPriority::tpHigher), EComPort);
  EXPECT_EQ(port->EventThreadPriority(), TThreadPriority::tpNormal);

  // With OnException the refusal is reported and the old value still stays.
  int reports = 0;
  port->SetOnException(
      [&](TObject*, TComExceptions kind, const std::wstring&, std::int64_t, const std::wstring&) {
        EXPECT_EQ(kind, TComExceptions::CE_ConnChangeProp);
        ++reports;
      });
  port->SetSyncMethod(TSyncMethod::smThreadSync);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(port->SyncMethod(), TSyncMethod::smNone);
  port->Close();
  port->SetEventThreadPriority(TThreadPriority::tpHigher);
  EXPECT_EQ(port->EventThreadPriority(), TThreadPriority::tpHigher);
}

TEST_F(PortTest, LinksRegisterOnceAndAnRxBufLinkTakesOverTriggersOnRxChar) {
  TComLink plain;
  TComLink reader;
  reader.SetOnRxBuf([](TObject*, const char*, int) {});
  port->RegisterLink(&plain);
  EXPECT_TRUE(port->TriggersOnRxChar());
  try {
    port->RegisterLink(&plain);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 18);
    EXPECT_EQ(e.WinCode(), -1);
  }
  EXPECT_EQ(port->Links(), (std::vector<TComLink*>{&plain}));

  port->RegisterLink(&reader);
  EXPECT_FALSE(port->TriggersOnRxChar());
  try {
    port->SetTriggersOnRxChar(true);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 22);
  }

  port->UnRegisterLink(&reader);
  EXPECT_TRUE(port->TriggersOnRxChar());
  EXPECT_THROW(port->UnRegisterLink(&reader), EComPort);
  EXPECT_THROW(port->RegisterLink(nullptr), EComPort);
  EXPECT_EQ(port->Links(), (std::vector<TComLink*>{&plain}));
  port->SetTriggersOnRxChar(false);
  EXPECT_FALSE(port->TriggersOnRxChar());
}

TEST_F(PortTest, TriggersOnRxCharIsStoredAfterAReportThatReturned) {
  TComLink reader;
  reader.SetOnRxBuf([](TObject*, const char*, int) {});
  port->RegisterLink(&reader);
  port->SetOnException(
      [](TObject*, TComExceptions, const std::wstring&, std::int64_t, const std::wstring&) {});
  port->SetTriggersOnRxChar(false);
  port->UnRegisterLink(&reader);
  EXPECT_FALSE(port->TriggersOnRxChar());
}

TEST(ComSubObjects, UnownedSubObjectsChangeWithoutAPort) {
  TComParity parity;
  parity.SetBits(TParityBits::prMark);
  TComTimeouts timeouts;
  timeouts.SetReadTotalConstant(7);
  EXPECT_EQ(parity.Bits(), TParityBits::prMark);
  EXPECT_EQ(timeouts.ReadTotalConstant(), 7);
}

}  // namespace
}  // namespace quillet::serial::test
