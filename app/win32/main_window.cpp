#include "app/win32/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <exception>

#include "app/main_window_layout.h"
#include "app/win32/error_box_win32.h"
#include "app/win32/help.h"
#include "app/win32/main_window_parts.h"
#include "app/win32/startup_probe.h"
#include "os/exception.h"
#include "os/win32/helpers/device_context.h"
#include "os/win32/helpers/dpi.h"
#include "os/win32/helpers/program_file.h"
#include "os/win32/helpers/window_object.h"
#include "resources/resource_ids.h"
#include "serial/com_port.h"
#include "serial/component.h"
#include "serial/sync.h"
#include "serial/win32/com_setup_form.h"
#include "serial/win32/port_window_win32.h"

namespace quillet::app::win32 {

using os::win32::UniqueBitmap;
using os::win32::UniqueFont;

namespace {

// Posted by an event thread that has handed a delivery over.
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

UniqueFont MakeFont(int height96, bool bold, int dpi) {
  return UniqueFont(CreateFontW(-ScaleForDpi(height96, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                L"Tahoma"));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLET), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                           LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLET), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kMainWindowClass.data();
  RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, Services services)
    : instance_(instance),
      services_(services),
      logic_(std::make_unique<MainForm>(services, *this)) {}

TForm1::~TForm1() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  // The ports close here, and may still deliver to the logic meanwhile.
  logic_.reset();
  if (engine_connected_) {
    serial::SetSynchronizeWakeHook({});
    serial::SetApplicationExceptionHandler({});
  }
}

void TForm1::ConnectSerialEngine() {
  // Errors of deliveries and of opens that have no caller go to the error box.
  serial::SetApplicationExceptionHandler([this](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (...) {
      ShowCurrentExceptionBox(hwnd_);
    }
  });
  // An event thread's hand-over wakes the message loop, which serves it.
  const HWND window = hwnd_;
  serial::SetSynchronizeWakeHook([window] { PostMessageW(window, kWakeMessage, 0, 0); });
  serial::win32::InstallPortWindows();
  engine_connected_ = true;
}

bool TForm1::Create() {
  RegisterWindowClass(instance_, &TForm1::WindowProc);
  MarkStartupStep("class");
  dpi_ = os::win32::ScreenDpi();
  CreateFonts();
  {
    // The brush keeps its own copy of the picture.
    picture_panel_ = PicturePanel(dpi_);
    const UniqueBitmap picture = PaintPicturePanel(instance_, dpi_);
    if (picture) picture_brush_.reset(CreatePatternBrush(picture.get()));
  }
  MarkStartupStep("background");
  menu_icons_ = std::make_unique<MenuIcons>(instance_);
  CreateMainMenu();
  MarkStartupStep("menu");
  // Created at its size and centred; PlaceWindow corrects what the menu bar changes.
  RECT frame{0, 0, ScaleForDpi(kClientWidth, dpi_), ScaleForDpi(kClientHeight, dpi_)};
  AdjustWindowRectEx(&frame, kWindowStyle, TRUE, WS_EX_CONTROLPARENT);
  const int frame_width = frame.right - frame.left;
  const int frame_height = frame.bottom - frame.top;
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass.data(), kMainWindowCaption.data(),
                          kWindowStyle, (GetSystemMetrics(SM_CXSCREEN) - frame_width) / 2,
                          (GetSystemMetrics(SM_CYSCREEN) - frame_height) / 2, frame_width,
                          frame_height, nullptr, menu_.get(), instance_, this);
  if (hwnd_ == nullptr) return false;
  static_cast<void>(menu_.release());  // the window destroys its menu
  MarkStartupStep("window");
  CreateControls();
  MarkStartupStep("controls");
  PlaceWindow();
  // A second copy ends here: before the tray icon, FormCreate, the
  // configuration and the ports.
  instances_ = std::make_unique<TAppInstances>(instance_);
  instances_->FOnInstanceCreated = [this](TAppInstances& sender, std::uint32_t process_id) {
    InstancesInstanceCreated(sender, process_id);
  };
  if (instances_->Check() == TAppInstances::CheckResult::Rejected) {
    second_copy_ = true;
    return false;
  }
  MarkStartupStep("instances");
  ConnectSerialEngine();
  monitor_ = std::make_unique<TMonitorForm>(instance_, hwnd_, services_, logic_->Record());
  logic_->SetMonitor(monitor_.get());
  logic_->RunHandler([this] { logic_->FormCreate(); });
  UpdateStartWithWindowsTick();
  MarkStartupStep("form_create");
  return true;
}

void TForm1::InstancesInstanceCreated(TAppInstances& /*sender*/, std::uint32_t /*process_id*/) {
  RestoreApplication(hwnd_);
  BringApplicationToFront(hwnd_);
}

void TForm1::Show(int show_command) {
  switch (show_command) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      ActivateTrayIcon();
      break;
    default:
      break;
  }
  ShowWindow(hwnd_, show_command);
  MarkStartupStep("shown");
  UpdateWindow(hwnd_);
}

void TForm1::ActivateTrayIcon() {
  if (tray_ != nullptr || hwnd_ == nullptr) return;
  tray_ = std::make_unique<TTrayIconWindow>(
      instance_, hwnd_, reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICONSM)));
  tray_->Tray().SetHint(std::wstring(kMainWindowCaption));
  tray_->Tray().Activate();
}

void TForm1::CreateFonts() {
  font_default_ = MakeFont(11, false, dpi_);
  font_caption_ = MakeFont(13, false, dpi_);
  font_caption_bold_ = MakeFont(13, true, dpi_);
}

HFONT TForm1::FontFor(int id) const {
  const ControlSpec* entry = FindControlById(id);
  if (entry == nullptr) return font_default_.get();
  switch (entry->font) {
    case FontKind::Caption:
      return font_caption_.get();
    case FontKind::CaptionBold:
      return font_caption_bold_.get();
    case FontKind::Default:
      break;
  }
  return font_default_.get();
}

void TForm1::CreateControls() {
  // Labels sized to their text (the status labels, the panel captions) are
  // measured first and created at their size.
  const os::win32::UniqueMemoryDc measure(CreateCompatibleDC(nullptr));
  for (const ControlSpec& entry : kMainWindowControls) {
    const wchar_t* window_class = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (entry.kind) {
      case ControlKind::Button:
        window_class = WC_BUTTONW;
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case ControlKind::CheckBox:
        window_class = WC_BUTTONW;
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case ControlKind::Label:
        style |= SS_NOPREFIX | (entry.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
        break;
      case ControlKind::StatusBar:
        window_class = STATUSCLASSNAMEW;
        // Placed by the layout table, not by the status bar's own rules.
        style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
        break;
      case ControlKind::Bevel:
      case ControlKind::Image:
        // Drawn as part of the window's background; the windows carry their
        // names and bounds for the driver and the tests.
        style |= SS_LEFT | WS_DISABLED;
        break;
    }
    const HFONT font = FontFor(entry.id);
    LayoutRect r = ScaleForDpi(entry.bounds, dpi_);
    if (entry.kind == ControlKind::Label && entry.bounds.width == 0)
      r.width = TextWidth(measure.get(), font, entry.caption);
    HWND control = CreateWindowExW(0, window_class, std::wstring(entry.caption).c_str(), style,
                                   r.left, r.top, r.width, r.height, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)),
                                   instance_, nullptr);
    if (control != nullptr)
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

void TForm1::CreateMainMenu() {
  menu_.reset(CreateMenu());
  for (const MenuItemSpec& top : kTopMenus) {
    HMENU popup = CreatePopupMenu();
    for (const MenuItemSpec& item : kMenuItems) {
      // An item marked hidden exists as a command but stays out of the menu.
      if (item.menu != top.menu || item.hidden) continue;
      if (item.caption.empty()) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.id),
                  std::wstring(item.caption).c_str());
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_BITMAP;
      // An item without an icon gets an empty one of the same size, drawn by
      // WM_DRAWITEM, so every item of a popup is measured alike (Wine sizes a
      // popup from its items' own bitmaps and would cut the text otherwise).
      info.hbmpItem = item.icon >= 0 ? menu_icons_->ItemBitmap(item.icon) : HBMMENU_CALLBACK;
      SetMenuItemInfoW(popup, static_cast<UINT>(item.id), FALSE, &info);
    }
    AppendMenuW(menu_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                std::wstring(top.caption).c_str());
  }
}

void TForm1::PlaceWindow() {
  // The menu bar may take another height than AdjustWindowRectEx assumed
  // (a bar that wraps, another theme).
  const int width = ScaleForDpi(kClientWidth, dpi_);
  const int height = ScaleForDpi(kClientHeight, dpi_);
  RECT client{};
  GetClientRect(hwnd_, &client);
  if (client.right == width && client.bottom == height) return;
  RECT window{};
  GetWindowRect(hwnd_, &window);
  const int outer_width = (window.right - window.left) + width - client.right;
  const int outer_height = (window.bottom - window.top) + height - client.bottom;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - outer_width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - outer_height) / 2;
  SetWindowPos(hwnd_, nullptr, x, y, outer_width, outer_height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = os::win32::WindowObject<TForm1>(hwnd, message, lparam,
                                               [hwnd](TForm1* form) { form->hwnd_ = hwnd; });
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return os::win32::CallGuarded<LRESULT>(
      0, [&] { return self->HandleMessage(message, wparam, lparam); },
      [hwnd] { ShowCurrentExceptionBox(hwnd); });
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_TIMER:
      if (wparam == kTimer1) logic_->RunHandler([this] { logic_->Timer1Timer(); });
      if (wparam == kScanTimer) {
        // One-shot: the handler arms it again for the next gap.
        KillTimer(hwnd_, kScanTimer);
        scan_timer_armed_ = false;
        logic_->RunHandler([this] { logic_->ScanTimerTimer(); });
      }
      if (wparam == kRetryTimer) {
        KillTimer(hwnd_, kRetryTimer);
        retry_timer_armed_ = false;
        logic_->RunHandler([this] { logic_->RetryTimerTimer(); });
      }
      if (wparam == kTypingTimer) {
        KillTimer(hwnd_, kTypingTimer);
        logic_->RunHandler([this] { logic_->TypingTimerTimer(); });
      }
      return 0;
    case kTypingTickMessage:
      // The timer has fired once and is done: its handle goes before the
      // tick, which may arm it again.
      StopTypingTimer();
      logic_->RunHandler([this] { logic_->TypingTimerTimer(); });
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange(wparam, lparam);
      return TRUE;
    case kWakeMessage:
      serial::CheckSynchronize();
      return 0;
    case WM_SYSCOMMAND:
      if (tray_ != nullptr && tray_->MainWindowSysCommand(wparam)) return 0;
      break;
    case WM_SIZE:
      // The application's minimise event: from not minimised to minimised.
      if (wparam == SIZE_MINIMIZED && !minimised_) {
        minimised_ = true;
        logic_->RunHandler([this] { logic_->ApplicationEvents1Minimize(); });
      } else if (wparam != SIZE_MINIMIZED) {
        minimised_ = false;
      }
      break;
    case WM_ACTIVATE:
      // The control that had the input focus gets it back on return.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
      } else if (focus_ != nullptr && IsWindow(focus_) && IsChild(hwnd_, focus_) &&
                 HIWORD(wparam) == 0) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_SHOWWINDOW:
      // FormShow runs when the message loop first shows the window; hiding
      // to the tray and back does not count as a new showing.
      if (wparam != 0 && !shown_once_) {
        shown_once_ = true;
        logic_->RunHandler([this] { logic_->FormShow(); });
      }
      break;
    case WM_ERASEBKGND:
      PaintBackground(reinterpret_cast<HDC>(wparam));
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      BeginPaint(hwnd_, &paint);
      EndPaint(hwnd_, &paint);
      MarkFirstPaint();
      return 0;
    }
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (measure->CtlType != ODT_MENU) break;
      measure->itemWidth = 24;
      measure->itemHeight = 24;
      return TRUE;
    }
    case WM_DRAWITEM:
      if (reinterpret_cast<DRAWITEMSTRUCT*>(lparam)->CtlType != ODT_MENU) break;
      return TRUE;  // the empty icon: nothing to draw
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_INITMENUPOPUP:
      // The Run value may have been changed elsewhere since the last look.
      UpdateStartWithWindowsTick();
      break;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return logic_->QueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      logic_->EndSession(wparam != 0);
      return 0;
    case WM_DESTROY:
      // Pending scans are typed and the ports closed while the window and
      // its logic are whole.
      logic_->RunHandler([this] { logic_->FormDestroy(); });
      KillTimer(hwnd_, kTimer1);
      KillTimer(hwnd_, kScanTimer);
      KillTimer(hwnd_, kRetryTimer);
      KillTimer(hwnd_, kTypingTimer);
      StopTypingTimer();
      tray_.reset();  // its icon leaves the notification area with the window
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      os::win32::ForgetWindowObject(hwnd_);
      hwnd_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void TForm1::OnCommand(int id, int code) {
  if (id > kDeviceButtonBase && id <= kDeviceButtonBase + kRowCount) {
    if (code == BN_CLICKED)
      logic_->RunHandler([this, id] { logic_->btnskenerClick(id - kDeviceButtonBase); });
    return;
  }
  if (id > kOpenCheckBoxBase && id <= kOpenCheckBoxBase + kRowCount) {
    // The box has changed its own tick when it reports the click.
    if (code == BN_CLICKED)
      logic_->RunHandler([this, id] { logic_->cbotvoriClick(id - kOpenCheckBoxBase); });
    return;
  }
  if (id > kTestButtonBase && id <= kTestButtonBase + kTestButtonCount) {
    if (code == BN_CLICKED)
      logic_->RunHandler([this, id] { logic_->ButtonClick(id - kTestButtonBase); });
    return;
  }
  switch (id) {
    case kMenuZatvori1:
      logic_->RunHandler([this] { logic_->Zatvori1Click(); });
      break;
    case kMenuSacuvaj1:
      logic_->RunHandler([this] { logic_->Sacuvaj1Click(); });
      break;
    case kMenuUbaci1:
      logic_->RunHandler([this] { logic_->Ubaci1Click(); });
      break;
    case kMenuRunMinimized:
      // The item toggles its own tick first.
      SetRunMinimizedChecked(!RunMinimizedChecked());
      logic_->RunHandler([this] { logic_->mnRunMinimizedClick(); });
      break;
    case kMenuStartWithWindows:
      logic_->RunHandler([this] { logic_->mnStartWithWindowsClick(os::win32::ProgramFilePath()); });
      UpdateStartWithWindowsTick();
      break;
    case kMenuZatvori2:
      logic_->RunHandler([this] { logic_->Zatvori2Click(); });
      break;
    case kMenuOtvori1:
      logic_->RunHandler([this] { logic_->Otvori1Click(); });
      break;
    case kMenuMonitor:
      logic_->RunHandler([this] { logic_->Monitor1Click(); });
      break;
    case kMenuHelp2:
      OpenHelpFile(hwnd_);
      break;
    case kMenuAbout1:
      logic_->RunHandler([this] { logic_->About1Click(); });
      break;
    case kMenuAdvanced1:
      logic_->RunHandler([this] { logic_->Advanced1Click(); });
      break;
    default:
      break;
  }
}

void TForm1::OnClose() {
  // A second request while the question is open would ask twice.
  if (asking_to_close_) return;
  asking_to_close_ = true;
  const bool close = logic_->CloseRequested();
  asking_to_close_ = false;
  if (!close) return;
  // Gone from the screen and the notification area at the answer; then the
  // ports close and what they left queued is typed for the time left, so
  // the whole close keeps to its few seconds.
  ShowWindow(hwnd_, SW_HIDE);
  tray_.reset();
  logic_->RunHandler([this] { logic_->FormDestroy(); });
  DestroyWindow(hwnd_);
}

void TForm1::OnDeviceChange(WPARAM event, LPARAM data) {
  // Windows tells every top-level window when a port arrives or goes; only
  // port notices name the port, and the name is read within the size the
  // sender gave.
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_PORT) return;
  constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_PORT_W, dbcp_name);
  if (header->dbch_size <= kNameOffset) return;
  const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
  const std::size_t room = (header->dbch_size - kNameOffset) / sizeof(wchar_t);
  std::wstring name(port->dbcp_name, wcsnlen(port->dbcp_name, room));
  if (name.empty()) return;
  if (event == DBT_DEVICEARRIVAL) {
    logic_->RunHandler([this, &name] { logic_->DeviceArrived(name); });
  } else {
    logic_->RunHandler([this, &name] { logic_->DeviceRemoved(name); });
  }
}

void TForm1::PaintBackground(HDC dc) {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const RECT panel{picture_panel_.left, picture_panel_.top,
                   picture_panel_.left + picture_panel_.width,
                   picture_panel_.top + picture_panel_.height};
  // Button face around the panel and the picture on it: no pixel twice, so nothing flickers.
  const HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  const RECT around[] = {{client.left, client.top, panel.left, client.bottom},
                         {panel.right, client.top, client.right, client.bottom},
                         {panel.left, panel.bottom, panel.right, client.bottom}};
  for (const RECT& part : around) {
    if (part.left < part.right && part.top < part.bottom) FillRect(dc, &part, face);
  }
  SetBrushOrgEx(dc, panel.left, panel.top, nullptr);
  FillRect(dc, &panel, picture_brush_.get() != nullptr ? picture_brush_.get() : face);
  // Bevel1: a raised line, light on the left, shadow on the right.
  const LayoutRect bevel = ScaleForDpi(FindControl(L"Bevel1")->bounds, dpi_);
  RECT line{bevel.left, bevel.top, bevel.left + 2, bevel.top + bevel.height};
  DrawEdge(dc, &line, BDR_RAISEDINNER, BF_LEFT | BF_RIGHT);
}

LRESULT TForm1::OnControlColour(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  const auto colour = text_colours_.find(id);
  SetTextColor(dc, colour != text_colours_.end() ? colour->second : GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  // Bevel1's window lies over the line the background draws: it paints nothing.
  if (id == FindControl(L"Bevel1")->id)
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  POINT origin{0, 0};
  MapWindowPoints(control, hwnd_, &origin, 1);
  if (picture_brush_.get() != nullptr && origin.x >= picture_panel_.left) {
    // The part of the picture under the control, so captions lie on it.
    SetBrushOrgEx(dc, picture_panel_.left - origin.x, picture_panel_.top - origin.y, nullptr);
    return reinterpret_cast<LRESULT>(picture_brush_.get());
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace quillet::app::win32
