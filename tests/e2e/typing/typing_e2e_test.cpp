// Long scans typed by the real program into a window under Wine: every
// character arrives, in order, and never more than two batches wait in the
// window; while a device floods a port the main window still answers, the
// other port's scan arrives whole, and closing ends within about 5 s.
//
// Usage: quillet_e2e_typing <quillet.exe> <receiver.exe> [gtest flags], run
// through tests/support/wine-run with the pairs COM7:COM8 and COM5:COM6.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_layout.h"
#include "app/typing.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
#include "tests/e2e/support/e2e_receiver.h"
#include "tests/e2e/support/e2e_scanner.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_test_env.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
using quillet::e2e::Program;
using quillet::e2e::WaitUntil;
using quillet::testsupport::Hex4;

namespace {

std::wstring g_exe;
std::wstring g_receiver;
constexpr DWORD kWaitMs = 20000;

// Lower-case letters and digits: one key each, no Shift.
std::string Code(std::size_t length, std::size_t seed) {
  static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string code;
  for (std::size_t i = 0; i < length; ++i) code += kChars[(i * 7 + seed) % 36];
  return code;
}

// The most keys ever sent to the receiver and not yet handled by it, from
// its --times log: a key counts as sent from its time stamp (GetMessageTime,
// whole milliseconds of the tick clock), handled at its handling time (the
// performance counter). The tick clock is put on the counter's by the
// smallest gap seen between the two, so a key sent within the millisecond of
// a handling counts as ahead of it: the figure errs high, never low.
long MostAhead(const std::vector<std::string>& lines) {
  struct Down {
    double handled;
    double stamp;
  };
  std::vector<Down> downs;
  for (const std::string& line : lines) {
    unsigned vk = 0;
    double t = 0;
    unsigned long mt = 0;
    if (line.rfind("KEYDOWN ", 0) == 0 &&
        std::sscanf(line.c_str(), "KEYDOWN %x t=%lf mt=%lu", &vk, &t, &mt) == 3)
      downs.push_back({t, static_cast<double>(mt)});
  }
  if (downs.empty()) return 0;
  double offset = downs[0].handled - downs[0].stamp;
  for (const Down& d : downs) offset = std::min(offset, d.handled - d.stamp);
  long most = 0;
  std::size_t sent = 0;
  for (std::size_t i = 0; i < downs.size(); ++i) {
    while (sent < downs.size() && downs[sent].stamp + offset <= downs[i].handled + 1.0) ++sent;
    most = std::max(most, static_cast<long>(sent) - static_cast<long>(i));
  }
  return most;
}

// Sends WM_NULL to a window every 20 ms from a thread of its own and keeps
// how long each answer took (ms; a time-out counts as its full 5 s).
class Pinger {
 public:
  explicit Pinger(HWND window)
      : thread_([this, window] {
          while (!stop_) {
            LARGE_INTEGER f, a, b;
            QueryPerformanceFrequency(&f);
            QueryPerformanceCounter(&a);
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            QueryPerformanceCounter(&b);
            times_.push_back(static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 /
                             static_cast<double>(f.QuadPart));
            Sleep(20);
          }
        }) {}
  ~Pinger() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // After Stop.
  double Median() {
    if (times_.empty()) return 0;
    std::sort(times_.begin(), times_.end());
    return times_[times_.size() / 2];
  }
  double Most() const {
    return times_.empty() ? 0 : *std::max_element(times_.begin(), times_.end());
  }
  std::size_t Count() const { return times_.size(); }

 private:
  std::atomic<bool> stop_{false};
  std::vector<double> times_;
  std::thread thread_;
};

double NowMs() {
  LARGE_INTEGER f, at;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&at);
  return static_cast<double>(at.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// How long this Wine takes to take a shown window off the screen. Without a
// window manager (Xvfb alone) it waits up to 2 s for one to answer, for
// every window it hides; on a desktop, and on Windows, that costs nothing.
double WindowHideMs() {
  HWND window = CreateWindowExW(0, L"STATIC", L"hide probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                120, 80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return 0;
  UpdateWindow(window);
  MSG message;
  for (int i = 0; i < 20; ++i, Sleep(10))
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  const double start = NowMs();
  DestroyWindow(window);
  return NowMs() - start;
}

class TypingE2E : public ::testing::Test {
 protected:
  // Row 1 on COM8 (the scanner on COM7), row 2 on COM6 at 115200 bit/s (the
  // device on COM5), both opened at start.
  void Start() {
    quillet::e2e::WriteFreshIni(
        "[skener1]\r\nPort=COM8\r\n[skener2]\r\nPort=COM6\r\nBaudRate=115200\r\n"
        "[Aktivacija]\r\ncbotvori1=1\r\ncbotvori2=1\r\n");
    ASSERT_TRUE(receiver_->Started());
    quillet::e2e::MoveReceiverAside(*receiver_);
    program_ = std::make_unique<Program>(g_exe);
    ASSERT_TRUE(program_->Started());
    top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
    ASSERT_NE(top_, nullptr) << "no main window";
    for (const wchar_t* status : {L"lbstatus1", L"lbstatus2"})
      ASSERT_TRUE(WaitUntil([&] {
        return ud::Text(ud::FindControl(top_, status)) == L"Port status: Opened";
      })) << "a row did not open";
    quillet::e2e::FocusReceiver(*receiver_);
  }

  void TearDown() override {
    if (!program_ || !program_->Running()) return;
    ud::Close(top_);
    if (const auto box = ud::WaitMessageBox(program_->Id(), 2000))
      ud::AnswerMessageBox(*box, IDYES);
    EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  }

  // The CHAR lines, as hex, reading the log at most every half second: a
  // long log costs to read.
  std::string WaitForChars(int count, DWORD ms) {
    std::string hex;
    const DWORD start = GetTickCount();
    do {
      Sleep(500);
      hex.clear();
      for (const auto& line : receiver_->Lines())
        if (line.rfind("CHAR ", 0) == 0) hex += line.substr(5);
    } while (static_cast<int>(hex.size() / 4) < count && GetTickCount() - start < ms);
    return hex;
  }

  std::unique_ptr<quillet::testsupport::Receiver> receiver_ =
      std::make_unique<quillet::testsupport::Receiver>(g_receiver, L"--sink --times");
  std::unique_ptr<Program> program_;
  HWND top_ = nullptr;
};

TEST_F(TypingE2E, LongScansArriveWholeAndNeverFarAheadOfTheWindow) {
  Start();
  std::string expected;
  for (const std::size_t length : {std::size_t{3000}, std::size_t{30000}}) {
    SCOPED_TRACE(length);
    const std::string code = Code(length, length);
    Pinger pinger(top_);
    quillet::e2e::Scanner scanner(L"COM7");
    ASSERT_TRUE(scanner.Scan(code + "\r"));
    expected += Hex4(code + "\r");
    const DWORD start = GetTickCount();
    const std::string typed = WaitForChars(static_cast<int>(expected.size() / 4), 180000);
    const DWORD took = GetTickCount() - start;
    pinger.Stop();
    // Where they part: a prefix is typing not done in time, else a loss.
    const auto differ = std::mismatch(typed.begin(), typed.end(), expected.begin(), expected.end());
    EXPECT_EQ(typed.size(), expected.size())
        << "characters lost or added, after " << took << " ms; the first difference at character "
        << (differ.first - typed.begin()) / 4;
    EXPECT_TRUE(typed == expected) << "the characters differ from the scans";
    const long ahead = MostAhead(receiver_->Lines());
    std::printf(
        "  %zu characters: most queued ahead of the window %ld (two batches: %zu);"
        " main window answered WM_NULL in %.1f ms median, %.1f ms at most (%zu asks)\n",
        length, ahead, 2 * app::kBatchCharacters, pinger.Median(), pinger.Most(), pinger.Count());
    // The estimate errs high by what one millisecond sends; a flood would be
    // thousands.
    EXPECT_LE(ahead, static_cast<long>(3 * app::kBatchCharacters));
    EXPECT_LT(pinger.Median(), 100.0);
  }
}

TEST_F(TypingE2E, AFloodedPortKeepsTheWindowAnsweringTheOtherPortWholeAndTheCloseBounded) {
  Start();
  // 300 000 characters at line speed from the device's end: about 11.5
  // bytes a millisecond, written every 10 ms; lines of 99 and a CR.
  std::atomic<bool> flooding{true};
  std::atomic<long> flooded{0};
  std::thread device([&] {
    quillet::e2e::Scanner port(L"COM5");
    std::string data;
    for (long i = 0; i < 300000; ++i) data += (i % 100 == 99) ? '\r' : Code(1, i)[0];
    LARGE_INTEGER f, start, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&start);
    std::size_t at = 0;
    while (at < data.size() && flooding) {
      QueryPerformanceCounter(&now);
      const double ms = static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
                        static_cast<double>(f.QuadPart);
      const auto due = std::min(data.size(), static_cast<std::size_t>(ms * 11.52));
      for (; at < due; ++at)
        if (!port.Send(data[at])) return;
      flooded = static_cast<long>(at);
      Sleep(10);
    }
  });
  Pinger pinger(top_);
  Sleep(5000);
  const std::string other = "OTHER-PORT-0123456789";
  {
    quillet::e2e::Scanner scanner(L"COM7");
    EXPECT_TRUE(scanner.Scan(other + "\r"));
  }
  // The other port's scan is typed whole (scans are never interleaved),
  // whenever its turn comes.
  const std::string whole = Hex4(other + "\r");
  bool arrived = false;
  for (int i = 0; i < 240 && !arrived; ++i) {
    Sleep(500);
    std::string hex;
    for (const auto& line : receiver_->Lines())
      if (line.rfind("CHAR ", 0) == 0) hex += line.substr(5);
    arrived = hex.find(whole) != std::string::npos;
  }
  pinger.Stop();
  EXPECT_TRUE(arrived) << "the other port's scan did not arrive whole";
  std::printf(
      "  flood: %ld bytes sent; main window answered WM_NULL in %.1f ms median, %.1f ms"
      " at most (%zu asks)\n",
      flooded.load(), pinger.Median(), pinger.Most(), pinger.Count());
  EXPECT_LT(pinger.Median(), 100.0);

  // Closing while the flood still types: the question comes at once; from
  // the answer the program has ended within about 5 s, what is queued typed
  // until then and nothing after.
  const double hideMs = WindowHideMs();
  ud::Close(top_);
  const DWORD asked = GetTickCount();
  if (const auto box = ud::WaitMessageBox(program_->Id(), 3000)) ud::AnswerMessageBox(*box, IDYES);
  const DWORD answered = GetTickCount();
  const double answeredMs = NowMs();
  EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  const DWORD closed = GetTickCount() - answered;
  // When the keys typed after the answer were handled (the receiver's clock
  // is this one): where the closing time went.
  double first = -1, last = -1, gap = 0, gapAt = 0;
  for (const std::string& line : receiver_->Lines()) {
    unsigned vk = 0;
    double t = 0;
    if (line.rfind("KEYDOWN ", 0) == 0 &&
        std::sscanf(line.c_str(), "KEYDOWN %x t=%lf", &vk, &t) == 2 && t > answeredMs) {
      if (first < 0) first = t - answeredMs;
      if (last >= 0 && t - answeredMs - last > gap) {
        gap = t - answeredMs - last;
        gapAt = last;
      }
      last = t - answeredMs;
    }
  }
  // Three windows leave the screen as it closes: the question, the main
  // window and the notification area's host with its last icon. What this
  // Wine spends waiting for a window manager on each is not the program's.
  const double rigMs = 3 * hideMs;
  std::printf(
      "  close: question after %lu ms, program ended %lu ms after the answer (of which"
      " about %.0f ms Wine's waits for a window manager, %.0f ms a window); keys typed from"
      " %.0f to %.0f ms after it, the longest pause %.0f ms from %.0f ms\n",
      static_cast<unsigned long>(answered - asked), static_cast<unsigned long>(closed), rigMs,
      hideMs, first, last, gap, gapAt);
  const double bound = 5000.0 + 1000.0 + rigMs;
  EXPECT_LT(static_cast<double>(closed), bound);
  EXPECT_LT(last, bound) << "keys typed after the close's deadline";
  flooding = false;
  if (device.joinable()) device.join();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_typing <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
