// The port settings dialog on real windows, with the registry's serial-port
// map set by the test.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "os/win32/registry_win32.h"
#include "os/win32/serial_win32.h"
#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/win32/com_setup_form.h"
#include "tests/win/setupdialog/dialog_driver.h"

namespace quillet::serial::test {
namespace {

const wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Registers exactly the given ports: every value of the map goes first.
void RegisterPorts(const std::vector<std::wstring>& ports) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (;;) {
    wchar_t name[256];
    DWORD length = 256;
    if (::RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    ASSERT_EQ(::RegDeleteValueW(key, name), ERROR_SUCCESS);
  }
  int n = 0;
  for (const std::wstring& port : ports) {
    const std::wstring name = L"\\Device\\QuilletTest" + std::to_wstring(n++);
    ASSERT_EQ(
        ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                         static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
  }
  ::RegCloseKey(key);
}

// A port that tells when its settings are applied and whether that is
// inside an update.
class WatchedPort final : public TComPort {
 public:
  explicit WatchedPort(os::SerialApi& api) : TComPort(nullptr, api) {}
  int applyAll = 0;
  int lineAppliesOutsideUpdate = 0;
  int UpdateCount() const { return FUpdateCount; }

 protected:
  void ApplyAllSettings() override {
    ++applyAll;
    inApplyAll_ = true;
    TComPort::ApplyAllSettings();
    inApplyAll_ = false;
  }
  void ApplyLineSettings() override {
    if (FUpdateCount == 0 && !inApplyAll_) ++lineAppliesOutsideUpdate;
    TComPort::ApplyLineSettings();
  }

 private:
  bool inApplyAll_ = false;
};

HWND Combo(HWND dialog, int index) {
  return ::GetDlgItem(dialog, kComSetupComboId + index);
}

class SetupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPorts({L"COM1", L"COM10", L"COM2"});
    port.SetPort(L"COM10");
    port.SetBaudRate(TBaudRate::br115200);
    port.SetDataBits(TDataBits::dbSeven);
    port.SetStopBits(TStopBits::sbTwoStopBits);
    port.Parity().SetBits(TParityBits::prEven);
    port.FlowControl().SetFlowControl(TFlowControl::fcHardware);
    port.applyAll = 0;
    port.lineAppliesOutsideUpdate = 0;
  }

  void Show() { ShowSetupDialog(port, nullptr, registry); }
  void ExpectUnchanged() {
    EXPECT_EQ(port.Port(), L"COM10");
    EXPECT_EQ(port.BaudRate(), TBaudRate::br115200);
    EXPECT_EQ(port.DataBits(), TDataBits::dbSeven);
    EXPECT_EQ(port.StopBits(), TStopBits::sbTwoStopBits);
    EXPECT_EQ(port.Parity().Bits(), TParityBits::prEven);
    EXPECT_EQ(port.FlowControl().FlowControl(), TFlowControl::fcHardware);
  }

  os::win32::Win32SerialApi serial;
  os::win32::Win32RegistryApi registry;
  WatchedPort port{serial};
};

TEST_F(SetupDialogTest, ListsHoldTheRegisteredPortsAndEveryValueWithThePortsOnesSelected) {
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               EXPECT_EQ(Entries(Combo(dialog, 0)),
                         (std::vector<std::wstring>{L"COM1", L"COM10", L"COM2"}));
               EXPECT_EQ(Entries(Combo(dialog, 1)).size(), 16u);
               EXPECT_EQ(Entries(Combo(dialog, 5)),
                         (std::vector<std::wstring>{L"Hardware", L"Software", L"None", L"Custom"}));
               const std::vector<std::wstring> selected = {L"COM10", L"115200", L"7",
                                                           L"2",     L"Even",   L"Hardware"};
               for (int i = 0; i < 6; ++i)
                 EXPECT_EQ(Selected(Combo(dialog, i)), selected[static_cast<std::size_t>(i)]);
             });
  ExpectUnchanged();
}

TEST_F(SetupDialogTest, OkWithoutChangeWritesTheSameValuesInOneUpdate) {
  WithDialog([this] { Show(); }, [](HWND dialog) { Press(dialog, kComSetupOkId); });
  ExpectUnchanged();
  EXPECT_EQ(port.applyAll, 1);
  EXPECT_EQ(port.lineAppliesOutsideUpdate, 0);
}

TEST_F(SetupDialogTest, OkAppliesTheChoices) {
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               Choose(dialog, kComSetupComboId + 0, L"COM2");
               Choose(dialog, kComSetupComboId + 1, L"Custom");
               Choose(dialog, kComSetupComboId + 4, L"None");
               Choose(dialog, kComSetupComboId + 5, L"Software");
               Press(dialog, kComSetupOkId);
             });
  EXPECT_EQ(port.Port(), L"COM2");
  EXPECT_EQ(port.BaudRate(), TBaudRate::brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_EQ(port.Parity().Bits(), TParityBits::prNone);
  EXPECT_EQ(port.FlowControl().FlowControl(), TFlowControl::fcSoftware);
  EXPECT_EQ(port.applyAll, 1);
  EXPECT_EQ(port.lineAppliesOutsideUpdate, 0);
}

TEST_F(SetupDialogTest, CancelEscapeAndTheTitleBarCloseChangeNothing) {
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               Choose(dialog, kComSetupComboId + 1, L"300");
               // Escape is not an answer: the dialog stays.
               ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
               EXPECT_TRUE(::IsWindowVisible(dialog));
               Press(dialog, kComSetupCancelId);
             });
  ExpectUnchanged();
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               Choose(dialog, kComSetupComboId + 2, L"5");
               CloseByTitleBar(dialog);
             });
  ExpectUnchanged();
  EXPECT_EQ(port.applyAll, 0);
}

TEST_F(SetupDialogTest, UnregisteredPortShowsNoSelectionAndSurvivesOk) {
  port.SetPort(L"COM7");
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               EXPECT_EQ(Selected(Combo(dialog, 0)), L"");
               Press(dialog, kComSetupOkId);
             });
  EXPECT_EQ(port.Port(), L"COM7");
}

// COM5 <-> COM6 is a null-modem pair linked for this test (COM_PAIR in
// CMakeLists.txt); COM98 is registered but no device stands behind it.
class OpenPortRenameTest : public SetupDialogTest {
 protected:
  void SetUp() override {
    SetupDialogTest::SetUp();
    RegisterPorts({L"COM5", L"COM6", L"COM98"});
    port.SetPort(L"COM5");
    port.SetEvents({});  // no event thread: nothing here serves its hand-over
    // Wine fails SetCommState (error 87) when a pseudo-terminal that ran at
    // 7 data bits, even parity and two stop bits is opened and set so again;
    // renaming does not depend on the line, so these ports run 8N1.
    port.SetDataBits(TDataBits::dbEight);
    port.SetStopBits(TStopBits::sbOneStopBit);
    port.Parity().SetBits(TParityBits::prNone);
    port.Open();
    ASSERT_TRUE(port.Connected());
  }
  void TearDown() override { port.Close(); }

  // The bytes that arrive at a COM port opened here, waiting a few seconds.
  static std::string ReadAt(const wchar_t* device, std::size_t count) {
    HANDLE h =
        ::CreateFileW(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return "<cannot open, error " + std::to_string(::GetLastError()) + ">";
    COMMTIMEOUTS timeouts{0, 0, 5000, 0, 5000};
    ::SetCommTimeouts(h, &timeouts);
    std::string got(count, '\0');
    DWORD n = 0;
    if (!::ReadFile(h, got.data(), static_cast<DWORD>(count), &n, nullptr)) n = 0;
    ::CloseHandle(h);
    got.resize(n);
    return got;
  }
};

TEST_F(OpenPortRenameTest, ChoosingANewNameReopensTheOpenPortUnderIt) {
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               Choose(dialog, kComSetupComboId + 0, L"COM6");
               Press(dialog, kComSetupOkId);
             });
  EXPECT_EQ(port.Port(), L"COM6");
  ASSERT_TRUE(port.Connected());
  // The port now writes into COM6, whose far end is COM5, free again.
  EXPECT_EQ(port.WriteStr(L"moved"), 5);
  EXPECT_EQ(ReadAt(L"\\\\.\\COM5", 5), "moved");
}

TEST_F(OpenPortRenameTest, ANameThatCannotBeOpenedReachesTheCallerAsAPortError) {
  int code = 0;
  int winCode = 0;
  WithDialog(
      [&] {
        try {
          Show();
        } catch (const EComPort& error) {
          code = error.Code();
          winCode = error.WinCode();
        }
      },
      [](HWND dialog) {
        Choose(dialog, kComSetupComboId + 0, L"COM98");
        Press(dialog, kComSetupOkId);
      });
  EXPECT_EQ(code, 1) << "Unable to open com port";
  EXPECT_NE(winCode, -1) << "carries the system's error";
  EXPECT_EQ(port.Port(), L"COM98");  // applied before it failed
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.UpdateCount(), 0) << "the update bracket is closed";
  EXPECT_EQ(::FindWindowW(L"#32770", L"Port settings"), nullptr) << "the dialog is released";
  // Nothing is left half done: the port opens again under a good name.
  port.SetPort(L"COM6");
  port.Open();
  EXPECT_TRUE(port.Connected());
}

TEST_F(SetupDialogTest, EmptyPortMapStillOpensTheDialog) {
  RegisterPorts({});
  WithDialog([this] { Show(); },
             [](HWND dialog) {
               EXPECT_TRUE(Entries(Combo(dialog, 0)).empty());
               Press(dialog, kComSetupOkId);
             });
  ExpectUnchanged();
}

TEST_F(SetupDialogTest, LayoutTabOrderOwnerAndScreenshot) {
  HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 300, 200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  WithDialog(
      [&] { ShowSetupDialog(port, owner, registry); },
      [owner](HWND dialog) {
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), owner);
        EXPECT_FALSE(::IsWindowEnabled(owner));  // no input to the owner meanwhile

        HDC screen = ::GetDC(nullptr);
        const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
        auto px = [dpi](int v) { return ::MulDiv(v, dpi, 96); };

        RECT client{};
        ::GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, px(231));
        EXPECT_EQ(client.bottom, px(216));
        for (int i = 0; i < 6; ++i) {
          const RECT r = ClientRect(dialog, Combo(dialog, i));
          EXPECT_EQ(r.left, px(8 + 80)) << "Combo" << i + 1;
          EXPECT_EQ(r.top, px(8 + 16 + 24 * i)) << "Combo" << i + 1;
          EXPECT_EQ(r.right - r.left, px(129)) << "Combo" << i + 1;
        }
        const RECT ok = ClientRect(dialog, ::GetDlgItem(dialog, kComSetupOkId));
        EXPECT_EQ(ok.left, px(70));
        EXPECT_EQ(ok.top, px(184));
        EXPECT_EQ(ok.right, px(70 + 75));
        EXPECT_EQ(ok.bottom, px(184 + 25));
        const RECT cancel = ClientRect(dialog, ::GetDlgItem(dialog, kComSetupCancelId));
        EXPECT_EQ(cancel.left, px(150));
        EXPECT_EQ(cancel.right, px(150 + 75));
        EXPECT_EQ(cancel.bottom, px(184 + 25));

        // The group frame and the labels, in creation order.
        std::vector<std::pair<std::wstring, RECT>> statics;
        for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
          wchar_t cls[32]{};
          wchar_t text[64]{};
          ::GetClassNameW(child, cls, 32);
          ::GetWindowTextW(child, text, 64);
          const bool frame = lstrcmpiW(cls, L"Button") == 0 &&
                             (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
          if (frame || lstrcmpiW(cls, L"Static") == 0) {
            statics.emplace_back(text, ClientRect(dialog, child));
          }
        }
        ASSERT_EQ(statics.size(), 7u);
        EXPECT_EQ(statics[0].first, L"");
        EXPECT_EQ(statics[0].second.left, px(8));
        EXPECT_EQ(statics[0].second.top, px(8));
        EXPECT_EQ(statics[0].second.right, px(8 + 217));
        EXPECT_EQ(statics[0].second.bottom, px(8 + 169));
        const wchar_t* labels[] = {L"Port",      L"Baud rate", L"Data bits",
                                   L"Stop bits", L"Parity",    L"Flow control"};
        for (int i = 0; i < 6; ++i) {
          const auto& [text, r] = statics[static_cast<std::size_t>(i + 1)];
          EXPECT_EQ(text, labels[i]);
          EXPECT_EQ(r.left, px(8 + 8));
          EXPECT_EQ(r.top, px(8 + 24 + 24 * i));
        }

        // Tab order: the six lists, OK, Cancel, and round again.
        std::vector<int> order;
        HWND at = Combo(dialog, 0);
        for (int i = 0; i < 9; ++i) {
          order.push_back(::GetDlgCtrlID(at));
          at = ::GetNextDlgTabItem(dialog, at, FALSE);
        }
        EXPECT_EQ(order, (std::vector<int>{1001, 1002, 1003, 1004, 1005, 1006, kComSetupOkId,
                                           kComSetupCancelId, 1001}));

        if (const wchar_t* folder = _wgetenv(L"QUILLET_ARTIFACTS_WIN")) {
          ::RedrawWindow(dialog, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
          EXPECT_TRUE(SaveWindowBitmap(dialog, std::wstring(folder) + L"\\setup-dialog.bmp"));
        }
        Press(dialog, kComSetupCancelId);
      });
  EXPECT_TRUE(::IsWindowEnabled(owner));
  ::DestroyWindow(owner);
}

TEST(ComComboBoxTest, FollowsTheBoundPortAppliesAtOnceWithAutoApplyAndLetsGoWhenThePortEnds) {
  HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  os::win32::Win32RegistryApi registry;
  os::win32::Win32SerialApi serial;
  {
    TComComboBox combo(parent, 5000, 0, 0, 120, 200, registry);
    combo.SetComProperty(TComProperty::cpParity);
    EXPECT_EQ(combo.Text(), L"None");  // unbound: the first entry

    auto* port = new TComPort(nullptr, serial);
    port->Parity().SetBits(TParityBits::prSpace);
    combo.SetComPort(port);
    EXPECT_EQ(combo.Text(), L"Space");
    combo.SetText(L"odd");
    EXPECT_EQ(combo.Text(), L"Odd");
    combo.SetText(L"Sometimes");
    EXPECT_EQ(combo.Text(), L"Odd");

    std::vector<TParityBits> seenAtChange;
    combo.SetOnChange([&] { seenAtChange.push_back(port->Parity().Bits()); });
    combo.SetAutoApply(true);
    ::SendMessageW(combo.Handle(), CB_SETCURSEL, 2, 0);
    combo.HandleCommand(CBN_SELCHANGE);
    EXPECT_EQ(port->Parity().Bits(), TParityBits::prEven);
    EXPECT_EQ(seenAtChange,
              std::vector<TParityBits>{TParityBits::prEven});  // applied before the notice

    delete port;
    EXPECT_EQ(combo.ComPort(), nullptr);
    EXPECT_EQ(combo.Text(), L"None");
  }
  ::DestroyWindow(parent);
}

}  // namespace
}  // namespace quillet::serial::test
