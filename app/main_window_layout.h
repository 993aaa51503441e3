// The main window's controls and menu: names, stable control ids, captions
// and positions at 96 DPI. The window, the UI driver and the tests all read
// this one table, so a control is found by its name everywhere.
//
// Id scheme: row controls are <base> + row (btnskenerN 1000+N, lbstatusN
// 1100+N, cbotvoriN 1200+N, ButtonN 1300+N); the other controls 1400 and up;
// menu commands 2000 + 100 * menu + item.
#pragma once

#include <string_view>

namespace quillet::app {

enum class ControlKind { Button, Label, CheckBox, StatusBar, Bevel, Image };
enum class FontKind { Default, Caption, CaptionBold };  // Tahoma 8 pt / 10 pt / 10 pt bold

struct LayoutRect {
  int left;
  int top;
  int width;  // 0 for a label sized to its text
  int height;
};

struct ControlSpec {
  std::wstring_view name;
  int id;
  ControlKind kind;
  std::wstring_view caption;
  LayoutRect bounds;
  FontKind font = FontKind::Default;
  int tag = 0;
  bool word_wrap = false;
};

inline constexpr int kClientWidth = 558;
inline constexpr int kClientHeight = 404;
inline constexpr int kRowCount = 8;
inline constexpr int kTestButtonCount = 6;
inline constexpr std::wstring_view kMainWindowCaption = L"Quillet";
inline constexpr std::wstring_view kMainWindowClass = L"TForm1";

inline constexpr int kDeviceButtonBase = 1000;
inline constexpr int kStatusLabelBase = 1100;
inline constexpr int kOpenCheckBoxBase = 1200;
inline constexpr int kTestButtonBase = 1300;
inline constexpr int kStatusBarId = 1400;

// Creation order is also z-order (first on top): the status bar covers the
// test buttons, and the panel captions lie over the picture.
// clang-format off
inline constexpr ControlSpec kMainWindowControls[] = {
    {L"btnskener1", 1001, ControlKind::Button, L"Device 1", {7, 15, 90, 23}, FontKind::Default, 1},
    {L"btnskener2", 1002, ControlKind::Button, L"Device 2", {7, 59, 90, 24}, FontKind::Default, 2},
    {L"btnskener3", 1003, ControlKind::Button, L"Device 3", {7, 105, 90, 23}, FontKind::Default, 3},
    {L"btnskener4", 1004, ControlKind::Button, L"Device 4", {7, 149, 90, 23}, FontKind::Default, 4},
    {L"btnskener5", 1005, ControlKind::Button, L"Device 5 ", {7, 193, 90, 23}, FontKind::Default, 5},
    {L"btnskener6", 1006, ControlKind::Button, L"Device 6 ", {7, 237, 90, 23}, FontKind::Default, 6},
    {L"btnskener7", 1007, ControlKind::Button, L"Device 7", {7, 281, 90, 24}, FontKind::Default, 7},
    {L"btnskener8", 1008, ControlKind::Button, L"Device 8 ", {7, 327, 90, 23}, FontKind::Default, 8},
    {L"lbstatus1", 1101, ControlKind::Label, L"Port status:", {117, 19, 0, 13}, FontKind::Default, 1},
    {L"lbstatus2", 1102, ControlKind::Label, L"Port status:", {117, 63, 0, 13}, FontKind::Default, 2},
    {L"lbstatus3", 1103, ControlKind::Label, L"Port status:", {117, 109, 0, 13}, FontKind::Default, 3},
    {L"lbstatus4", 1104, ControlKind::Label, L"Port status:", {117, 152, 0, 13}, FontKind::Default, 4},
    {L"lbstatus5", 1105, ControlKind::Label, L"Port status:", {117, 197, 0, 13}, FontKind::Default, 5},
    {L"lbstatus6", 1106, ControlKind::Label, L"Port status:", {117, 241, 0, 13}, FontKind::Default, 6},
    {L"lbstatus7", 1107, ControlKind::Label, L"Port status:", {117, 285, 0, 13}, FontKind::Default, 7},
    {L"lbstatus8", 1108, ControlKind::Label, L"Port status:", {117, 331, 0, 13}, FontKind::Default, 8},
    {L"cbotvori1", 1201, ControlKind::CheckBox, L"Open", {248, 19, 54, 20}},
    {L"cbotvori2", 1202, ControlKind::CheckBox, L"Open", {248, 63, 54, 20}},
    {L"cbotvori3", 1203, ControlKind::CheckBox, L"Open", {248, 109, 54, 20}},
    {L"cbotvori4", 1204, ControlKind::CheckBox, L"Open", {248, 152, 54, 20}},
    {L"cbotvori5", 1205, ControlKind::CheckBox, L"Open", {248, 197, 54, 20}},
    {L"cbotvori6", 1206, ControlKind::CheckBox, L"Open", {248, 241, 54, 20}},
    {L"cbotvori7", 1207, ControlKind::CheckBox, L"Open", {248, 285, 54, 20}},
    {L"cbotvori8", 1208, ControlKind::CheckBox, L"Open", {248, 331, 54, 20}},
    {L"StatusBar1", kStatusBarId, ControlKind::StatusBar, L"", {0, kClientHeight - 22, kClientWidth, 22}},
    {L"Button1", 1301, ControlKind::Button, L"1", {30, 384, 38, 23}},
    {L"Button2", 1302, ControlKind::Button, L"2", {73, 384, 38, 23}},
    {L"Button3", 1303, ControlKind::Button, L"3", {117, 384, 38, 23}},
    {L"Button4", 1304, ControlKind::Button, L"4", {161, 384, 38, 23}},
    {L"Button5", 1305, ControlKind::Button, L"5", {204, 384, 38, 23}},
    {L"Button6", 1306, ControlKind::Button, L"6", {248, 384, 38, 23}},
    {L"Label1", 1403, ControlKind::Label, L"From serial ports...", {334, 7, 0, 16}, FontKind::Caption},
    {L"lbkeyboard", 1405, ControlKind::Label, L"...emulate keyboard...", {356, 216, 0, 16}, FontKind::CaptionBold},
    {L"Label2", 1404, ControlKind::Label, L"...to any focused text-based input ", {334, 312, 163, 32}, FontKind::Caption, 0, true},
    {L"Bevel1", 1401, ControlKind::Bevel, L"", {314, 19, 2, 327}},
    {L"Image1", 1402, ControlKind::Image, L"", {334, 8, 213, 351}},
};
// clang-format on

// Menu: top-level popups and their items. Hidden items exist as commands but
// are not put into the menu bar.
struct MenuItemSpec {
  std::wstring_view name;
  int id;                     // 0 for a top-level popup
  std::wstring_view caption;  // empty for a separator
  int icon;                   // index into ImageList2, -1 for none
  int menu;                   // index of its top-level popup
  bool hidden = false;
};

inline constexpr int kMenuZatvori1 = 2001;
inline constexpr int kMenuSacuvaj1 = 2101;
inline constexpr int kMenuUbaci1 = 2102;
inline constexpr int kMenuRunMinimized = 2103;
inline constexpr int kMenuN2 = 2104;
inline constexpr int kMenuAdvanced1 = 2105;
inline constexpr int kMenuStartWithWindows = 2106;
inline constexpr int kMenuZatvori2 = 2201;
inline constexpr int kMenuOtvori1 = 2202;
inline constexpr int kMenuMonitor = 2203;
inline constexpr int kMenuHelp2 = 2301;
inline constexpr int kMenuAbout1 = 2302;

// clang-format off
inline constexpr MenuItemSpec kTopMenus[] = {
    {L"Program1", 0, L"File", -1, 0},
    {L"Podesavanja1", 0, L"Settings", -1, 1},
    {L"Portovi1", 0, L"Ports", -1, 2},
    {L"Help1", 0, L"Help", -1, 3},
};
// clang-format on

// clang-format off
inline constexpr MenuItemSpec kMenuItems[] = {
    {L"Zatvori1", kMenuZatvori1, L"Close", -1, 0},
    {L"Sacuvaj1", kMenuSacuvaj1, L"Save", 5, 1},
    {L"Ubaci1", kMenuUbaci1, L"Load", 7, 1},
    {L"mnRunMinimized", kMenuRunMinimized, L"Run Minimized", -1, 1},
    {L"mnStartWithWindows", kMenuStartWithWindows, L"Start with Windows", -1, 1},
    {L"N2", kMenuN2, L"", -1, 1},
    {L"Advanced1", kMenuAdvanced1, L"Advanced", 6, 1},
    {L"Zatvori2", kMenuZatvori2, L"Close", 2, 2},
    {L"Otvori1", kMenuOtvori1, L"Open", 3, 2},
    {L"Monitor1", kMenuMonitor, L"Monitor", -1, 2},
    {L"Help2", kMenuHelp2, L"Help", 0, 3},
    {L"About1", kMenuAbout1, L"About...", 1, 3},
};
// clang-format on

inline constexpr int kMenuIconCount = 8;  // ImageList2 holds icons 0..7; 4 is unused

// Case-insensitive lookup by name; nullptr when there is no such control.
const ControlSpec* FindControl(std::wstring_view name);
const ControlSpec* FindControlById(int id);
const MenuItemSpec* FindMenuItem(std::wstring_view name);

// Row controls by row number 1..8.
int DeviceButtonId(int row);
int StatusLabelId(int row);
int OpenCheckBoxId(int row);

// Metrics are given at 96 DPI and scaled to the actual DPI, rounding as
// MulDiv does.
int ScaleForDpi(int value, int dpi);
LayoutRect ScaleForDpi(const LayoutRect& rect, int dpi);

}  // namespace quillet::app
