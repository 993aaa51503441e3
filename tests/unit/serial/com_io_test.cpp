// Reads, writes, asynchronous records, code-page texts, queries and line
// control on a port without event thread, against the serial double.
#include <memory>
#include <string>

#include "tests/unit/serial/port_fixture.h"

namespace quillet::serial::test {
namespace {

using Names = std::vector<std::string>;

class IoTest : public PortTest {
 protected:
  IoTest() { port->SetEvents({}); }
  ~IoTest() override { port.reset(); }

  // A link journaling its transfer notifications.
  void Link() {
    link = std::make_unique<TComLink>();
    link->FOnTx = [this](TObject*, bool on) { journal.push_back(std::string("Tx ") + Bit(on)); };
    link->FOnRx = [this](TObject*, bool on) { journal.push_back(std::string("Rx ") + Bit(on)); };
    link->SetOnTxBuf([this](TObject*, const char* b, int n) {
      journal.push_back("TxBuf " + std::string(b, static_cast<std::size_t>(n)));
    });
    port->RegisterLink(link.get());
  }

  // Expects fn to raise EComPort with code and winCode.
  template <class F>
  void ExpectError(F fn, int code, int winCode) {
    try {
      fn();
      ADD_FAILURE() << "no error, expected code " << code;
    } catch (const EComPort& e) {
      EXPECT_EQ(e.Code(), code);
      EXPECT_EQ(e.WinCode(), winCode);
    }
  }

  std::unique_ptr<TComLink> link;
};

TEST_F(IoTest, TextsTravelOneBytePerCharacterBothWays) {
  Link();
  OpenQuietly();
  EXPECT_EQ(port->WriteStr(std::wstring{L'A', 0x00E9, 0x20AC}), 3);
  EXPECT_EQ(sim.PeerRead(L"COM1"), std::string("\x41\xE9\xAC", 3));
  EXPECT_EQ(journal, (Names{"Tx 1", "TxBuf " + std::string("\x41\xE9\xAC", 3)}));

  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  sim.PeerWrite(L"COM1", all);
  std::wstring text = L"old";
  EXPECT_EQ(port->ReadStr(text, 300), 256) << "only what is queued";
  ASSERT_EQ(text.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<int>(text[static_cast<std::size_t>(i)]), i);
  EXPECT_EQ(journal.back(), "Rx 0") << "the queue is empty after the read";

  sim.PeerWrite(L"COM1", "abcd");
  journal.clear();
  EXPECT_EQ(port->ReadStr(text, 2), 2);
  EXPECT_EQ(text, L"ab");
  EXPECT_TRUE(journal.empty()) << "bytes remain queued";
  port->ClearBuffer(true, false);

  sim.ClearCalls();
  journal.clear();
  EXPECT_EQ(port->ReadStr(text, 0), 0);
  EXPECT_EQ(text, L"");
  text = L"x";
  EXPECT_EQ(port->ReadStr(text, -5), 0);
  EXPECT_EQ(text, L"");
  EXPECT_EQ(port->WriteStr(L""), 0);
  EXPECT_TRUE(Calls().empty()) << "no read or write started";
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(sim.LiveHandleCount(), 1u) << "records released";
}

TEST_F(IoTest, AsyncRecordsCompleteAndReportTheirState) {
  port->Timeouts().SetReadInterval(0);  // reads wait for the peer
  Link();
  OpenQuietly();
  PAsync record = nullptr;
  AllocAsync(record, sim);
  EXPECT_TRUE(port->IsAsyncCompleted(record)) << "nothing started";
  EXPECT_EQ(port->WaitForAsync(record), 0);
  EXPECT_TRUE(journal.empty());

  char buffer[8] = {};
  EXPECT_EQ(port->ReadAsync(buffer, 8, record), 0);
  EXPECT_FALSE(port->IsAsyncCompleted(record));
  sim.PeerWrite(L"COM1", "xyz");
  EXPECT_EQ(port->WaitForAsync(record), 3);
  EXPECT_TRUE(port->IsAsyncCompleted(record));
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_EQ(journal, (Names{"Rx 0"}));

  // Aborted while pending: the wait reports the read's failure.
  EXPECT_EQ(port->ReadAsync(buffer, 8, record), 0);
  port->AbortAllAsync();
  ExpectError([&] { port->WaitForAsync(record); }, 3, 995);
  EXPECT_THROW(port->IsAsyncCompleted(record), EComPort);
  FreeAsync(record);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(sim.LiveHandleCount(), 1u);
}

TEST_F(IoTest, InvalidRecordsAndClosedPortsAreReported) {
  PAsync none = nullptr;
  char b[4] = {};
  ExpectError([&] { port->WriteAsync(b, 4, none); }, 4, -1);
  ExpectError([&] { port->ReadAsync(b, 4, none); }, 4, -1);
  ExpectError([&] { port->WaitForAsync(none); }, 4, -1);
  ExpectError([&] { port->IsAsyncCompleted(none); }, 4, -1);
  ExpectError([&] { port->Write(b, 4); }, 24, -1);
  ExpectError([&] { port->WriteStr(L"hello"); }, 24, -1);
  std::wstring text = L"kept";
  ExpectError([&] { port->ReadStr(text, 4); }, 24, -1);
  EXPECT_EQ(text, L"kept");
  EXPECT_EQ(sim.LiveHandleCount(), 0u) << "the blocking forms freed their records";

  // With OnException the operation goes on: 24, then the system's refusal.
  std::vector<int> codes;
  port->SetOnException([&](TObject*, TComExceptions kind, const std::wstring&, std::int64_t,
                           const std::wstring&) { codes.push_back(static_cast<int>(kind) + 1); });
  EXPECT_EQ(port->Write(b, 4), 0);
  EXPECT_EQ(port->ReadStr(text, 4), 0);
  EXPECT_FALSE(port->IsAsyncCompleted(none));
  EXPECT_EQ(codes, (std::vector<int>{24, 2, 24, 3, 10, 4}));
}

TEST_F(IoTest, LineControlMakesItsCallOrReportsItsCode) {
  OpenQuietly();
  const struct {
    const char* name;
    std::function<void(TComPort&)> call;
    SimCall sim;
    os::Dword arg;
    int code;
  } cases[] = {
      {"DTR on", [](TComPort& p) { p.SetDTR(true); }, SimCall::EscapeCommFunction, 5, 12},
      {"DTR off", [](TComPort& p) { p.SetDTR(false); }, SimCall::EscapeCommFunction, 6, 12},
      {"RTS on", [](TComPort& p) { p.SetRTS(true); }, SimCall::EscapeCommFunction, 3, 12},
      {"RTS off", [](TComPort& p) { p.SetRTS(false); }, SimCall::EscapeCommFunction, 4, 12},
      {"XON", [](TComPort& p) { p.SetXonXoff(true); }, SimCall::EscapeCommFunction, 2, 12},
      {"XOFF", [](TComPort& p) { p.SetXonXoff(false); }, SimCall::EscapeCommFunction, 1, 12},
      {"break on", [](TComPort& p) { p.SetBreak(true); }, SimCall::EscapeCommFunction, 8, 12},
      {"break off", [](TComPort& p) { p.SetBreak(false); }, SimCall::EscapeCommFunction, 9, 12},
      {"clear both", [](TComPort& p) { p.ClearBuffer(true, true); }, SimCall::PurgeComm, 12, 5},
      {"clear none", [](TComPort& p) { p.ClearBuffer(false, false); }, SimCall::PurgeComm, 0, 5},
      {"abort", [](TComPort& p) { p.AbortAllAsync(); }, SimCall::PurgeComm, 3, 5},
      {"char", [](TComPort& p) { p.TransmitChar(wchar_t(0x0100)); }, SimCall::TransmitCommChar, 0,
       13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.ClearCalls();
    c.call(*port);
    const auto calls = sim.DeviceCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].call, c.sim);
    EXPECT_EQ(calls[0].args, std::vector<os::Dword>{c.arg});
    sim.FailNext(c.sim, os::kErrorGenFailure);
    ExpectError([&] { c.call(*port); }, c.code, 31);
  }
}

TEST_F(IoTest, QueriesReadTheDriverAndReportTheirCodes) {
  OpenQuietly();
  sim.PeerWrite(L"COM1", "12345");
  sim.SetModemStatus(L"COM1", os::kMsCtsOn | os::kMsRlsdOn);
  EXPECT_EQ(port->InputCount(), 5);
  EXPECT_EQ(port->OutputCount(), 0);
  EXPECT_TRUE(port->StateFlags().Empty());
  EXPECT_EQ(port->Signals(), (TComSignals{TComSignal::csCTS, TComSignal::csRLSD}));
  sim.AddLineErrors(L"COM1", os::kCeRxParity | os::kCeOverrun);
  EXPECT_EQ(port->LastErrors(), TComErrors{TComError::ceOverrun}) << "parity not checked";
  port->Parity().SetCheck(true);
  sim.AddLineErrors(L"COM1", os::kCeRxParity);
  EXPECT_EQ(port->LastErrors(), TComErrors{TComError::ceRxParity});
  EXPECT_TRUE(port->LastErrors().Empty()) << "the query cleared them";
  sim.AddLineErrors(L"COM1", os::kCeOverrun);
  EXPECT_EQ(port->InputCount(), 5);
  EXPECT_EQ(port->LastErrors(), TComErrors{TComError::ceOverrun})
      << "counting the queue cleared the driver's errors: LastErrors still reports them";

  sim.FailNext(SimCall::ClearCommError, os::kErrorGenFailure, 4);
  ExpectError([&] { port->InputCount(); }, 10, 31);
  ExpectError([&] { port->OutputCount(); }, 10, 31);
  ExpectError([&] { port->StateFlags(); }, 10, 31);
  ExpectError([&] { port->LastErrors(); }, 10, 31);
  sim.FailNext(SimCall::GetCommModemStatus, os::kErrorGenFailure);
  ExpectError([&] { port->Signals(); }, 11, 31);

  port->SetOnException(
      [](TObject*, TComExceptions, const std::wstring&, std::int64_t, const std::wstring&) {});
  sim.FailNext(SimCall::ClearCommError, os::kErrorGenFailure, 2);
  sim.FailNext(SimCall::GetCommModemStatus, os::kErrorGenFailure);
  EXPECT_EQ(port->InputCount(), 0);
  EXPECT_TRUE(port->LastErrors().Empty());
  EXPECT_TRUE(port->Signals().Empty());
}

TEST_F(IoTest, UnicodeTextsGoThroughTheCodePage) {
  OpenQuietly();
  const struct {
    std::uint32_t codePage;
    std::string bytes;
  } cases[] = {{1252, "\x80"}, {65001, "\xE2\x82\xAC"}, {0, "\x80"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    port->SetCodePage(c.codePage);
    EXPECT_EQ(port->WriteUnicodeString(std::wstring(1, wchar_t(0x20AC))),
              static_cast<int>(c.bytes.size()));
    EXPECT_EQ(sim.PeerRead(L"COM1"), c.bytes);
    sim.PeerWrite(L"COM1", c.bytes + "A");
    std::wstring text;
    EXPECT_EQ(port->ReadUnicodeString(text, 10), 2);
    EXPECT_EQ(text, (std::wstring{wchar_t(0x20AC), L'A'}));
  }
  std::wstring text = L"x";
  EXPECT_EQ(port->ReadUnicodeString(text, 10), 0) << "nothing received";
  EXPECT_EQ(text, L"");
}

}  // namespace
}  // namespace quillet::serial::test
