// Key names in the prefix and suffix, and the pace between characters, as
// the focused window receives them from the real program: a suffix {TAB} is
// a Tab key, a {SHIFT+F5} prefix leaves no Shift down for the scan after it,
// and CharDelay spaces the characters.
//
// Usage: quillet_e2e_keys <quillet.exe> <receiver.exe> [gtest flags], run
// through tests/support/wine-run with the pair COM7:COM8.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
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

// One key-down as the receiver logged it with --times.
struct KeyDown {
  unsigned vk = 0;
  double ms = 0;            // when the receiver handled it
  unsigned long stamp = 0;  // the message's time stamp: when it went into the input
  unsigned scan = 0;
  bool shift = false, ctrl = false, alt = false;
};

std::vector<KeyDown> KeyDowns(const std::vector<std::string>& lines) {
  std::vector<KeyDown> downs;
  for (const std::string& line : lines) {
    unsigned vk = 0, scan = 0, ext = 0, shift = 0, ctrl = 0, alt = 0;
    unsigned long stamp = 0;
    double ms = 0;
    const char* format = "%*s %x t=%lf mt=%lu sc=%x ext=%u shift=%u ctrl=%u alt=%u";
    if ((line.rfind("KEYDOWN ", 0) == 0 || line.rfind("SYSKEYDOWN ", 0) == 0) &&
        std::sscanf(line.c_str(), format, &vk, &ms, &stamp, &scan, &ext, &shift, &ctrl, &alt) == 8)
      downs.push_back({vk, ms, stamp, scan, shift != 0, ctrl != 0, alt != 0});
  }
  return downs;
}

class KeysE2E : public ::testing::Test {
 protected:
  // The file as the advanced dialog would have saved it, row 1 on COM8 and
  // opened at start; `advanced` holds the [Napredna] keys.
  void Start(const std::string& advanced) {
    quillet::e2e::WriteFreshIni(
        std::string("[skener1]\r\nPort=COM8\r\n[Aktivacija]\r\ncbotvori1=1\r\n[Napredna]\r\n") +
        advanced);
    ASSERT_TRUE(receiver_->Started());
    HWND window = receiver_->Window();
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, nullptr, 0, GetSystemMetrics(SM_CYSCREEN) - 200, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    program_ = std::make_unique<Program>(g_exe);
    ASSERT_TRUE(program_->Started());
    top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
    ASSERT_NE(top_, nullptr) << "no main window";
    ASSERT_TRUE(WaitUntil([&] {
      return ud::Text(ud::FindControl(top_, L"lbstatus1")) == L"Port status: Opened";
    })) << "row 1 did not open";
    ASSERT_TRUE(WaitUntil([&] {
      if (GetForegroundWindow() == window) return true;
      SetForegroundWindow(window);
      return false;
    })) << "the receiver cannot get the foreground";
  }

  void TearDown() override {
    if (!program_ || !program_->Running()) return;
    ud::Close(top_);
    if (const auto box = ud::WaitMessageBox(program_->Id(), kWaitMs))
      ud::AnswerMessageBox(*box, IDYES);
    EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  }

  // Writes the code byte by byte, as a scanner at 9600 bit/s sends it.
  void Scan(const std::string& code) {
    quillet::e2e::Scanner scanner(L"COM7");
    ASSERT_TRUE(scanner.Scan(code));
  }

  // Waits for `count` characters; returns them as hex.
  std::string Typed(int count) {
    EXPECT_TRUE(receiver_->WaitForCount("CHAR ", count))
        << "only " << receiver_->Count("CHAR ") << " of " << count << " characters arrived";
    std::string hex;
    for (const auto& line : receiver_->Lines())
      if (line.rfind("CHAR ", 0) == 0) hex += line.substr(5);
    return hex;
  }

  std::unique_ptr<quillet::testsupport::Receiver> receiver_ =
      std::make_unique<quillet::testsupport::Receiver>(g_receiver, L"--times");
  std::unique_ptr<Program> program_;
  HWND top_ = nullptr;
};

TEST_F(KeysE2E, SuffixTabPressesTheTabKey) {
  Start("cbsufiks=1\r\nSufiks={TAB}\r\n");
  Scan("123\r");
  EXPECT_EQ(Typed(5), Hex4("123\t\r"));
  std::vector<unsigned> vks;
  for (const KeyDown& down : KeyDowns(receiver_->Lines())) {
    vks.push_back(down.vk);
    if (down.vk == VK_TAB) {
      EXPECT_NE(down.scan, 0u) << "the Tab carries its scan code";
      EXPECT_FALSE(down.shift || down.ctrl || down.alt);
    }
  }
  // The Tab is a key of its own (not a character sent as VK_PACKET).
  EXPECT_EQ(vks, (std::vector<unsigned>{'1', '2', '3', VK_TAB, VK_RETURN}));
}

TEST_F(KeysE2E, ShiftChordInThePrefixLeavesShiftUpForTheText) {
  Start("cbprefiks=1\r\nPrefiks={SHIFT+F5}\r\n");
  Scan("ab1\r");
  EXPECT_EQ(Typed(4), Hex4("ab1\r"));
  const std::vector<KeyDown> downs = KeyDowns(receiver_->Lines());
  const auto f5 =
      std::find_if(downs.begin(), downs.end(), [](const KeyDown& d) { return d.vk == VK_F5; });
  ASSERT_NE(f5, downs.end()) << "no F5 key-down";
  EXPECT_TRUE(f5->shift) << "F5 came without Shift";
  ASSERT_EQ(downs.end() - f5, 5) << "F5 and the scan's four keys";
  for (auto it = f5 + 1; it != downs.end(); ++it)
    EXPECT_FALSE(it->shift) << "Shift still down at key " << std::hex << it->vk;
  EXPECT_GE(receiver_->Count("KEYUP 10"), 1) << "Shift never came up";
}

TEST_F(KeysE2E, CharDelaySpacesTheCharacters) {
  Start("CharDelay=40\r\n");
  Scan("ABCDEFGHIJ\r");
  EXPECT_EQ(Typed(11), Hex4("ABCDEFGHIJ\r"));
  // The key messages' own time stamps: when each key went into the input.
  // When the receiver got round to them depends on how busy the machine is.
  std::vector<double> times;
  for (const KeyDown& down : KeyDowns(receiver_->Lines()))
    if (down.vk >= 'A' && down.vk <= 'J') times.push_back(static_cast<double>(down.stamp));
  ASSERT_EQ(times.size(), 10u);
  std::vector<double> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
  std::string all;
  for (const double gap : gaps) {
    all += ' ';
    all += std::to_string(gap);
  }
  for (const double gap : gaps) EXPECT_GE(gap, 35.0) << "gaps (ms):" << all;
  std::sort(gaps.begin(), gaps.end());
  const double median = gaps[4];  // of nine
  EXPECT_NEAR(median, 40.0, 10.0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_keys <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
