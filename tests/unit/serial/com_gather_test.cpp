// Received bytes gathered on the event thread: a code written a byte a
// millisecond, as a scanner at 9600 bit/s sends it, reaches OnRxChar in one
// or two deliveries; anything else that happens on the line is handed over
// at once; with the defaults every batch goes as it comes.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/com_thread.h"
#include "tests/unit/serial/event_fixture.h"

namespace quillet::serial::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kForever = 60000;  // longer than any test's deadline

TRxGathering Gathering(bool terminator, std::uint32_t quietMs, std::uint32_t longestMs) {
  TRxGathering g;
  g.on = true;
  g.hasTerminator = terminator;
  g.terminator = '\r';
  g.quietMs = quietMs;
  g.longestMs = longestMs;
  return g;
}

class GatherTest : public EventTest {
 protected:
  GatherTest() {
    port->SetOnRxChar([this](TObject*, int count) {
      std::wstring text;
      port->ReadStr(text, count);
      received += std::string(text.begin(), text.end());
      ++deliveries;
    });
  }

  // Writes the bytes one at a time about a millisecond apart, on a thread
  // of its own, as the far end of the cable.
  void Scan(const std::string& code) {
    scanner_ = std::thread([this, code] {
      for (const char byte : code) {
        sim.PeerWrite(L"COM1", std::string(1, byte));
        std::this_thread::sleep_for(1ms);
      }
    });
  }
  void WaitForScanner() {
    if (scanner_.joinable()) scanner_.join();
  }
  ~GatherTest() override {
    WaitForScanner();
    port.reset();  // closing may still deliver, into the members below
  }

  // Waits until the event thread has looked at the receive queue: it is
  // holding bytes back.
  bool ThreadIsGathering() {
    return ServeUntil([&] { return CountCalls(SimCall::ClearCommError) > 0; });
  }

  std::string received;
  int deliveries = 0;
  std::string seen;  // what handlers other than OnRxChar saw

 private:
  std::thread scanner_;
};

struct ScanCase {
  const char* name;
  bool terminator;
  std::string code;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << c.name;
}

class ScanAtLineSpeed : public GatherTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanAtLineSpeed, ReachesTheHandlerInOneOrTwoDeliveries) {
  port->SetRxGathering(Gathering(GetParam().terminator, 25, 50));
  port->Open();
  Scan(GetParam().code);
  ASSERT_TRUE(ServeUntil([&] { return received.size() == GetParam().code.size(); }));
  WaitForScanner();
  EXPECT_EQ(received, GetParam().code);
  EXPECT_GE(deliveries, 1);
  EXPECT_LE(deliveries, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Gathering, ScanAtLineSpeed,
    ::testing::Values(ScanCase{"EndsAtItsTerminator", true, "P1-000001-ABCDEFGHI\r"},
                      // Ends when the line has been quiet.
                      ScanCase{"HasNoTerminator", false, "P1-000001-ABCDEFGHIJ"},
                      // A port told of a terminator its scanner does not send.
                      ScanCase{"EndsOtherwise", true, "P1-000001-ABCDEFGH\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GatherTest, WithTheDefaultsEveryBatchIsHandedOverAsItComes) {
  EXPECT_FALSE(port->RxGathering().on);
  port->Open();
  EXPECT_EQ(sim.CommMask(L"COM1"), EventsToMask(TComEvents::All()));
  EXPECT_EQ(sim.State(L"COM1").EvtChar, '\0');
  for (int i = 1; i <= 5; ++i) {
    sim.PeerWrite(L"COM1", "x");
    ASSERT_TRUE(ServeUntil([&] { return deliveries == i; })) << "byte " << i;
  }
}

TEST_F(GatherTest, NoByteWaitsLongerThanTheLongestHold) {
  // The line never goes quiet for long enough: the hold's limit hands over.
  port->SetRxGathering(Gathering(false, kForever, 30));
  port->Open();
  Scan("abc");
  ASSERT_TRUE(ServeUntil([&] { return received == "abc"; }));
}

struct EndCase {
  const char* name;
  TComEvents events;
  std::function<void(os::sim::SimSerial&)> happen;
  std::string received;
  // What the handlers see beside the bytes.
  std::string seen;
};

void PrintTo(const EndCase& c, std::ostream* os) {
  *os << c.name;
}

class EndingAGathering : public GatherTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndingAGathering, HandsTheHeldBytesOverAtOnce) {
  port->SetOnCTSChange([&](TObject*, bool on) { seen += on ? "CTS on" : "CTS off"; });
  port->SetOnError([&](TObject*, TComErrors) { seen += "error event"; });
  port->SetOnRxChar([&](TObject*, int count) {
    std::wstring text;
    port->ReadStr(text, count);
    received += std::string(text.begin(), text.end());
    // The gathering cleared the driver's errors; the port still reports them.
    if (port->LastErrors().Contains(TComError::ceFrame)) seen += "frame error";
  });
  port->SetEvents(GetParam().events);
  port->SetRxGathering(Gathering(true, kForever, kForever));
  port->Open();
  seen.clear();  // the lines as they were at open
  sim.PeerWrite(L"COM1", "ab");
  ASSERT_TRUE(ThreadIsGathering());
  EXPECT_TRUE(received.empty());
  GetParam().happen(sim);
  ASSERT_TRUE(ServeUntil([&] { return received == GetParam().received; })) << received;
  EXPECT_EQ(seen, GetParam().seen);
}

INSTANTIATE_TEST_SUITE_P(
    Gathering, EndingAGathering,
    ::testing::Values(
        EndCase{"TheTerminator", TComEvents::All(),
                [](os::sim::SimSerial& s) { s.PeerWrite(L"COM1", "c\r"); }, "abc\r", ""},
        EndCase{"ALineChange", TComEvents::All(),
                [](os::sim::SimSerial& s) { s.SetModemStatus(L"COM1", os::kMsCtsOn); }, "ab",
                "CTS on"},
        // Asked for a break too, the thread waits
        // for events (it reads otherwise).
        EndCase{"ALineError", TComEvents{TComEvent::evRxChar, TComEvent::evBreak},
                [](os::sim::SimSerial& s) {
                  s.AddLineErrors(L"COM1", os::kCeFrame);
                  s.PeerWrite(L"COM1", "c");
                },
                "abc", "frame error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GatherTest, TheTerminatorIsTheDriversEventCharacterOnlyWhileGathering) {
  port->SetEventChar(L'E');
  port->Open();
  EXPECT_EQ(sim.State(L"COM1").EvtChar, 'E');
  port->SetRxGathering(Gathering(true, 25, 50));
  EXPECT_EQ(sim.State(L"COM1").EvtChar, '\r');
  EXPECT_EQ(port->EventChar(), L'E');  // what is stored of the port stays
  port->SetRxGathering(TRxGathering{});
  EXPECT_EQ(sim.State(L"COM1").EvtChar, 'E');
}

TEST_F(GatherTest, TheTerminatorsEventIsNotHandedToAPortThatDidNotAskForIt) {
  int flags = 0;
  port->SetOnRxFlag([&](TObject*) { ++flags; });
  port->SetEvents(TComEvents{TComEvent::evRxChar});
  port->SetRxGathering(Gathering(true, 200, kForever));
  port->Open();
  EXPECT_EQ(sim.CommMask(L"COM1"), os::kEvRxChar | os::kEvRxFlag);
  Scan("abc\r");
  ASSERT_TRUE(ServeUntil([&] { return received == "abc\r"; }));
  EXPECT_EQ(flags, 0);
  port->SetRxGathering(TRxGathering{});
  EXPECT_EQ(sim.CommMask(L"COM1"), os::kEvRxChar);
}

TEST_F(GatherTest, ADriverThatRefusesTheNextWaitIsWatchedByItsQueue) {
  port->SetRxGathering(Gathering(true, 25, kForever));
  port->Open();
  ASSERT_TRUE(ServeUntil([&] { return CountCalls(SimCall::WaitCommEvent) > 0; }));
  sim.FailNext(SimCall::WaitCommEvent, os::kErrorGenFailure);
  Scan("P1-000001-ABCDEFGHI\r");
  ASSERT_TRUE(ServeUntil([&] { return received == "P1-000001-ABCDEFGHI\r"; })) << received;
  EXPECT_LE(deliveries, 2);
  // The thread waits on the device again afterwards.
  sim.PeerWrite(L"COM1", "z\r");
  ASSERT_TRUE(ServeUntil([&] { return received.back() == '\r' && received.size() == 22; }));
}

TEST_F(GatherTest, ClosingEndsAGatheringAtOnce) {
  port->SetRxGathering(Gathering(false, kForever, kForever));
  port->Open();
  sim.PeerWrite(L"COM1", "ab");
  ASSERT_TRUE(ThreadIsGathering());
  const auto start = std::chrono::steady_clock::now();
  port->Close();
  // Far below the hold's own end.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

// A port that asks only for received bytes and line errors: while it
// gathers, its event thread reads the device (the quiet time as interval
// time-out) instead of waiting for events, and the handler reads what the
// thread read.
class ReadingGather : public GatherTest {
 protected:
  ReadingGather() { port->SetEvents(TComEvents{TComEvent::evRxChar, TComEvent::evError}); }
  bool ThreadIsReading() {
    return ServeUntil([&] { return CountCalls(SimCall::ReadFile) > 0; });
  }
};

TEST_F(ReadingGather, AScanAtLineSpeedComesWholeAndTheHandlerReadsWhatItIsTold) {
  std::vector<std::pair<int, int>> counts;  // told, InputCount before reading
  int after = -1;
  port->SetOnRxChar([&](TObject*, int count) {
    counts.emplace_back(count, port->InputCount());
    std::wstring text;
    EXPECT_EQ(port->ReadStr(text, count), count);
    received += std::string(text.begin(), text.end());
    after = port->InputCount();
    ++deliveries;
  });
  port->SetRxGathering(Gathering(true, 25, 200));
  port->Open();
  const std::string code = "P1-000001-ABCDEFGHI\r";
  Scan(code);
  ASSERT_TRUE(ServeUntil([&] { return received.size() == code.size(); }));
  WaitForScanner();
  EXPECT_EQ(received, code);
  EXPECT_LE(deliveries, 2);
  // Never told more than has come; what the thread still gathers counts as
  // come, though it is read only with its own delivery.
  for (const auto& [told, waiting] : counts) EXPECT_LE(told, waiting);
  EXPECT_EQ(after, 0);
  EXPECT_EQ(CountCalls(SimCall::WaitCommEvent), 0);
}

TEST_F(ReadingGather, NoByteWaitsLongerThanTheLongestHold) {
  port->SetRxGathering(Gathering(false, kForever, 30));
  port->Open();
  Scan("abc");
  ASSERT_TRUE(ServeUntil([&] { return received == "abc"; }, 5s)) << received;
}

TEST_F(ReadingGather, LineErrorsComeWithTheBytes) {
  port->SetOnError([&](TObject*, TComErrors errors) {
    if (errors.Contains(TComError::ceFrame)) seen += "frame error, ";
    seen += "bytes waiting " + std::to_string(port->InputCount());
  });
  port->SetRxGathering(Gathering(false, 25, 200));
  port->Open();
  ASSERT_TRUE(ThreadIsReading());
  sim.AddLineErrors(L"COM1", os::kCeFrame);
  sim.PeerWrite(L"COM1", "ab");
  ASSERT_TRUE(ServeUntil([&] { return received == "ab"; }));
  EXPECT_EQ(seen, "frame error, bytes waiting 2");
}

TEST_F(ReadingGather, SwitchedOffItHandsTheNextByteOverAtOnceAndWaitsAgain) {
  port->Open();
  const os::CommTimeouts own = sim.Timeouts(L"COM1");
  ASSERT_TRUE(ServeUntil([&] { return CountCalls(SimCall::WaitCommEvent) > 0; }));
  port->SetRxGathering(Gathering(false, kForever, kForever));
  ASSERT_TRUE(ThreadIsReading());
  port->SetRxGathering(TRxGathering{});
  const int waits = CountCalls(SimCall::WaitCommEvent);
  sim.PeerWrite(L"COM1", "x");
  // Far below the hold's own end.
  ASSERT_TRUE(ServeUntil([&] { return received == "x"; }));
  ASSERT_TRUE(ServeUntil([&] { return CountCalls(SimCall::WaitCommEvent) > waits; }));
  EXPECT_EQ(sim.Timeouts(L"COM1"), own);
  sim.PeerWrite(L"COM1", "y");
  ASSERT_TRUE(ServeUntil([&] { return received == "xy"; }));
}

TEST_F(ReadingGather, PausedItHandsNothingOverAndResumedEverythingInOrder) {
  port->SetRxGathering(Gathering(true, 25, 200));
  port->Open();
  sim.PeerWrite(L"COM1", "a\r");
  ASSERT_TRUE(ServeUntil([&] { return received == "a\r"; }));
  port->SetRxPaused(true);
  // The read pending at the pause may take the first of these; the port
  // keeps it with the rest.
  sim.PeerWrite(L"COM1", "b\r");
  sim.PeerWrite(L"COM1", "c\r");
  ASSERT_FALSE(ServeUntil([&] { return received.size() > 2; }, 1s)) << received;
  EXPECT_EQ(port->InputCount(), 4);
  port->SetRxPaused(false);
  ASSERT_TRUE(ServeUntil([&] { return received == "a\rb\rc\r"; })) << received;
  sim.PeerWrite(L"COM1", "d\r");
  ASSERT_TRUE(ServeUntil([&] { return received == "a\rb\rc\rd\r"; })) << received;
}

TEST_F(ReadingGather, BytesItIsStillGatheringCountAsReceived) {
  port->SetRxGathering(Gathering(false, kForever, kForever));
  port->Open();
  ASSERT_TRUE(ThreadIsReading());
  sim.PeerWrite(L"COM1", "ab");
  // Asked whether more of a scan came, the port must not say nothing did.
  EXPECT_TRUE(ServeUntil([&] { return port->InputCount() > 0; }, 5s));
  EXPECT_EQ(received, "");
  port->Close();  // may hand the bytes over, to the handler on this port
}

TEST_F(ReadingGather, ResumedJustAfterARefusedDeliveryItHandsTheBytesOver) {
  port->SetRxGathering(Gathering(true, 25, 200));
  port->Open();
  const auto firstByteReads = [&] {
    int n = 0;
    for (const auto& r : sim.Calls()) n += r.call == SimCall::ReadFile && r.args.at(0) == 1;
    return n;
  };
  std::string sent;
  for (int round = 0; round < 20; ++round) {
    // Each scan starts with a read of its first byte; this one is pending.
    ASSERT_TRUE(ServeUntil([&] { return firstByteReads() > round; }));
    port->SetRxPaused(true);
    const int wakes = Wakes();
    const std::string bytes = "r" + std::to_string(round) + "\r";
    sim.PeerWrite(L"COM1", bytes);
    sent += bytes;
    // The pending read takes them and their delivery comes while paused; the
    // resume follows at once, before the thread reads again.
    if (WaitForWakes(wakes + 1)) CheckSynchronize();
    port->SetRxPaused(false);
    ASSERT_TRUE(ServeUntil([&] { return received == sent; }, 2s))
        << "round " << round << ": " << received;
  }
}

TEST_F(ReadingGather, ClosingWhileReadingEndsAtOnce) {
  port->SetRxGathering(Gathering(false, kForever, kForever));
  port->Open();
  sim.PeerWrite(L"COM1", "ab");
  ASSERT_TRUE(ServeUntil([&] { return CountCalls(SimCall::ReadFile) >= 2; }));
  const auto start = std::chrono::steady_clock::now();
  port->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(sim.LiveHandleCount(), 0u);
}

TEST_F(ReadingGather, APulledOutAdapterIsReported) {
  std::int64_t code = 0;
  port->SetOnThreadError(
      [&](TObject*, const std::wstring&, std::int64_t winError) { code = winError; });
  port->SetRxGathering(Gathering(true, 25, 200));
  port->Open();
  ASSERT_TRUE(ThreadIsReading());
  sim.RemovePort(L"COM1");
  ASSERT_TRUE(ServeUntil([&] { return code != 0; }, 30s));
  EXPECT_EQ(code, os::kErrorAccessDenied);
}

}  // namespace
}  // namespace quillet::serial::test
