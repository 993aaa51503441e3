// The event thread and the delivery of events: masks, the fixed order of a
// batch, receive delivery, closing during a delivery, failures of the device
// and of handlers, the three ways of synchronising, and WaitForEvent.
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "serial/com_thread.h"
#include "serial/port_window.h"
#include "tests/unit/serial/event_fixture.h"

namespace quillet::serial::test {
namespace {

using Names = std::vector<std::string>;

TEST(EventMask, EachEventHasItsBitAndTheTwoConversionsAreInverses) {
  const struct {
    TComEvent event;
    os::Dword bit;
  } rows[] = {{TComEvent::evRxChar, 0x0001}, {TComEvent::evTxEmpty, 0x0004},
              {TComEvent::evRxFlag, 0x0002}, {TComEvent::evRing, 0x0100},
              {TComEvent::evBreak, 0x0040},  {TComEvent::evCTS, 0x0008},
              {TComEvent::evDSR, 0x0010},    {TComEvent::evError, 0x0080},
              {TComEvent::evRLSD, 0x0020},   {TComEvent::evRx80Full, 0x0400}};
  for (const auto& row : rows) {
    EXPECT_EQ(EventsToMask({row.event}), row.bit);
    EXPECT_EQ(MaskToEvents(row.bit), TComEvents{row.event});
  }
  EXPECT_EQ(EventsToMask(TComEvents::All()), 0x05FFu);
  EXPECT_EQ(MaskToEvents(0x05FF), TComEvents::All());
  EXPECT_TRUE(MaskToEvents(0x0200 | 0x0800 | 0x80000000).Empty()) << "EV_PERR and others ignored";
}

class DeliveryTest : public EventTest {
 protected:
  // Every port handler and one link's handlers write to the journal.
  void JournalEverything() {
    port->SetOnError(
        [this](TObject*, TComErrors e) { journal.push_back("Error " + std::to_string(e.Bits())); });
    port->SetOnRxChar(
        [this](TObject*, int n) { journal.push_back("RxChar " + std::to_string(n)); });
    port->SetOnTxEmpty([this](TObject*) { journal.push_back("TxEmpty"); });
    port->SetOnBreak([this](TObject*) { journal.push_back("Break"); });
    port->SetOnRing([this](TObject*) { journal.push_back("Ring"); });
    port->SetOnCTSChange(
        [this](TObject*, bool on) { journal.push_back(std::string("CTS ") + Bit(on)); });
    port->SetOnDSRChange(
        [this](TObject*, bool on) { journal.push_back(std::string("DSR ") + Bit(on)); });
    port->SetOnRxFlag([this](TObject*) { journal.push_back("RxFlag"); });
    port->SetOnRLSDChange(
        [this](TObject*, bool on) { journal.push_back(std::string("RLSD ") + Bit(on)); });
    port->SetOnRx80Full([this](TObject*) { journal.push_back("Rx80Full"); });
    link = JournalLink("L");
    link->SetOnRing([this](TObject*) { journal.push_back("L Ring"); });
    link->SetOnRxFlag([this](TObject*) { journal.push_back("L RxFlag"); });
    link->SetOnTxEmpty([this](TObject*) { journal.push_back("L TxEmpty"); });
    link->FOnTx = [this](TObject*, bool on) { journal.push_back(std::string("L Tx ") + Bit(on)); };
    link->FOnRx = [this](TObject*, bool on) { journal.push_back(std::string("L Rx ") + Bit(on)); };
    port->RegisterLink(link.get());
  }

  ~DeliveryTest() override { port.reset(); }  // before the link goes

  std::unique_ptr<TComLink> link;
};

TEST_F(DeliveryTest, ABatchIsDeliveredInTheFixedOrderLinksFirst) {
  port->SetEventChar(L'c');
  port->Buffer().SetInputSize(10);  // eight bytes fill it to 80 %
  JournalEverything();
  port->Open();

  // The first event takes the thread into the hand-over, unserved; the rest
  // gather in the driver and come as the next batch.
  sim.SetModemStatus(L"COM1", os::kMsDsrOn);
  ASSERT_TRUE(WaitForWakes(1));
  sim.AddLineErrors(L"COM1", os::kCeFrame);
  sim.PeerWrite(L"COM1", "abcdefgh");
  sim.SetModemStatus(L"COM1", os::kMsCtsOn | os::kMsRingOn | os::kMsRlsdOn);
  sim.AddLineErrors(L"COM1", os::kCeBreak);
  EXPECT_EQ(port->WriteStr(L"x"), 1);  // transmit queue empty
  journal.clear();
  ASSERT_TRUE(ServeUntil([&] { return !journal.empty() && journal.back() == "Rx80Full"; }));
  const std::string errors =
      std::to_string(TComErrors{TComError::ceFrame, TComError::ceBreak}.Bits());
  // States are read at delivery: DSR has dropped again by then.
  EXPECT_EQ(journal, (Names{"L DSR 0", "DSR 0",
                            // the second batch
                            "Error " + errors, "L Rx 1", "RxChar 8", "L Tx 0", "L TxEmpty",
                            "TxEmpty", "Break", "L Ring", "Ring", "L CTS 1", "CTS 1", "L DSR 0",
                            "DSR 0", "L RxFlag", "RxFlag", "L RLSD 1", "RLSD 1", "Rx80Full"}));
}

struct RxBufCase {
  const char* name;
  bool linkWithRxBuf;
  bool triggers;
  Names expected;
};

class ReceiveDelivery : public DeliveryTest, public ::testing::WithParamInterface<RxBufCase> {};

TEST_P(ReceiveDelivery, ReadsForOnRxBufInsteadOfCallingOnRxChar) {
  const RxBufCase& c = GetParam();
  port->SetEvents({TComEvent::evRxChar});
  port->SetTriggersOnRxChar(c.triggers);
  JournalEverything();
  port->SetOnRxBuf([this](TObject*, const char* b, int n) {
    journal.push_back("RxBuf " + std::string(b, static_cast<std::size_t>(n)));
  });
  if (c.linkWithRxBuf) {
    port->UnRegisterLink(link.get());
    link->SetOnRxBuf([this](TObject*, const char* b, int n) {
      journal.push_back("L RxBuf " + std::string(b, static_cast<std::size_t>(n)));
    });
    port->RegisterLink(link.get());
  }
  port->Open();
  journal.clear();
  sim.PeerWrite(L"COM1", "scan");
  ASSERT_TRUE(ServeUntil([&] { return journal.size() >= c.expected.size(); }));
  EXPECT_EQ(journal, c.expected);
  EXPECT_EQ(port->InputCount(), c.expected.back() == "RxChar 4" ? 4 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiveDelivery,
    ::testing::Values(
        RxBufCase{"Defaults", false, true, {"L Rx 1", "RxChar 4"}},
        // The read itself tells the links the queue is empty.
        RxBufCase{"NoTrigger", false, false, {"L Rx 1", "L Rx 0", "RxBuf scan"}},
        RxBufCase{"LinkReads", true, true, {"L Rx 1", "L Rx 0", "RxBuf scan", "L RxBuf scan"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventTest, CloseWhileADeliveryWaitsInTheHandOverLetsItRunFirst) {
  JournalHandlers();
  port->SetOnRxChar([this](TObject*, int n) {
    journal.push_back("RxChar " + std::to_string(n) + (port->Connected() ? " open" : " closed"));
    std::wstring text;
    port->ReadStr(text, n);
    journal.push_back(std::string(text.begin(), text.end()));
  });
  port->Open();
  CheckSynchronize();
  journal.clear();
  const int before = Wakes();
  sim.PeerWrite(L"COM1", "hi");
  ASSERT_TRUE(WaitForWakes(before + 1));  // the thread now waits in the hand-over
  port->Close();                          // serves it while waiting for the thread
  EXPECT_EQ(journal, (Names{"CTS 0", "DSR 0", "RLSD 0", "BeforeClose", "RxChar 2 open", "hi",
                            "AfterClose"}));
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

TEST_F(EventTest, ADeviceThatKeepsRefusingWaitsIsReportedLostWithoutSpinning) {
  std::vector<std::pair<std::wstring, std::int64_t>> reports;
  port->SetOnThreadError([&](TObject* sender, const std::wstring& message, std::int64_t code) {
    EXPECT_EQ(sender, port.get());
    reports.emplace_back(message, code);
  });
  port->Open();
  sim.RemovePort(L"COM1");  // the adapter is pulled out
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ServeUntil([&] { return !reports.empty(); }));
  EXPECT_EQ(reports[0].first, L"WaitForEvent method failed (Error: 5)");
  EXPECT_EQ(reports[0].second, 5);
  // Growing pauses: a spinning loop would have made thousands of requests.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const int requests = CountCalls(SimCall::WaitCommEvent);
  EXPECT_LE(requests, 2 + TComThread::kFailuresBeforeReport +
                          std::chrono::duration_cast<std::chrono::seconds>(elapsed).count() + 2);
  CheckSynchronize();
  EXPECT_EQ(reports.size(), 1u) << "told once";
  EXPECT_THROW(port->Close(), EComPort);  // the abort fails on a missing device
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

TEST_F(EventTest, AnExceptionOfAHandlerEndsTheThreadAfterItsClosingStepsAndIsReported) {
  std::wstring reported;
  port->SetOnThreadError(
      [&](TObject*, const std::wstring& message, std::int64_t) { reported = message; });
  int calls = 0;
  port->SetOnRxChar([&](TObject*, int) {
    ++calls;
    throw EComPort::CreateNoWinCode(24);
  });
  port->Open();
  sim.PeerWrite(L"COM1", "a");
  ASSERT_TRUE(ServeUntil([&] { return !reported.empty(); }));
  EXPECT_EQ(reported, L"Port Not Open");
  EXPECT_EQ(sim.CommMask(L"COM1"), 0u) << "the thread cleared the mask as it ended";
  EXPECT_EQ(port->InputCount(), 0) << "and discarded the queues";
  sim.PeerWrite(L"COM1", "b");
  EXPECT_FALSE(ServeUntil([&] { return calls > 1; }, std::chrono::seconds(1)));
  EXPECT_TRUE(port->Connected());
  port->Close();
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

TEST_F(EventTest, WithSmNoneHandlersRunOnTheEventThreadAtItsPriority) {
  port->SetSyncMethod(TSyncMethod::smNone);
  port->SetEventThreadPriority(TThreadPriority::tpHighest);
  std::atomic<bool> onOtherThread{false};
  std::atomic<int> count{0};
  const auto self = std::this_thread::get_id();
  port->SetOnRxChar([&](TObject*, int n) {
    onOtherThread = std::this_thread::get_id() != self;
    count = n;
  });
  port->Open();
  sim.PeerWrite(L"COM1", "abc");
  ASSERT_TRUE(ServeUntil([&] { return count.load() == 3; }));
  EXPECT_TRUE(onOtherThread);
  EXPECT_EQ(sim.ThreadPriorities().back(), os::kThreadPriorityHighest);
}

// The hidden window, as a fake: it takes each message at once and delivers
// it later on the user-interface thread.
class FakeWindow final : public TPortWindow {
 public:
  FakeWindow(TCustomComPort& port, Names& sent) : port_(port), sent_(sent) {}
  ~FakeWindow() override { RemoveQueuedEvents(this); }
  os::WindowHandle Handle() const override { return 0x1234; }
  void SendEvent(os::Dword bit) override {
    Queue(
        [this, bit] {
          sent_.push_back("msg " + std::to_string(bit));
          port_.DeliverWindowEvent(bit);
        },
        this);
  }

 private:
  TCustomComPort& port_;
  Names& sent_;
};

TEST_F(EventTest, WithSmWindowSyncEachEventTravelsAsOneMessage) {
  SetPortWindowFactory(
      [this](TCustomComPort& p) { return std::make_unique<FakeWindow>(p, journal); });
  port->SetSyncMethod(TSyncMethod::smWindowSync);
  port->SetOnRing([this](TObject*) { journal.push_back("Ring"); });
  port->SetOnRLSDChange(
      [this](TObject*, bool on) { journal.push_back(std::string("RLSD ") + Bit(on)); });
  port->Open();
  EXPECT_EQ(port->Handle() != os::kInvalidHandleValue, true);
  journal.clear();
  sim.SetModemStatus(L"COM1", os::kMsRingOn);
  ASSERT_TRUE(ServeUntil([&] { return journal.size() >= 2; }));
  sim.SetModemStatus(L"COM1", os::kMsRingOn | os::kMsRlsdOn);
  ASSERT_TRUE(ServeUntil([&] { return journal.size() >= 4; }));
  EXPECT_EQ(journal, (Names{"msg 256", "Ring", "msg 32", "RLSD 1"}));
  port->Close();
  SetPortWindowFactory({});
}

TEST_F(EventTest, WaitForEventServesAPortWithoutEventThread) {
  port->Open();
  TComEvents events{TComEvent::evRxChar};
  try {
    port->WaitForEvent(events, 0, 0);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 20);
    EXPECT_EQ(e.WinCode(), -1);
  }
  port->Close();

  port->SetEvents({});
  port->Open();
  port->WaitForEvent(events, 0, 0);
  EXPECT_TRUE(events.Empty()) << "time-out";
  EXPECT_EQ(sim.CommMask(L"COM1"), 0u);

  events = {TComEvent::evRxChar, TComEvent::evCTS};
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.PeerWrite(L"COM1", "z");
  });
  port->WaitForEvent(events, 0, -1);
  peer.join();
  EXPECT_EQ(events, TComEvents{TComEvent::evRxChar});

  const os::Handle stop = sim.CreateEventW(1, 1);
  events = {TComEvent::evRing};
  port->WaitForEvent(events, stop, -1);
  EXPECT_TRUE(events.Empty()) << "stopped";
  sim.CloseHandle(stop);

  sim.FailNext(SimCall::WaitCommEvent, os::kErrorGenFailure);
  events = {TComEvent::evRing};
  try {
    port->WaitForEvent(events, 0, 0);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 21);
    EXPECT_EQ(e.WinCode(), 31);
  }
  EXPECT_EQ(sim.LiveHandleCount(), 1u) << "only the device: the completion event is closed";
}

}  // namespace
}  // namespace quillet::serial::test

namespace quillet::serial::test {
namespace {

struct OwnCloseCase {
  const char* name;
  TSyncMethod sync;
};

class ClosingFromItsOwnHandler : public EventTest,
                                 public ::testing::WithParamInterface<OwnCloseCase> {};

// The delivery cannot end before the handler does, so the close must not
// wait for the thread; the port reopens cleanly afterwards.
TEST_P(ClosingFromItsOwnHandler, NeitherDeadlocksNorLeaks) {
  port->SetSyncMethod(GetParam().sync);
  std::atomic<int> closed{0};
  port->SetOnRxChar([&](TObject*, int) {
    port->Close();
    ++closed;
  });
  port->Open();
  sim.PeerWrite(L"COM1", "x");
  ASSERT_TRUE(ServeUntil([&] { return closed.load() == 1; }));
  EXPECT_FALSE(port->Connected());
  ASSERT_TRUE(ServeUntil([&] { return sim.LiveHandleCount() == 0; }))
      << "the let-go thread freed its events";
  port->SetOnRxChar({});
  port->Open();
  EXPECT_TRUE(port->Connected());
  port->Close();
}

INSTANTIATE_TEST_SUITE_P(Sync, ClosingFromItsOwnHandler,
                         ::testing::Values(OwnCloseCase{"ThreadSync", TSyncMethod::smThreadSync},
                                           OwnCloseCase{"None", TSyncMethod::smNone}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::serial::test

namespace quillet::serial::test {
namespace {

class LettingGoAThread : public EventTest, public ::testing::WithParamInterface<OwnCloseCase> {};

// The thread alone, without a port: stopped from inside its own delivery, it
// is let go, delivers nothing more, and is freed (its setup with it) once it
// has ended and the user-interface thread has served.
TEST_P(LettingGoAThread, KeepsItUntilItHasEndedThenFreesIt) {
  const os::Handle device = sim.CreateFileW(L"\\\\.\\COM1", os::kGenericRead | os::kGenericWrite, 0,
                                            os::kOpenExisting, os::kFileFlagOverlapped);
  ASSERT_NE(device, os::kInvalidHandleValue);
  auto setupAlive = std::make_shared<int>(0);
  const std::weak_ptr<int> setupWatch = setupAlive;
  std::unique_ptr<TComThread> thread;
  std::atomic<int> deliveries{0};
  std::atomic<int> reports{0};

  TComThreadSetup setup;
  setup.api = &sim;
  setup.device = device;
  setup.eventMask = os::kEvRxChar;
  setup.syncMethod = GetParam().sync;
  setup.deliver = [&, setupAlive](TComEvents) {
    ++deliveries;
    TComThread::Stop(std::move(thread));
  };
  setup.reportFailure = [&](const std::wstring&, std::int64_t) { ++reports; };
  thread = TComThread::Start(std::move(setup));
  setupAlive.reset();

  sim.PeerWrite(L"COM1", "x");
  ASSERT_TRUE(ServeUntil([&] { return setupWatch.expired(); })) << "the let-go thread is freed";
  EXPECT_EQ(thread, nullptr);
  sim.PeerWrite(L"COM1", "y");
  CheckSynchronize();
  EXPECT_EQ(deliveries.load(), 1);
  EXPECT_EQ(reports.load(), 0);
  EXPECT_EQ(sim.LiveHandleCount(), 1u) << "only the device: the thread closed both its events";
  EXPECT_TRUE(sim.CloseHandle(device));
}

INSTANTIATE_TEST_SUITE_P(Sync, LettingGoAThread,
                         ::testing::Values(OwnCloseCase{"ThreadSync", TSyncMethod::smThreadSync},
                                           OwnCloseCase{"None", TSyncMethod::smNone}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::serial::test
