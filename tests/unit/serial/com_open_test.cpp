// Opening and closing a port: the platform calls and records, every failure
// path and the state it leaves, and the order of notifications.
#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {
namespace {

using Names = std::vector<std::string>;

TEST_F(PortTest, DefaultOpenAndCloseMakeExactlyTheseCalls) {
  port->Open();
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(port->Handle(), sim.OpenHandle(L"COM1"));
  ASSERT_EQ(Calls(),
            (Names{"CreateFileW", "SetupComm", "SetCommState", "SetCommTimeouts", "SetCommMask",
                   "GetCommModemStatus", "GetCommModemStatus", "GetCommModemStatus"}));
  std::vector<os::sim::SimCallRecord> calls;
  for (const auto& r : sim.Calls()) {
    if (r.call != SimCall::WaitCommEvent && r.call != SimCall::GetOverlappedResult &&
        r.call != SimCall::WaitForMultipleObjects && r.call != SimCall::CreateEventW) {
      calls.push_back(r);
    } else if (r.call == SimCall::CreateEventW && r.args == std::vector<os::Dword>{1, 0}) {
      calls.push_back(r);  // the thread's stop event, not its completion event
    }
  }
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(calls[0].path, L"\\\\.\\COM1");
  EXPECT_EQ(calls[0].args, (std::vector<os::Dword>{0xC0000000, 0, 3, 0x40000000}));
  EXPECT_EQ(calls[1].handle, port->Handle());
  EXPECT_EQ(calls[1].args, (std::vector<os::Dword>{1024, 1024}));
  EXPECT_EQ(calls[2].dcb, DefaultDcb());
  EXPECT_EQ(calls[3].timeouts, (os::CommTimeouts{0xFFFFFFFF, 0, 0, 100, 1000}));
  EXPECT_EQ(calls[4].call, SimCall::CreateEventW) << "the stop event, before the mask";
  EXPECT_EQ(calls[5].call, SimCall::SetCommMask);
  EXPECT_EQ(calls[5].args, (std::vector<os::Dword>{0x05FF}));

  const os::Handle device = port->Handle();
  sim.ClearCalls();
  port->Close();
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
  const auto closing = sim.DeviceCalls();
  std::vector<os::sim::SimCallRecord> steps;
  for (const auto& r : closing) {
    if (r.call != SimCall::WaitCommEvent && r.call != SimCall::GetOverlappedResult)
      steps.push_back(r);
  }
  ASSERT_EQ(Calls(), (Names{"PurgeComm", "SetCommMask", "PurgeComm", "CloseHandle"}));
  EXPECT_EQ(steps[0].args, (std::vector<os::Dword>{os::kPurgeTxAbort | os::kPurgeRxAbort}));
  EXPECT_EQ(steps[1].args, (std::vector<os::Dword>{0}));
  EXPECT_EQ(steps[2].args, (std::vector<os::Dword>{os::kPurgeTxClear | os::kPurgeRxClear}));
  EXPECT_EQ(steps[3].handle, device);
  EXPECT_FALSE(sim.IsOpen(L"COM1"));
  EXPECT_EQ(sim.LiveHandleCount(), 0u) << "device, stop and completion events all closed";
}

TEST_F(PortTest, OpeningAnOpenPortOrClosingAClosedOneDoesNothing) {
  JournalHandlers();
  port->Close();
  port->Open();
  sim.ClearCalls();
  journal.clear();
  port->Open();
  port->SetConnected(true);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(journal.empty());
  port->Close();
  sim.ClearCalls();
  journal.clear();
  port->Close();
  port->SetConnected(false);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(journal.empty());
}

struct DcbCase {
  const char* name;
  std::function<void(TComPort&)> setup;
  std::function<void(os::Dcb&)> expect;
};

class DcbRecord : public PortTest, public ::testing::WithParamInterface<DcbCase> {};

TEST_P(DcbRecord, IsFilledFromTheSettings) {
  GetParam().setup(*port);
  port->Open();
  os::Dcb expected = DefaultDcb();
  GetParam().expect(expected);
  EXPECT_EQ(sim.State(L"COM1"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DcbRecord,
    ::testing::Values(DcbCase{"Custom31250",
                              [](TComPort& p) {
                                p.SetBaudRate(TBaudRate::brCustom);
                                p.SetCustomBaudRate(31250);
                              },
                              [](os::Dcb& d) { d.BaudRate = 31250; }},
                      DcbCase{"CustomRateIgnoredForFixedChoice",
                              [](TComPort& p) { p.SetCustomBaudRate(31250); }, [](os::Dcb&) {}},
                      DcbCase{"Br256000", [](TComPort& p) { p.SetBaudRate(TBaudRate::br256000); },
                              [](os::Dcb& d) { d.BaudRate = 256000; }},
                      DcbCase{"Br110", [](TComPort& p) { p.SetBaudRate(TBaudRate::br110); },
                              [](os::Dcb& d) { d.BaudRate = 110; }},
                      DcbCase{"ReplaceWithoutCheckHasNoEffect",
                              [](TComPort& p) {
                                p.Parity().SetReplace(true);
                                p.Parity().SetReplaceChar(L'?');
                              },
                              [](os::Dcb&) {}},
                      DcbCase{"CheckAndReplace",
                              [](TComPort& p) {
                                p.Parity().SetBits(TParityBits::prSpace);
                                p.Parity().SetCheck(true);
                                p.Parity().SetReplace(true);
                                p.Parity().SetReplaceChar(0x13F);  // low 8 bits only
                              },
                              [](os::Dcb& d) {
                                d.Parity = os::kSpaceParity;
                                d.fParity = 1;
                                d.fErrorChar = 1;
                                d.ErrorChar = 0x3F;
                              }},
                      DcbCase{"InputSize4096", [](TComPort& p) { p.Buffer().SetInputSize(4096); },
                              [](os::Dcb& d) { d.XonLim = d.XoffLim = 1024; }},
                      DcbCase{
                          "InputSize6",
                          [](TComPort& p) { p.Buffer().SetInputSize(6); },  // 6 / 4 truncates to 1
                          [](os::Dcb& d) { d.XonLim = d.XoffLim = 1; }},
                      DcbCase{"FrameAndChars",
                              [](TComPort& p) {
                                p.SetDataBits(TDataBits::dbSeven);
                                p.SetStopBits(TStopBits::sbTwoStopBits);
                                p.SetDiscardNull(true);
                                p.SetEventChar(L'\n');
                                p.FlowControl().SetXonChar(0x111);
                                p.FlowControl().SetXoffChar(0x113);
                              },
                              [](os::Dcb& d) {
                                d.ByteSize = 7;
                                d.StopBits = os::kTwoStopBits;
                                d.fNull = 1;
                                d.EvtChar = '\n';
                              }},
                      DcbCase{"HardwareFlowAndLines",
                              [](TComPort& p) {
                                p.FlowControl().SetFlowControl(TFlowControl::fcHardware);
                                p.FlowControl().SetControlDTR(TDTRFlowControl::dtrHandshake);
                                p.FlowControl().SetOutDSRFlow(true);
                                p.FlowControl().SetDSRSensitivity(true);
                                p.FlowControl().SetTxContinueOnXoff(true);
                              },
                              [](os::Dcb& d) {
                                d.fOutxCtsFlow = 1;
                                d.fRtsControl = os::kRtsControlHandshake;
                                d.fDtrControl = os::kDtrControlHandshake;
                                d.fOutxDsrFlow = 1;
                                d.fDsrSensitivity = 1;
                                d.fTXContinueOnXoff = 1;
                              }},
                      DcbCase{"SoftwareFlowRtsToggle",
                              [](TComPort& p) {
                                p.FlowControl().SetFlowControl(TFlowControl::fcSoftware);
                                p.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle);
                                p.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable);
                              },
                              [](os::Dcb& d) {
                                d.fOutX = 1;
                                d.fInX = 1;
                                d.fRtsControl = os::kRtsControlToggle;
                                d.fDtrControl = os::kDtrControlEnable;
                              }}),
    [](const ::testing::TestParamInfo<DcbCase>& info) { return std::string(info.param.name); });

TEST_F(PortTest, TimeoutsReachTheDeviceBitForBit) {
  port->Timeouts().SetReadInterval(20);
  port->Timeouts().SetReadTotalMultiplier(-1);
  port->Timeouts().SetReadTotalConstant(500);
  port->Timeouts().SetWriteTotalMultiplier(0);
  port->Timeouts().SetWriteTotalConstant(-2);
  port->Buffer().SetOutputSize(-3);
  port->Open();
  EXPECT_EQ(sim.Timeouts(L"COM1"), (os::CommTimeouts{20, 0xFFFFFFFF, 500, 0, 0xFFFFFFFE}));
  EXPECT_EQ(sim.OutQueueSize(L"COM1"), 0xFFFFFFFDu);
}

TEST_F(PortTest, DeviceThatCannotBeOpenedRaisesCodeOneAndLeavesThePortClosed) {
  JournalHandlers();
  const struct {
    std::wstring name;
    int winCode;
  } cases[] = {{L"COM9", 2}, {L"COM2", 5}};
  // Another program holds COM2.
  const os::Handle other = sim.CreateFileW(L"\\\\.\\COM2", os::kGenericRead | os::kGenericWrite, 0,
                                           os::kOpenExisting, os::kFileFlagOverlapped);
  ASSERT_NE(other, os::kInvalidHandleValue);
  for (const auto& c : cases) {
    journal.clear();
    sim.ClearCalls();
    port->SetPort(c.name);
    try {
      port->Open();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), 1);
      EXPECT_EQ(e.WinCode(), c.winCode);
      EXPECT_EQ(e.Message(),
                L"Unable to open com port (Error: " + std::to_wstring(c.winCode) + L")");
    }
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
    EXPECT_EQ(journal, (Names{"BeforeOpen"}));
    EXPECT_EQ(Calls(), (Names{"CreateFileW"}));
  }
  EXPECT_TRUE(sim.CloseHandle(other));
}

TEST_F(PortTest, NamesThatCouldLeaveTheDeviceNamespaceAreRefused) {
  for (const wchar_t* name : {L"COM1:", L"..\\COM1", L"a/b", L"C:", L"\\\\.\\COM1"}) {
    port->SetPort(name);
    try {
      port->Open();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), 1);
      EXPECT_EQ(e.WinCode(), 123);
    }
    EXPECT_FALSE(port->Connected());
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(PortTest, WithOnExceptionAFailedOpenIsReportedAndThePortStaysClosed) {
  JournalHandlers();
  std::vector<std::wstring> reports;
  port->SetOnException([&](TObject*, TComExceptions kind, const std::wstring& message,
                           std::int64_t winError, const std::wstring& winMessage) {
    EXPECT_EQ(kind, TComExceptions::CE_OpenFailed);
    EXPECT_EQ(message, L"Unable to open com port");
    reports.push_back(std::to_wstring(winError) + L" " + winMessage);
  });
  port->SetPort(L"COM9");
  port->Open();
  port->SetPort(L"bad:name");
  port->Open();
  EXPECT_EQ(
      reports,
      (std::vector<std::wstring>{
          L"2 System Error.  Code: 2.\r\nThe system cannot find the file specified.\r\n",
          L"123 System Error.  Code: 123.\r\nThe filename, directory name, or volume label syntax "
          L"is incorrect.\r\n"}));
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
  EXPECT_EQ(Calls(), (Names{"CreateFileW"}));
  EXPECT_EQ(journal, (Names{"BeforeOpen", "BeforeOpen"}));
}

struct ApplyFailure {
  SimCall call;
  int code;
};

class OpenApplyFailure : public PortTest, public ::testing::WithParamInterface<ApplyFailure> {};

TEST_P(OpenApplyFailure, ClosesTheDeviceAgainAndRaises) {
  JournalHandlers();
  sim.FailNext(GetParam().call, os::kErrorGenFailure);
  try {
    port->Open();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), GetParam().code);
    EXPECT_EQ(e.WinCode(), 31);
  }
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
  EXPECT_FALSE(sim.IsOpen(L"COM1"));
  EXPECT_EQ(Calls().back(), "CloseHandle");
  EXPECT_EQ(journal, (Names{"BeforeOpen"}));
  // Nothing is left behind: the next attempt opens normally.
  port->Open();
  EXPECT_TRUE(port->Connected());
}

INSTANTIATE_TEST_SUITE_P(Steps, OpenApplyFailure,
                         ::testing::Values(ApplyFailure{SimCall::SetupComm, 9},
                                           ApplyFailure{SimCall::SetCommState, 7},
                                           ApplyFailure{SimCall::SetCommTimeouts, 8}));

TEST_F(PortTest, ApplyFailureOnAnOpenPortRaisesFromTheSetterAndKeepsThePortOpen) {
  OpenQuietly();
  sim.FailNext(SimCall::SetCommState, os::kErrorInvalidParameter);
  try {
    port->SetBaudRate(TBaudRate::br57600);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 7);
    EXPECT_EQ(e.WinCode(), 87);
  }
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(port->BaudRate(), TBaudRate::br57600);
  EXPECT_EQ(sim.State(L"COM1").BaudRate, 9600u);
}

TEST_F(PortTest, WithOnExceptionAnApplyFailureDuringOpenIsReportedAndOpenGoesOn) {
  JournalHandlers();
  std::vector<TComExceptions> kinds;
  port->SetOnException([&](TObject*, TComExceptions kind, const std::wstring&, std::int64_t,
                           const std::wstring&) { kinds.push_back(kind); });
  sim.FailNext(SimCall::SetCommTimeouts, os::kErrorGenFailure);
  port->Open();
  EXPECT_EQ(kinds, (std::vector<TComExceptions>{TComExceptions::CE_TimeoutsFailed}));
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(journal.at(1), "AfterOpen");
}

TEST_F(PortTest, NotificationsAroundOpenAndCloseComeInOrderWithLinks) {
  JournalHandlers();
  auto first = JournalLink("L1");
  auto second = JournalLink("L2");
  port->RegisterLink(first.get());
  port->RegisterLink(second.get());
  sim.SetModemStatus(L"COM1", os::kMsCtsOn | os::kMsRlsdOn);
  port->Open();
  EXPECT_EQ(journal,
            (Names{"BeforeOpen", "L1 Conn 1", "L2 Conn 1", "AfterOpen", "L1 CTS 1", "L2 CTS 1",
                   "CTS 1", "L1 DSR 0", "L2 DSR 0", "DSR 0", "L1 RLSD 1", "L2 RLSD 1", "RLSD 1"}));

  journal.clear();
  // The device is still open when OnBeforeClose runs and closed before the
  // links hear of it.
  port->SetOnBeforeClose(
      [this](TObject*) { journal.push_back(sim.IsOpen(L"COM1") ? "BeforeClose open" : "?"); });
  first->SetOnConn([this](TObject*, bool on) {
    journal.push_back(std::string("L1 Conn ") + Bit(on) +
                      (sim.IsOpen(L"COM1") ? " open" : " closed"));
  });
  port->Close();
  EXPECT_EQ(journal, (Names{"L1 CTS 0", "L2 CTS 0", "L1 DSR 0", "L2 DSR 0", "L1 RLSD 0",
                            "L2 RLSD 0", "CTS 0", "DSR 0", "RLSD 0", "BeforeClose open",
                            "L1 Conn 0 closed", "L2 Conn 0", "AfterClose"}));
}

TEST_F(PortTest, UnreadableModemLinesReportOffInsteadOfFailingTheOpen) {
  JournalHandlers();
  sim.SetModemStatus(L"COM1", os::kMsCtsOn | os::kMsDsrOn | os::kMsRlsdOn);
  sim.FailNext(SimCall::GetCommModemStatus, 50, 3);
  port->Open();
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(journal, (Names{"BeforeOpen", "AfterOpen", "CTS 0", "DSR 0", "RLSD 0"}));
  // Asked directly, the failure is an error.
  sim.FailNext(SimCall::GetCommModemStatus, 50);
  EXPECT_THROW(port->Signals(), EComPort);
  EXPECT_EQ(port->Signals(),
            (TComSignals{TComSignal::csCTS, TComSignal::csDSR, TComSignal::csRLSD}));
}

TEST_F(PortTest, EmptyEventsStillOpenAndNotify) {
  JournalHandlers();
  port->SetEvents({});
  port->Open();
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(journal.size(), 5u);
  EXPECT_EQ(Calls().size(), 7u);
}

TEST_F(PortTest, AFailedAbortStillReleasesThePortAndIsReportedAfterwards) {
  JournalHandlers();
  OpenQuietly();
  sim.RemovePort(L"COM1");  // the adapter is pulled out
  journal.clear();
  try {
    port->Close();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 5);
    EXPECT_EQ(e.WinCode(), 5);
    EXPECT_EQ(e.Message(), L"PurgeComm function failed (Error: 5)");
  }
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
  EXPECT_EQ(Calls(), (Names{"PurgeComm", "SetCommMask", "PurgeComm", "CloseHandle"}));
  EXPECT_EQ(journal.back(), "AfterClose");
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
  // Plugged in again, it opens.
  sim.AddPort(L"COM1");
  port->Open();
  EXPECT_TRUE(port->Connected());
}

TEST_F(PortTest, DestroyingAnOpenPortClosesItAndNeverThrows) {
  std::vector<std::string> seen;
  port->SetOnAfterClose([&](TObject*) { seen.push_back("AfterClose"); });
  port->Open();
  sim.FailNext(SimCall::PurgeComm, os::kErrorAccessDenied);
  EXPECT_NO_THROW(port.reset());
  EXPECT_EQ(seen, (Names{"AfterClose"}));
  EXPECT_FALSE(sim.IsOpen(L"COM1"));

  // A handler that throws before the device is closed cannot leak it either.
  TComPort other(nullptr, sim);
  other.Open();
  other.SetOnBeforeClose([](TObject*) { throw Exception(L"handler failed"); });
  EXPECT_THROW(other.Close(), Exception);
  EXPECT_TRUE(other.Connected());
}

TEST_F(PortTest, AHandlerThatThrowsDuringCloseDoesNotLeakTheDeviceAtDestruction) {
  {
    TComPort other(nullptr, sim);
    other.Open();
    other.SetOnBeforeClose([](TObject*) { throw Exception(L"handler failed"); });
  }
  EXPECT_FALSE(sim.IsOpen(L"COM1"));
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

TEST_F(PortTest, AFailedCloseHandleStillLeavesThePortClosed) {
  OpenQuietly();
  sim.FailNext(SimCall::CloseHandle, os::kErrorInvalidHandle);
  port->Close();
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), os::kInvalidHandleValue);
}

TEST_F(PortTest, OwnerDestroysItsPortsAndClosesThem) {
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* one = new TComPort(owner.get(), sim);
  one->SetName(L"skener1");
  auto* two = new TComPort(owner.get(), sim);
  two->SetName(L"skener2");
  two->SetPort(L"COM2");
  one->Open();
  two->Open();
  EXPECT_EQ(owner->FindComponent(L"Skener2"), two);
  owner.reset();
  EXPECT_FALSE(sim.IsOpen(L"COM1"));
  EXPECT_FALSE(sim.IsOpen(L"COM2"));
}

TEST_F(PortTest, ChangingThePortOfAnOpenPortReopensItUnderTheNewName) {
  JournalHandlers();
  port->SetPort(L"COM2");
  EXPECT_TRUE(Calls().empty());
  port->Open();
  journal.clear();
  sim.ClearCalls();
  port->SetPort(L"COM1");
  EXPECT_TRUE(port->Connected());
  EXPECT_TRUE(sim.IsOpen(L"COM1"));
  EXPECT_FALSE(sim.IsOpen(L"COM2"));
  EXPECT_EQ(journal, (Names{"CTS 0", "DSR 0", "RLSD 0", "BeforeClose", "AfterClose", "BeforeOpen",
                            "AfterOpen", "CTS 0", "DSR 0", "RLSD 0"}));
  sim.ClearCalls();
  port->SetPort(L"COM1");  // equal name: nothing
  EXPECT_TRUE(Calls().empty());
}

TEST_F(PortTest, OpenInsideAnUpdateBracketAppliesNothingUntilEndUpdate) {
  port->BeginUpdate();
  port->Open();
  EXPECT_EQ(Calls(), (Names{"CreateFileW", "SetCommMask", "GetCommModemStatus",
                            "GetCommModemStatus", "GetCommModemStatus"}));
  sim.ClearCalls();
  port->EndUpdate();
  EXPECT_EQ(Calls(), (Names{"SetupComm", "SetCommState", "SetCommTimeouts"}));
}

TEST_F(PortTest, WhileLoadingConnectedIsRecordedAndLoadedOpens) {
  port->BeginLoading();
  port->SetConnected(true);
  port->SetBaudRate(TBaudRate::br4800);
  EXPECT_TRUE(Calls().empty());
  port->Loaded();
  EXPECT_TRUE(port->Connected());
  EXPECT_TRUE(sim.IsOpen(L"COM1"));
  EXPECT_EQ(sim.State(L"COM1").BaudRate, 4800u);
}

TEST_F(PortTest, AnOpenFailingInLoadedGoesToTheApplicationHandler) {
  std::vector<int> codes;
  SetApplicationExceptionHandler([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const EComPort& e) {
      codes.push_back(e.Code());
    }
  });
  port->SetPort(L"COM9");
  port->BeginLoading();
  port->SetConnected(true);
  EXPECT_NO_THROW(port->Loaded());
  SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(codes, (std::vector<int>{1}));
  EXPECT_FALSE(port->Connected());
}

TEST_F(PortTest, InDesignModeOpenAndCloseDoNothing) {
  port->SetDesigning(true);
  port->Open();
  port->SetConnected(true);
  EXPECT_TRUE(port->Connected());  // recorded only
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
}  // namespace quillet::serial::test
