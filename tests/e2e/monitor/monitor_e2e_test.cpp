// The Monitor as a user meets it: two scanners scan into the focused
// receiver, Ports > Monitor lists each scan with its control bytes by name,
// Copy puts the rows on the clipboard, Hexadecimal shows the bytes' codes,
// Esc closes it, it comes back at the place it had, and Clear empties it.
//
// Usage: quillet_e2e_monitor <quillet.exe> <receiver.exe> [gtest flags], run
// through tests/support/wine-run with the pairs COM7:COM8 and COM5:COM6.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_layout.h"
#include "app/monitor_form.h"
#include "tests/e2e/support/e2e_files.h"
#include "tests/e2e/support/e2e_program.h"
#include "tests/e2e/support/e2e_receiver.h"
#include "tests/e2e/support/e2e_scanner.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_test_env.h"
#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;
namespace app = quillet::app;
using quillet::e2e::FocusReceiver;
using quillet::e2e::Program;
using quillet::e2e::Scanner;
using quillet::e2e::WaitUntil;
using quillet::testsupport::Env;

namespace {

std::wstring g_exe;
std::wstring g_receiver;
constexpr DWORD kWaitMs = 20000;

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// The clipboard's Unicode text; empty when it holds none.
std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void EmptyTheClipboard() {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  CloseClipboard();
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::wstring::npos) return parts;
    start = end + separator.size();
  }
}

class MonitorE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two rows that open by themselves: with two ports open every scan is
    // framed whole, so each scan is one row of the Monitor.
    quillet::e2e::WriteFreshIni(
        "[skener1]\r\nPort=COM8\r\n[skener2]\r\nPort=COM6\r\n"
        "[Aktivacija]\r\ncbotvori1=1\r\ncbotvori2=1\r\n");
    artifacts_ = Env(L"QUILLET_ARTIFACTS_WIN");
  }

  void Start() {
    program_ = std::make_unique<Program>(g_exe);
    ASSERT_TRUE(program_->Started());
    top_ = ud::WaitWindow(app::kMainWindowCaption, app::kMainWindowClass, kWaitMs);
    ASSERT_NE(top_, nullptr) << "no main window";
    for (int row : {1, 2}) {
      HWND label = ud::FindControl(top_, L"lbstatus" + std::to_wstring(row));
      ASSERT_TRUE(WaitUntil([&] { return ud::Text(label) == L"Port status: Opened"; }))
          << "row " << row << ": " << Narrow(ud::Text(label));
    }
  }

  void Quit() {
    ud::Close(top_);
    const auto box = ud::WaitMessageBox(program_->Id(), kWaitMs);
    ASSERT_TRUE(box);
    ASSERT_TRUE(ud::AnswerMessageBox(*box, IDYES));
    EXPECT_EQ(program_->WaitExit(kWaitMs), 0);
  }

  HWND OpenMonitor() {
    EXPECT_TRUE(ud::ChooseMenu(top_, L"Ports|Monitor"));
    HWND monitor = ud::WaitWindow(app::kMonitorCaption, app::kMonitorClass, kWaitMs);
    EXPECT_NE(monitor, nullptr) << "no Monitor window";
    if (monitor != nullptr) {
      EXPECT_EQ(GetWindow(monitor, GW_OWNER), top_);
    }
    return monitor;
  }

  static int Rows(HWND monitor) {
    HWND list = ud::FindControl(monitor, std::to_wstring(app::kMonitorList));
    return list == nullptr ? -1 : static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  }

  // Presses Copy and waits for the rows on the clipboard.
  std::vector<std::wstring> Copy(HWND monitor, std::size_t lines) {
    EmptyTheClipboard();
    ud::Click(ud::FindControl(monitor, std::to_wstring(app::kMonitorCopy)));
    std::vector<std::wstring> got;
    EXPECT_TRUE(WaitUntil([&] {
      got = Split(ClipboardText(), L"\r\n");
      return got.size() == lines + 2;  // the header, the rows, and after the last CR LF nothing
    })) << "clipboard: "
        << Narrow(ClipboardText());
    return got;
  }

  void Screenshot(HWND window, const wchar_t* name) {
    if (artifacts_.empty()) return;
    Sleep(300);  // let the last change paint
    ud::SaveScreenshot(window, artifacts_ + L"\\" + name);
  }

  std::wstring artifacts_;
  std::unique_ptr<quillet::testsupport::Receiver> receiver_ =
      std::make_unique<quillet::testsupport::Receiver>(g_receiver);
  std::unique_ptr<Program> program_;
  HWND top_ = nullptr;
};

TEST_F(MonitorE2E, ListsEachScanCopiesItAndKeepsItsPlace) {
  ASSERT_TRUE(receiver_->Started());
  Scanner dock(L"COM7");   // row 1 (COM8)
  Scanner shelf(L"COM5");  // row 2 (COM6)
  Start();

  HWND monitor = OpenMonitor();
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(Rows(monitor), 0);
  // The user works on in the receiver; the Monitor stays open beside it.
  FocusReceiver(*receiver_);
  const std::vector<std::pair<Scanner*, std::string>> scans = {
      {&dock, "QLT-0001\r"}, {&shelf, "SHELF-7\r\n"}, {&dock, "]C1ABC\r"}};
  int characters = receiver_->Count("CHAR ");
  for (const auto& [scanner, code] : scans) {
    ASSERT_TRUE(scanner->Scan(code));
    characters += static_cast<int>(code.size());
    ASSERT_TRUE(receiver_->WaitForCount("CHAR ", characters)) << code << " was not typed";
  }
  ASSERT_TRUE(WaitUntil([&] { return Rows(monitor) == 3; })) << Rows(monitor) << " rows";
  Screenshot(monitor, L"monitor_rows.bmp");

  const struct {
    const wchar_t* row;
    const wchar_t* port;
    const wchar_t* received;
    const wchar_t* hex;
    const wchar_t* typed;
  } expected[] = {
      {L"1", L"COM8", L"QLT-0001<CR>", L"51 4C 54 2D 30 30 30 31 0D", L"QLT-0001<CR>"},
      {L"2", L"COM6", L"SHELF-7<CR><LF>", L"53 48 45 4C 46 2D 37 0D 0A", L"SHELF-7<CR>"},
      {L"1", L"COM8", L"]C1ABC<CR>", L"5D 43 31 41 42 43 0D", L"]C1ABC<CR>"},
  };
  std::vector<std::wstring> lines = Copy(monitor, 3);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], L"Time\tRow\tPort\tReceived\tTyped");
  for (std::size_t i = 0; i < 3; ++i) {
    const std::vector<std::wstring> fields = Split(lines[i + 1], L"\t");
    ASSERT_EQ(fields.size(), 5u) << Narrow(lines[i + 1]);
    EXPECT_EQ(fields[0].size(), 12u) << "hh:mm:ss.mmm: " << Narrow(fields[0]);
    EXPECT_EQ(fields[1], expected[i].row);
    EXPECT_EQ(fields[2], expected[i].port);
    EXPECT_EQ(fields[3], expected[i].received);
    // Typed as it came: no advanced setting shapes it. The LF of a CR LF
    // that came apart is typed on its own, after the row's text.
    EXPECT_EQ(fields[4].rfind(expected[i].typed, 0), 0u) << Narrow(fields[4]);
  }

  // Hexadecimal: the bytes' codes, in the list and on the clipboard.
  ud::Click(ud::FindControl(monitor, std::to_wstring(app::kMonitorHex)));
  ASSERT_TRUE(WaitUntil(
      [&] { return ud::IsChecked(ud::FindControl(monitor, std::to_wstring(app::kMonitorHex))); }));
  Screenshot(monitor, L"monitor_rows_hex.bmp");
  lines = Copy(monitor, 3);
  ASSERT_EQ(lines.size(), 5u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(Split(lines[i + 1], L"\t").at(3), expected[i].hex) << Narrow(lines[i + 1]);

  // Moved and sized by the user, closed with Esc: the place is kept in the file.
  SetWindowPos(monitor, nullptr, 40, 60, 700, 280, SWP_NOZORDER);
  RECT before{};
  GetWindowRect(monitor, &before);
  HWND list = ud::FindControl(monitor, std::to_wstring(app::kMonitorList));
  PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(monitor); })) << "Esc did not close the Monitor";
  const std::string ini = quillet::e2e::ReadFile(quillet::e2e::IniPath());
  EXPECT_NE(ini.find("[Monitor]\r\nLeft=40\r\nTop=60\r\n"), std::string::npos) << ini;
  // Nothing of what was scanned is written to disk.
  for (const char* code : {"QLT-0001", "SHELF-7", "ABC"})
    EXPECT_EQ(ini.find(code), std::string::npos) << code << " in\n" << ini;

  // Open again: the same place, the rows kept while it was closed; Clear empties it.
  monitor = OpenMonitor();
  ASSERT_NE(monitor, nullptr);
  RECT after{};
  GetWindowRect(monitor, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  EXPECT_TRUE(WaitUntil([&] { return Rows(monitor) == 3; })) << Rows(monitor) << " rows";
  ud::Click(ud::FindControl(monitor, std::to_wstring(app::kMonitorClear)));
  EXPECT_TRUE(WaitUntil([&] { return Rows(monitor) == 0; })) << Rows(monitor) << " rows";
  lines = Copy(monitor, 0);
  EXPECT_EQ(lines.at(0), L"Time\tRow\tPort\tReceived\tTyped");

  // A scan after the Clear is the one row.
  FocusReceiver(*receiver_);
  ASSERT_TRUE(shelf.Scan("Z9\r"));
  ASSERT_TRUE(receiver_->WaitForCount("CHAR ", characters + 3));
  EXPECT_TRUE(WaitUntil([&] { return Rows(monitor) == 1; })) << Rows(monitor) << " rows";
  Quit();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_e2e_monitor <quillet.exe> <receiver.exe>\n");
    return 2;
  }
  g_exe = quillet::e2e::WindowsPath(argv[1]);
  g_receiver = quillet::e2e::WindowsPath(argv[2]);
  return RUN_ALL_TESTS();
}
