// A port whose reading is paused: its bytes stay in the driver, the event
// thread neither waits for them nor hands them over, other events still come,
// and resuming hands over what waited, in order, without a new byte.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "serial/com_thread.h"
#include "tests/unit/serial/event_fixture.h"

namespace quillet::serial::test {
namespace {

using namespace std::chrono_literals;

class RxPauseTest : public EventTest {
 protected:
  RxPauseTest() {
    port->SetOnRxChar([this](TObject*, int count) {
      std::wstring text;
      port->ReadStr(text, count);
      received += std::string(text.begin(), text.end());
    });
    port->SetOnCTSChange([this](TObject*, bool on) { seen += on ? "CTS on;" : "CTS off;"; });
    port->SetOnError([this](TObject*, TComErrors errors) {
      if (errors.Contains(TComError::ceOverrun)) seen += "overrun;";
    });
  }
  ~RxPauseTest() override { port.reset(); }

  // Serves the hand-over for a while, as the user-interface thread would.
  void ServeFor(std::chrono::milliseconds time) {
    static_cast<void>(ServeUntil([] { return false; }, std::chrono::seconds(0)));
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) {
      CheckSynchronize();
      std::this_thread::sleep_for(2ms);
    }
  }

  // A scanner writes the bytes one a millisecond.
  void Scan(const std::string& bytes) {
    for (const char byte : bytes) {
      sim.PeerWrite(L"COM1", std::string(1, byte));
      std::this_thread::sleep_for(1ms);
    }
  }

  std::string received;
  std::string seen;
};

struct PauseCase {
  const char* name;
  bool pausedBeforeOpen;
  TComEvents events;  // only evRxChar: nothing is left to wait for while paused
};

class RxPauseCases : public RxPauseTest, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(RxPauseCases, BytesWaitInTheDriverUntilResumedThenComeInOrder) {
  const PauseCase& c = GetParam();
  port->SetEvents(c.events);
  if (c.pausedBeforeOpen) port->SetRxPaused(true);
  port->Open();
  ASSERT_TRUE(port->Connected());
  if (!c.pausedBeforeOpen) {
    Scan("AB");
    ASSERT_TRUE(ServeUntil([&] { return received == "AB"; })) << received;
    port->SetRxPaused(true);
  }
  EXPECT_EQ(sim.CommMask(L"COM1") & TComThread::kReceiveEvents, 0u)
      << "no wait asks for received bytes";

  sim.ClearCalls();
  Scan("CDEFGHIJ");
  ServeFor(100ms);
  const std::string before = c.pausedBeforeOpen ? "" : "AB";
  EXPECT_EQ(received, before) << "nothing is read while paused";
  EXPECT_EQ(sim.PeerUnread(L"COM1"), 8u) << "the bytes wait in the driver";
  EXPECT_LE(CountCalls(SimCall::WaitCommEvent), 2) << "the thread does not spin on the bytes";
  EXPECT_EQ(CountCalls(SimCall::ReadFile), 0);

  port->SetRxPaused(false);
  ASSERT_TRUE(ServeUntil([&] { return received == before + "CDEFGHIJ"; }))
      << "resuming hands over what waited, without a new byte: " << received;
  Scan("KL");
  ASSERT_TRUE(ServeUntil([&] { return received == before + "CDEFGHIJKL"; })) << received;
  EXPECT_EQ(sim.CommMask(L"COM1") & os::kEvRxChar, os::kEvRxChar);
}

INSTANTIATE_TEST_SUITE_P(Pause, RxPauseCases,
                         ::testing::Values(PauseCase{"WhileOpen", false, TComEvents::All()},
                                           PauseCase{"BeforeOpen", true, TComEvents::All()},
                                           PauseCase{"OnlyReceiveAsked", false,
                                                     TComEvents{TComEvent::evRxChar}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RxPauseTest, OtherEventsAndLineErrorsStillComeWhilePaused) {
  port->Open();
  seen.clear();  // the lines as the port opened
  port->SetRxPaused(true);
  Scan("XYZ");
  sim.SetModemStatus(L"COM1", os::kMsCtsOn);
  ASSERT_TRUE(ServeUntil([&] { return seen == "CTS on;"; })) << seen;
  sim.AddLineErrors(L"COM1", os::kCeOverrun);
  ASSERT_TRUE(ServeUntil([&] { return seen == "CTS on;overrun;"; })) << seen;
  EXPECT_EQ(received, "");

  port->SetRxPaused(false);
  ASSERT_TRUE(ServeUntil([&] { return received == "XYZ"; })) << received;
}

TEST_F(RxPauseTest, AResumeJustAfterThePauseLosesNothing) {
  port->Open();
  std::string sent;
  for (int round = 0; round < 20; ++round) {
    port->SetRxPaused(true);
    const std::string bytes = "r" + std::to_string(round) + ";";
    Scan(bytes);
    sent += bytes;
    port->SetRxPaused(false);
    ASSERT_TRUE(ServeUntil([&] { return received == sent; })) << received;
  }
}

}  // namespace
}  // namespace quillet::serial::test
