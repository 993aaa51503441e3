// TypeText through the real user32 calls into the receiver window: what the
// window's edit box ends up holding, and the keys it saw.
//
// Usage: quillet_win_typing <path of receiver.exe> [gtest flags]. A Linux
// path (/x/y) is taken as Wine sees it (Z:\x\y).
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/typing.h"
#include "os/sim/layouts.h"
#include "os/win32/keyboard_win32.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_path.h"

namespace {

using quillet::testsupport::WindowsPath;

std::wstring g_receiverPath;

using namespace std::chrono_literals;
constexpr auto kDeadline = 20s;

std::string Hex4(const std::wstring& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const wchar_t ch : text)
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(ch >> shift) & 0xF];
  return out;
}

using Receiver = quillet::testsupport::Receiver;

class TypingIntoReceiver : public ::testing::Test {
 protected:
  explicit TypingIntoReceiver(const std::wstring& options = L"")
      : receiver_(g_receiverPath, options) {}

  void SetUp() override {
    ASSERT_TRUE(receiver_.Started()) << "cannot start the receiver";
    const auto ready = receiver_.WaitForLine("READY caps=");
    ASSERT_TRUE(ready) << "the receiver never got the focus";
    caps_ = ready->back() == '1';
  }

  void TearDown() override {
    // Leave Caps Lock off for whatever runs next in this Wine session.
    if (caps_) {
      keybd_event(VK_CAPITAL, 0, 0, 0);
      keybd_event(VK_CAPITAL, 0, KEYEVENTF_KEYUP, 0);
    }
    if (!HasFailure()) return;
    std::string log;
    for (const auto& line : receiver_.Lines()) log += line + "\n";
    ADD_FAILURE() << "receiver log:\n" << log;
  }

  // One Caps Lock press if needed, then both the receiver and this thread
  // must see the wanted state (Wine may take it from X).
  void SetCapsLock(bool on) {
    if (caps_ != on) {
      const int before = receiver_.Count("CAPS ");
      keybd_event(VK_CAPITAL, 0, 0, 0);
      keybd_event(VK_CAPITAL, 0, KEYEVENTF_KEYUP, 0);
      ASSERT_TRUE(receiver_.WaitForCount("CAPS ", before + 1));
      const auto lines = receiver_.Lines();
      std::string last;
      for (const auto& line : lines)
        if (line.rfind("CAPS ", 0) == 0) last = line;
      caps_ = last == "CAPS 1";
    }
    ASSERT_EQ(caps_, on) << "the receiver's Caps Lock";
    ASSERT_EQ((GetKeyState(VK_CAPITAL) & 1) != 0, on) << "this thread's Caps Lock";
  }

  // Types text and waits for one WM_CHAR per code unit.
  void Type(const std::wstring& text) {
    const int before = receiver_.Count("CHAR ");
    quillet::os::win32::Win32KeyboardApi keyboard;
    ASSERT_FALSE(quillet::app::TypeText(text, keyboard).refused);
    ASSERT_TRUE(receiver_.WaitForCount("CHAR ", before + static_cast<int>(text.size())))
        << "only " << receiver_.Count("CHAR ") - before << " of " << text.size()
        << " characters arrived";
  }

  void ExpectFinalText(const std::wstring& expected) {
    const auto text = receiver_.CloseAndReadText();
    ASSERT_TRUE(text) << "the receiver did not report its text";
    EXPECT_EQ(*text, Hex4(expected));
  }

  // The characters of the CHAR lines from the index-th on.
  std::wstring CharsFrom(std::size_t index) const {
    std::wstring chars;
    std::size_t seen = 0;
    for (const auto& line : receiver_.Lines()) {
      if (line.rfind("CHAR ", 0) != 0 || seen++ < index) continue;
      chars += static_cast<wchar_t>(std::stoul(line.substr(5), nullptr, 16));
    }
    return chars;
  }

  Receiver receiver_;
  bool caps_ = false;
};

// The receiver with accelerators for Ctrl+A, Ctrl+V, Ctrl+W and Ctrl+X.
class TypingIntoShortcutReceiver : public TypingIntoReceiver {
 protected:
  TypingIntoShortcutReceiver() : TypingIntoReceiver(L"--shortcuts") {}
};

const std::wstring kMixed =
    L"Hello World, QUILLET quillet 0123456789 !@#$%^&*()-_=+[]{};:'\",.<>/?\\|`~";

TEST_F(TypingIntoReceiver, MixedTextWithCapsLockOff) {
  SetCapsLock(false);
  Type(kMixed);
  // Letters come from their keys; Wine's lookup finds no key for "(", so it
  // comes as a Unicode event (VK_PACKET).
  EXPECT_EQ(receiver_.LineBefore("CHAR 0048"), "KEYDOWN 48");
  EXPECT_EQ(receiver_.LineBefore("CHAR 0028"), "KEYDOWN E7");
  ExpectFinalText(kMixed);
}

TEST_F(TypingIntoReceiver, MixedTextWithCapsLockOn) {
  SetCapsLock(true);
  Type(kMixed);
  ExpectFinalText(kMixed);
}

TEST_F(TypingIntoReceiver, ReturnLineFeedAndTabArriveAsTheirKeys) {
  SetCapsLock(false);
  const int enterBefore = receiver_.Count("KEYDOWN 0D");
  Type(L"a\rb\nc\td");
  // Both CR and LF are the Enter key; the window sees CR for each.
  EXPECT_EQ(receiver_.Count("KEYDOWN 0D") - enterBefore, 2);
  EXPECT_EQ(receiver_.Count("KEYDOWN 09"), 1);
  EXPECT_EQ(receiver_.Count("CHAR 000D"), 2);
  EXPECT_EQ(receiver_.Count("CHAR 000A"), 0);
  EXPECT_EQ(receiver_.Count("CHAR 0009"), 1);
  // The edit box stores each Enter as CR LF.
  ExpectFinalText(L"a\r\nb\r\nc\td");
}

TEST_F(TypingIntoReceiver, BackspaceErases) {
  SetCapsLock(false);
  Type(L"ab\bc");
  ExpectFinalText(L"ac");
}

TEST_F(TypingIntoReceiver, Latin1AndCharactersBeyondArriveExactly) {
  SetCapsLock(false);
  std::wstring text;
  for (wchar_t ch = 0xA0; ch <= 0xFF; ++ch) text += ch;
  text += L"\u20AC\u0416";
  Type(text);
  ExpectFinalText(text);
}

TEST_F(TypingIntoReceiver, GroupSeparatorArrivesAsItself) {
  SetCapsLock(false);
  Type(L"x\x1Dy");
  EXPECT_EQ(receiver_.Count("CHAR 001D"), 1);
  EXPECT_EQ(receiver_.Count("CHAR 005D"), 0);  // not "]"
  // An edit box keeps no control characters.
  ExpectFinalText(L"xy");
}

// The AltGr path planned for the German layout, sent through the real calls:
// the window sees Ctrl, Alt, the key, and the releases in reverse.
TEST_F(TypingIntoReceiver, AltGrChordsArriveInOrder) {
  SetCapsLock(false);
  class GermanQuery final : public quillet::app::LayoutQuery {
   public:
    std::int16_t VkKeyScan(wchar_t ch) const override {
      return quillet::os::sim::LayoutVkKeyScan(quillet::os::sim::GermanLayout(), ch);
    }
    quillet::os::ToUnicodeResult KeyResult(quillet::os::Byte vk, quillet::os::Byte state,
                                           bool caps) const override {
      return quillet::os::sim::LayoutToUnicode(quillet::os::sim::GermanLayout(), vk, state, caps);
    }
  };
  const auto plan = quillet::app::PlanTyping(L"@", false, GermanQuery());
  const std::size_t before = receiver_.Lines().size();
  quillet::os::win32::Win32KeyboardApi keyboard;
  quillet::app::SendKeyEvents(plan, keyboard);
  ASSERT_TRUE(receiver_.WaitForCount("KEYUP 11", 1) || receiver_.WaitForCount("SYSKEYUP 11", 1));
  std::vector<std::string> keys;
  const auto lines = receiver_.Lines();
  for (std::size_t i = before; i < lines.size(); ++i) {
    const auto& line = lines[i];
    if (line.find("KEY") != std::string::npos) keys.push_back(line.substr(line.find("KEY")));
  }
  const std::vector<std::string> expected = {"KEYDOWN 11", "KEYDOWN 12", "KEYDOWN 51",
                                             "KEYUP 51",   "KEYUP 12",   "KEYUP 11"};
  EXPECT_EQ(keys, expected);
  ExpectFinalText(L"");
}

// SOH, SYN, ETB, CAN and GS, as scanners send them: each arrives as that
// character, with no Ctrl key down, so no shortcut of the window fires.
TEST_F(TypingIntoShortcutReceiver, ControlBytesArriveAsCharactersAndFireNoShortcut) {
  SetCapsLock(false);
  const std::wstring controls = L"\x01\x16\x17\x18\x1D";
  const auto before = static_cast<std::size_t>(receiver_.Count("CHAR "));
  Type(controls);
  EXPECT_EQ(Hex4(CharsFrom(before)), Hex4(controls));
  EXPECT_EQ(receiver_.Count("KEYDOWN 11"), 0);
  EXPECT_EQ(receiver_.Count("ACCEL "), 0);

  // The table does fire for a real Ctrl+A, so its silence above means something.
  keybd_event(VK_CONTROL, 0, 0, 0);
  keybd_event('A', 0, 0, 0);
  keybd_event('A', 0, KEYEVENTF_KEYUP, 0);
  keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
  EXPECT_TRUE(receiver_.WaitForLine("ACCEL A"));
}

// The receiver with a sink that keeps characters at no cost, so that the
// edit box's own slowness (it lays its whole text out again on every
// character) does not stretch a long scan.
class TypingIntoSinkReceiver : public TypingIntoReceiver {
 protected:
  TypingIntoSinkReceiver() : TypingIntoReceiver(L"--sink") {}
};

// The largest QR code's worth of text, typed in paced batches: all of it,
// in order, in the window's characters and in what the window kept.
TEST_F(TypingIntoSinkReceiver, A3000CharacterScanArrivesCompleteAndInOrder) {
  SetCapsLock(false);
  std::wstring text;
  for (int i = 0; i < 3000; ++i) text += static_cast<wchar_t>(0x20 + (i * 7) % 95);
  const auto before = static_cast<std::size_t>(receiver_.Count("CHAR "));
  Type(text);
  EXPECT_EQ(CharsFrom(before) == text, true) << "the WM_CHAR log differs";
  ExpectFinalText(text);
}

// Under Wine both processes run with the same rights: the check lets the
// text through, and it has a level to compare.
TEST_F(TypingIntoReceiver, TheReceiverRunsWithOurRights) {
  quillet::os::win32::Win32KeyboardApi keyboard;
  const auto window = keyboard.GetForegroundWindow();
  ASSERT_EQ(reinterpret_cast<HWND>(window), receiver_.Window());
  EXPECT_EQ(keyboard.GetWindowTextW(window), L"Quillet Receiver");
  const auto ours = keyboard.GetProcessIntegrityLevel(keyboard.GetCurrentProcessId());
  const auto theirs = keyboard.GetProcessIntegrityLevel(keyboard.GetWindowProcessId(window));
  ASSERT_TRUE(ours.has_value());
  EXPECT_EQ(theirs, ours);
  EXPECT_TRUE(keyboard.SendNullMessageTimeout(
      window, quillet::os::kSmtoBlock | quillet::os::kSmtoAbortIfHung, 1000));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: %s <receiver.exe> [gtest flags]\n", argv[0]);
    return 2;
  }
  g_receiverPath = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
