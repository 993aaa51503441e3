#include "app/win32/monitor_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "app/win32/dialog_window.h"
#include "app/win32/error_box_win32.h"
#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"
#include "os/win32/helpers/dpi.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
// Rows that come within this time are shown together: a burst of scans costs
// one redraw, and nothing is done per byte.
constexpr UINT kRefreshDelayMs = 100;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
// Layout at 96 DPI.
constexpr int kMargin = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kCheckWidth = 110;
constexpr int kTimeColumn = 90;
constexpr int kRowColumn = 80;
constexpr int kMinTextColumn = 120;

// The one shown Monitor, for the message hook.
TMonitorForm* g_shown = nullptr;

void SetCell(LVITEMW& item, const std::wstring& text) {
  if (item.pszText == nullptr || item.cchTextMax <= 0) return;
  const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
  const std::size_t count = std::min(room, text.size());
  std::memcpy(item.pszText, text.data(), count * sizeof(wchar_t));
  item.pszText[count] = L'\0';
}

}  // namespace

TMonitorForm::TMonitorForm(HINSTANCE instance, HWND owner, Services services,
                           reception::ReceptionRecord& record, int dpi)
    : instance_(instance), owner_(owner), services_(services), record_(record), fixed_dpi_(dpi) {}

TMonitorForm::~TMonitorForm() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void TMonitorForm::Show() {
  if (hwnd_ == nullptr && !Create()) return;
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(list_);
}

bool TMonitorForm::Create() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TMonitorForm::WindowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMonitorClass.data();
  RegisterClassExW(&wc);  // a second registration fails harmlessly
  dpi_ = fixed_dpi_ > 0 ? fixed_dpi_ : os::win32::ScreenDpi();
  font_ = MakeDialogFont(L"Tahoma", 11, false, dpi_);
  // Owned by the main window: above it, hidden with it, destroyed with it.
  hwnd_ =
      CreateWindowExW(kExStyle, kMonitorClass.data(), kMonitorCaption.data(), kStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, ScaleForDpi(kMonitorDefaultWidth, dpi_),
                      ScaleForDpi(kMonitorDefaultHeight, dpi_), owner_, nullptr, instance_, this);
  if (hwnd_ == nullptr) return false;
  CreateControls();
  PlaceWindow();
  record_.OnChange = [this] { RecordChanged(); };
  shown_version_ = record_.Version() - 1;  // the first refresh fills the list
  Refresh();
  // The program's message loop knows only the main window: this window's
  // Tab, Esc and Enter are served from a hook while it exists.
  g_shown = this;
  key_hook_ =
      SetWindowsHookExW(WH_GETMESSAGE, &TMonitorForm::KeyHook, nullptr, GetCurrentThreadId());
  return true;
}

void TMonitorForm::CreateControls() {
  const auto add = [this](const wchar_t* window_class, const wchar_t* text, DWORD style, int id,
                          DWORD ex_style = 0) {
    HWND control = CreateWindowExW(
        ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (control != nullptr)
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
  };
  // A virtual list: the rows are the record's, rendered when drawn.
  list_ = add(WC_LISTVIEWW, L"",
              WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
              kMonitorList, WS_EX_CLIENTEDGE);
  add(WC_BUTTONW, L"Hexadecimal", WS_TABSTOP | BS_AUTOCHECKBOX, kMonitorHex);
  add(WC_BUTTONW, L"Copy", WS_TABSTOP | BS_PUSHBUTTON, kMonitorCopy);
  add(WC_BUTTONW, L"Clear", WS_TABSTOP | BS_PUSHBUTTON, kMonitorClear);
  if (list_ == nullptr) return;
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const struct {
    const wchar_t* caption;
    int width;
  } columns[] = {{L"Time", kTimeColumn},
                 {L"Row (port)", kRowColumn},
                 {L"Received", kMinTextColumn},
                 {L"Typed", kMinTextColumn}};
  int index = 0;
  for (const auto& column : columns) {
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    lvc.pszText = const_cast<wchar_t*>(column.caption);
    lvc.cx = ScaleForDpi(column.width, dpi_);
    lvc.iSubItem = index;
    SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++),
                 reinterpret_cast<LPARAM>(&lvc));
  }
}

void TMonitorForm::Layout() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int margin = ScaleForDpi(kMargin, dpi_);
  const int button_width = ScaleForDpi(kButtonWidth, dpi_);
  const int button_height = ScaleForDpi(kButtonHeight, dpi_);
  const int bottom_row = client.bottom - margin - button_height;
  const int list_width = std::max<int>(client.right - 2 * margin, 0);
  const int list_height = std::max<int>(bottom_row - 2 * margin, 0);
  const struct {
    int id;
    int left, top, width, height;
  } places[] = {
      {kMonitorList, margin, margin, list_width, list_height},
      {kMonitorHex, margin, bottom_row, ScaleForDpi(kCheckWidth, dpi_), button_height},
      {kMonitorCopy, client.right - 2 * (margin + button_width), bottom_row, button_width,
       button_height},
      {kMonitorClear, client.right - margin - button_width, bottom_row, button_width,
       button_height},
  };
  for (const auto& place : places) {
    SetWindowPos(GetDlgItem(hwnd_, place.id), nullptr, place.left, place.top, place.width,
                 place.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The two text columns share what the fixed ones leave.
  if (list_ == nullptr) return;
  RECT inside{};
  GetClientRect(list_, &inside);
  const int fixed = ScaleForDpi(kTimeColumn + kRowColumn, dpi_);
  const int width = static_cast<int>(inside.right);
  const int text = std::max(ScaleForDpi(kMinTextColumn, dpi_), (width - fixed) / 2);
  ListView_SetColumnWidth(list_, 2, text);
  ListView_SetColumnWidth(list_, 3, std::max(text, width - fixed - text));
}

void TMonitorForm::PlaceWindow() {
  config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
  const MonitorPlace stored = LoadMonitorPlace(ini);
  LayoutRect rect{0, 0, ScaleForDpi(kMonitorDefaultWidth, dpi_),
                  ScaleForDpi(kMonitorDefaultHeight, dpi_)};
  if (stored.known) {
    rect = {stored.rect.left, stored.rect.top, ScaleForDpi(stored.rect.width, dpi_),
            ScaleForDpi(stored.rect.height, dpi_)};
  } else {
    // First time: below the main window's middle, where it does not hide the rows' buttons.
    RECT owner{};
    GetWindowRect(owner_, &owner);
    rect.left = owner.left + ((owner.right - owner.left) - rect.width) / 2;
    rect.top = owner.top + (owner.bottom - owner.top) / 2;
  }
  // A place on a screen that has gone, or partly off one, comes back whole
  // onto the work area of the nearest screen.
  const RECT wanted{rect.left, rect.top, rect.left + rect.width, rect.top + rect.height};
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  if (GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &screen)) {
    const RECT& work = screen.rcWork;
    rect = KeepInside(rect, {work.left, work.top, work.right - work.left, work.bottom - work.top});
  }
  SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.width, rect.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void TMonitorForm::SavePlace() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  RECT rect{};
  if (IsIconic(hwnd_) || IsZoomed(hwnd_)) {
    // The normal place is in work-area coordinates; the file keeps screen ones.
    if (!GetWindowPlacement(hwnd_, &placement)) return;
    rect = placement.rcNormalPosition;
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    if (GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &screen))
      OffsetRect(&rect, screen.rcWork.left - screen.rcMonitor.left,
                 screen.rcWork.top - screen.rcMonitor.top);
  } else if (!GetWindowRect(hwnd_, &rect)) {
    return;
  }
  const auto at96 = [this](LONG pixels) { return MulDiv(pixels, 96, dpi_); };
  try {
    config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
    SaveMonitorPlace(
        ini, {rect.left, rect.top, at96(rect.right - rect.left), at96(rect.bottom - rect.top)});
  } catch (const Exception&) {
    // Only the window's place is lost; the program's own close reports a
    // file it cannot write.
  }
}

void TMonitorForm::RecordChanged() {
  if (hwnd_ == nullptr || refresh_armed_) return;
  refresh_armed_ = SetTimer(hwnd_, kRefreshTimer, kRefreshDelayMs, nullptr) != 0;
}

bool TMonitorForm::Hex() const {
  return IsDlgButtonChecked(hwnd_, kMonitorHex) == BST_CHECKED;
}

void TMonitorForm::Refresh() {
  const bool hex = Hex();
  if (list_ == nullptr || (record_.Version() == shown_version_ && hex == shown_hex_)) return;
  const int before = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
  const int top = static_cast<int>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
  const int per_page = static_cast<int>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
  const bool follow = ShowsNewest(top, per_page, before);
  const int count = static_cast<int>(record_.Rows().size());
  SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count),
               LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, FALSE);
  if (follow && count > 0) SendMessageW(list_, LVM_ENSUREVISIBLE, count - 1, FALSE);
  shown_version_ = record_.Version();
  shown_hex_ = hex;
}

LRESULT TMonitorForm::OnNotify(const NMHDR& header) {
  if (header.idFrom != kMonitorList) return 0;
  // Typing in the list looks for nothing: no row is chosen by its text.
  if (header.code == LVN_ODFINDITEMW) return -1;
  if (header.code != LVN_GETDISPINFOW) return 0;
  auto& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
  if ((item.mask & LVIF_TEXT) == 0) return 0;
  const auto& rows = record_.Rows();
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows.size()) {
    SetCell(item, {});
    return 0;
  }
  const reception::Reception& row = rows[static_cast<std::size_t>(item.iItem)];
  switch (item.iSubItem) {
    case 0:
      SetCell(item, reception::RenderTime(row.msOfDay));
      break;
    case 1:
      SetCell(item, reception::RenderRowAndPort(row));
      break;
    case 2:
      SetCell(item, reception::RenderReceived(row, shown_hex_));
      break;
    default:
      SetCell(item, reception::RenderOutcome(row));
      break;
  }
  return 0;
}

void TMonitorForm::CopyToClipboard() {
  const std::wstring text = reception::RenderForClipboard(record_.Rows(), Hex());
  // Another program may hold the clipboard for a moment.
  bool open = false;
  for (int attempt = 0; attempt < 10 && !open; ++attempt) {
    open = OpenClipboard(hwnd_) != FALSE;
    if (!open) Sleep(20);
  }
  if (!open) {
    ShowStandardErrorBox(hwnd_, L"The clipboard is in use by another program; nothing was copied.");
    return;
  }
  bool copied = false;
  if (EmptyClipboard()) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory != nullptr) {
      if (void* target = GlobalLock(memory)) {
        std::memcpy(target, text.c_str(), bytes);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it has taken it.
        copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
      }
      if (!copied) GlobalFree(memory);
    }
  }
  CloseClipboard();
  if (!copied) ShowStandardErrorBox(hwnd_, L"The rows could not be put on the clipboard.");
}

LRESULT CALLBACK TMonitorForm::KeyHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && wparam == PM_REMOVE && g_shown != nullptr && g_shown->hwnd_ != nullptr) {
    auto* message = reinterpret_cast<MSG*>(lparam);
    const HWND window = g_shown->hwnd_;
    if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST &&
        (message->hwnd == window || IsChild(window, message->hwnd)) &&
        IsDialogMessageW(window, message)) {
      message->message = WM_NULL;  // served: the loop dispatches nothing
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK TMonitorForm::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = os::win32::WindowObject<TMonitorForm>(
      hwnd, message, lparam, [hwnd](TMonitorForm* form) { form->hwnd_ = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); },
      [hwnd] { ShowCurrentExceptionBox(hwnd); });
}

LRESULT TMonitorForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDCANCEL:  // Esc
          DestroyWindow(hwnd_);
          return 0;
        case kMonitorHex:
          if (HIWORD(wparam) == BN_CLICKED) Refresh();
          return 0;
        case kMonitorCopy:
          if (HIWORD(wparam) == BN_CLICKED) CopyToClipboard();
          return 0;
        case kMonitorClear:
          if (HIWORD(wparam) == BN_CLICKED) {
            record_.Clear();
            Refresh();
          }
          return 0;
        default:
          return 0;
      }
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_TIMER:
      if (wparam == kRefreshTimer) {
        KillTimer(hwnd_, kRefreshTimer);
        refresh_armed_ = false;
        Refresh();
      }
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize.x = ScaleForDpi(kMonitorMinWidth, dpi_);
      limits->ptMinTrackSize.y = ScaleForDpi(kMonitorMinHeight, dpi_);
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      // Closing, or the main window going: the place is kept, the record
      // stops calling, and the hook goes.
      SavePlace();
      record_.OnChange = nullptr;
      KillTimer(hwnd_, kRefreshTimer);
      refresh_armed_ = false;
      if (key_hook_ != nullptr) UnhookWindowsHookEx(key_hook_);
      key_hook_ = nullptr;
      if (g_shown == this) g_shown = nullptr;
      return 0;
    case WM_NCDESTROY:
      os::win32::ForgetWindowObject(hwnd_);
      hwnd_ = nullptr;
      list_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace quillet::app::win32
