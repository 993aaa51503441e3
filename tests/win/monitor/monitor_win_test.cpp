// The Monitor window on a real owner under Wine, with a record the test
// fills: the layout at 96 and 144 DPI, the list following new rows unless
// scrolled up, Copy on the clipboard, Tab between its controls, Esc closing
// it with its place kept, and a stored place off every screen brought back
// onto the work area.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/main_window_layout.h"
#include "app/monitor_form.h"
#include "app/win32/monitor_window.h"
#include "app/win32/win32_services.h"
#include "config/config_path.h"
#include "tests/support/message_pump.h"
#include "tests/support/wine_test_env.h"
#include "tools/uidriver/ui_driver.h"

namespace quillet::app::win32 {
namespace {

namespace fs = std::filesystem;
using testsupport::PumpUntil;

// The real shell, with the application-data folder moved to a folder of the
// test's own, so the configuration file it writes is its own.
class TestShell final : public os::ShellApi {
 public:
  explicit TestShell(std::wstring app_data) : app_data_(std::move(app_data)) {}
  std::wstring AppDataFolder() override { return app_data_; }
  bool DirectoryExists(const std::wstring& path) override { return real_.DirectoryExists(path); }
  bool MakeDirectory(const std::wstring& path) override { return real_.MakeDirectory(path); }
  bool FileExists(const std::wstring& path) override { return real_.FileExists(path); }

 private:
  std::wstring app_data_;
  os::win32::Win32ShellApi real_;
};

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

reception::Reception Arrived(int row, std::string bytes) {
  reception::Reception reception;
  reception.msOfDay = 12 * 3600000 + 34 * 60000 + 56789;
  reception.row = row;
  reception.port = row == 1 ? L"COM8" : L"COM6";
  reception.received = std::move(bytes);
  return reception;
}

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

class MonitorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / (L"quillet-monitor-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / L"Brovana" / L"Quillet");
    shell_ = std::make_unique<TestShell>(folder_.wstring());

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuilletMonitorTestOwner";
    RegisterClassExW(&wc);
    owner_ = CreateWindowExW(0, wc.lpszClassName, L"Owner", WS_OVERLAPPEDWINDOW, 100, 100, 558, 404,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(owner_, nullptr);
    ShowWindow(owner_, SW_SHOW);
  }
  void TearDown() override {
    monitor_.reset();
    if (owner_ != nullptr) DestroyWindow(owner_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  Services Get() {
    return Services{platform_.serial, platform_.profile, *shell_, platform_.keyboard,
                    platform_.registry};
  }
  HWND Show(int dpi = 96) {
    monitor_ =
        std::make_unique<TMonitorForm>(GetModuleHandleW(nullptr), owner_, Get(), record_, dpi);
    monitor_->Show();
    PumpUntil([] { return false; }, 200);
    return monitor_->Handle();
  }
  HWND Control(int id) const { return GetDlgItem(monitor_->Handle(), id); }
  int Count() const {
    return static_cast<int>(SendMessageW(Control(kMonitorList), LVM_GETITEMCOUNT, 0, 0));
  }
  RECT InClient(int id) const {
    RECT r{};
    GetWindowRect(Control(id), &r);
    MapWindowPoints(nullptr, monitor_->Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  std::string Ini() const {
    std::ifstream in(folder_ / L"Brovana" / L"Quillet" / L"skeneri.ini", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Screenshot(const wchar_t* name) {
    const std::wstring artifacts = testsupport::Env(L"QUILLET_ARTIFACTS_WIN");
    if (artifacts.empty()) return;
    PumpUntil([] { return false; }, 300);  // let the last change paint
    uidriver::SaveScreenshot(monitor_->Handle(), artifacts + L"\\" + name);
  }

  fs::path folder_;
  Win32Services platform_;
  std::unique_ptr<TestShell> shell_;
  HWND owner_ = nullptr;
  reception::ReceptionRecord record_;
  std::unique_ptr<TMonitorForm> monitor_;
};

TEST_F(MonitorWindowTest, LaysItsControlsOutAtTheScreensDpi) {
  for (const int dpi : {96, 144}) {
    HWND window = Show(dpi);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner_);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left >= ScaleForDpi(kMonitorDefaultWidth - 20, dpi), true)
        << "at " << dpi;
    const int margin = ScaleForDpi(8, dpi);
    const RECT list = InClient(kMonitorList);
    const RECT copy = InClient(kMonitorCopy);
    const RECT clear = InClient(kMonitorClear);
    const RECT hex = InClient(kMonitorHex);
    EXPECT_EQ(list.left, margin) << dpi;
    EXPECT_EQ(list.top, margin) << dpi;
    EXPECT_EQ(list.right, client.right - margin) << dpi;
    EXPECT_EQ(clear.right, client.right - margin) << dpi;
    EXPECT_EQ(clear.bottom, client.bottom - margin) << dpi;
    EXPECT_EQ(clear.right - clear.left, ScaleForDpi(75, dpi)) << dpi;
    EXPECT_EQ(clear.bottom - clear.top, ScaleForDpi(23, dpi)) << dpi;
    EXPECT_EQ(copy.right, clear.left - margin) << dpi;
    EXPECT_EQ(copy.top, clear.top) << dpi;
    EXPECT_EQ(hex.left, margin) << dpi;
    EXPECT_EQ(hex.top, clear.top) << dpi;
    EXPECT_EQ(list.bottom, clear.top - margin) << dpi;
    // The four columns fill the list's width: nothing to scroll sideways.
    RECT inside{};
    GetClientRect(Control(kMonitorList), &inside);
    int columns = 0;
    for (int i = 0; i < 4; ++i) columns += ListView_GetColumnWidth(Control(kMonitorList), i);
    EXPECT_LE(columns, inside.right) << dpi;
    EXPECT_GE(columns, inside.right - 2) << dpi;
    DestroyWindow(window);
  }
}

TEST_F(MonitorWindowTest, FollowsNewRowsUnlessScrolledUpAndCopiesThemAll) {
  record_.Add(Arrived(1, "QLT-0001\r"));
  record_.Settle(1, reception::ReceptionOutcome::typed, L"QLT-0001\r");
  record_.Add(Arrived(2,
                      "\x1D"
                      "0104012345678901\r\n"));
  record_.Settle(2, reception::ReceptionOutcome::refused, {}, L"the window runs as administrator");
  record_.Add(Arrived(1, "]C1ABC\x04"));
  HWND window = Show();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Count(), 3);
  Screenshot(L"monitor_window_rows.bmp");

  // Rows added while shown come within the refresh delay, the newest in view.
  HWND list = Control(kMonitorList);
  for (int i = 0; i < 60; ++i) record_.Add(Arrived(1 + i % 2, "CODE-" + std::to_string(i) + "\r"));
  ASSERT_TRUE(PumpUntil([&] { return Count() == 63; }, 5000)) << Count();
  const auto newest_shown = [&] {
    return ShowsNewest(static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)),
                       static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0)), Count());
  };
  EXPECT_TRUE(newest_shown());
  EXPECT_GT(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
  // Scrolled to the top, the user reads on while more rows come.
  SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
  PumpUntil([] { return false; }, 100);
  ASSERT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
  record_.Add(Arrived(2, "LATE\r"));
  ASSERT_TRUE(PumpUntil([&] { return Count() == 64; }, 5000)) << Count();
  EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);

  // Copy: every row, also those not in view, as the record renders them.
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  SendMessageW(Control(kMonitorCopy), BM_CLICK, 0, 0);
  EXPECT_EQ(ClipboardText(), reception::RenderForClipboard(record_.Rows(), false));
  SendMessageW(Control(kMonitorHex), BM_CLICK, 0, 0);
  SendMessageW(Control(kMonitorCopy), BM_CLICK, 0, 0);
  const std::wstring hex = ClipboardText();
  EXPECT_EQ(hex, reception::RenderForClipboard(record_.Rows(), true));
  EXPECT_NE(hex.find(L"\t1D 30 31 30"), std::wstring::npos);

  // Clear empties the record and the list.
  SendMessageW(Control(kMonitorClear), BM_CLICK, 0, 0);
  EXPECT_TRUE(record_.Rows().empty());
  EXPECT_EQ(Count(), 0);
}

TEST_F(MonitorWindowTest, EscClosesItKeepingItsPlaceAndAPlaceOffScreenComesBack) {
  HWND window = Show();
  ASSERT_NE(window, nullptr);
  SetWindowPos(window, nullptr, 30, 40, 700, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  // Keys reach the focused control through the thread's queue, as key presses
  // do: Tab moves on to the next control, Esc closes the window.
  SetForegroundWindow(window);
  SetFocus(Control(kMonitorList));
  PostMessageW(Control(kMonitorList), WM_KEYDOWN, VK_TAB, 0x000F0001);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == Control(kMonitorHex); }, 5000))
      << "Tab did not move to Hexadecimal";
  SetFocus(Control(kMonitorList));
  PostMessageW(Control(kMonitorList), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << "Esc did not close it";
  EXPECT_EQ(monitor_->Handle(), nullptr);
  EXPECT_NE(Ini().find("[Monitor]\r\nLeft=30\r\nTop=40\r\nWidth=700\r\nHeight=300\r\n"),
            std::string::npos)
      << Ini();
  EXPECT_FALSE(static_cast<bool>(record_.OnChange)) << "a closed Monitor still listens";

  // A screen that has gone: the place comes back whole onto the work area.
  std::ofstream(folder_ / L"Brovana" / L"Quillet" / L"skeneri.ini", std::ios::binary)
      << "[Monitor]\r\nLeft=9000\r\nTop=-7000\r\nWidth=700\r\nHeight=300\r\n";
  window = Show();
  ASSERT_NE(window, nullptr);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT placed{};
  GetWindowRect(window, &placed);
  EXPECT_GE(placed.left, work.left);
  EXPECT_GE(placed.top, work.top);
  EXPECT_LE(placed.right, work.right);
  EXPECT_LE(placed.bottom, work.bottom);
  EXPECT_EQ(placed.right - placed.left, 700);
}

}  // namespace
}  // namespace quillet::app::win32
