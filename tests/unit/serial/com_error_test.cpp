// The error model: EComPort's message, code and Windows error, the table, and
// the single report with and without an OnException handler.
#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {
namespace {

TEST(EComPort, CreateAppendsTheWindowsError) {
  const EComPort e = EComPort::Create(9, 87);
  EXPECT_EQ(e.Code(), 9);
  EXPECT_EQ(e.WinCode(), 87);
  EXPECT_EQ(e.Message(), L"SetupComm function failed (Error: 87)");
}

TEST(EComPort, CreateNoWinCodeHasTheTextAloneAndWinCodeMinusOne) {
  const EComPort e = EComPort::CreateNoWinCode(24);
  EXPECT_EQ(e.Code(), 24);
  EXPECT_EQ(e.WinCode(), -1);
  EXPECT_EQ(e.Message(), L"Port Not Open");
}

TEST(EComPort, TableHasOneTextPerCodeAndKindsFollowTheCodes) {
  ASSERT_EQ(ErrorMessageTable.size(), 24u);
  EXPECT_EQ(ComErrorMessage(1), L"Unable to open com port");
  EXPECT_EQ(ComErrorMessage(8), L"SetCommTimeouts failed");
  EXPECT_EQ(ComErrorMessage(18), L"Link (un)registration failed");
  EXPECT_EQ(ComErrorMessage(19), L"Cannot change led state if ComPort is selected");
  EXPECT_EQ(ComErrorMessage(22), L"A component is linked to OnRxBuf event");
  EXPECT_EQ(ComErrorMessage(0), L"");
  EXPECT_EQ(ComErrorMessage(25), L"");
  EXPECT_EQ(ComExceptionOf(1), TComExceptions::CE_OpenFailed);
  EXPECT_EQ(ComExceptionOf(14), TComExceptions::CE_ConnChangeProp);
  EXPECT_EQ(ComExceptionOf(24), TComExceptions::CEPortNotOpen);
}

TEST_F(PortTest, ReportWithoutHandlerRaisesWithOrWithoutTheWindowsError) {
  const struct {
    std::int64_t winError;
    int winCode;
    std::wstring message;
  } cases[] = {
      {87, 87, L"SetCommState function failed (Error: 87)"},
      {0, -1, L"SetCommState function failed"},
      {-5, -1, L"SetCommState function failed"},
      {0x1'0000'0005LL, 5, L"SetCommState function failed (Error: 5)"},  // low 32 bits
  };
  for (const auto& c : cases) {
    try {
      port->RaiseComError(7, c.winError);
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), 7);
      EXPECT_EQ(e.WinCode(), c.winCode);
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST_F(PortTest, ReportWithHandlerCallsItWithTheSystemTextAndReturns) {
  struct Call {
    TObject* sender;
    TComExceptions kind;
    std::wstring message;
    std::int64_t winError;
    std::wstring winMessage;
  };
  std::vector<Call> calls;
  port->SetOnException([&](TObject* sender, TComExceptions kind, const std::wstring& message,
                           std::int64_t winError, const std::wstring& winMessage) {
    calls.push_back({sender, kind, message, winError, winMessage});
  });
  port->RaiseComError(9, 87);
  port->RaiseComError(22, 0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].sender, port.get());
  EXPECT_EQ(calls[0].kind, TComExceptions::CE_SetupComFailed);
  EXPECT_EQ(calls[0].message, L"SetupComm function failed");
  EXPECT_EQ(calls[0].winError, 87);
  EXPECT_EQ(calls[0].winMessage, L"System Error.  Code: 87.\r\nThe parameter is incorrect.\r\n");
  EXPECT_EQ(calls[1].kind, TComExceptions::CE_HasLink);
  EXPECT_EQ(calls[1].message, L"A component is linked to OnRxBuf event");
  EXPECT_EQ(calls[1].winError, 0);
  EXPECT_EQ(calls[1].winMessage, L"");
}

}  // namespace
}  // namespace quillet::serial::test
