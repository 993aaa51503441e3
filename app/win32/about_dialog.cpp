#include "app/win32/about_dialog.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/main_window_layout.h"
#include "app/version.h"
#include "app/win32/main_window_pictures.h"
#include "os/win32/helpers/device_context.h"
#include "os/win32/helpers/program_file.h"
#include "resources/resource_ids.h"

namespace quillet::app::win32 {

using os::win32::SelectInDc;
using os::win32::UniqueBitmap;

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr LayoutRect kImage2{88, 8, 130, 62};

// "v" + major.minor.release of this program file; "v" alone when the file's
// version resource cannot be read.
std::wstring VersionLabel() {
  const std::wstring path = os::win32::ProgramFilePath();
  if (path.empty()) return L"v";
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return L"v";
  std::vector<std::uint8_t> buffer(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, buffer.data())) return L"v";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed) {
    return L"v";
  }
  return VersionCaption(FileVersionFromFixedInfo(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
}

// The logo resource (straight alpha) laid over the button face and scaled.
UniqueBitmap LoadLogo(HINSTANCE instance, int dpi) {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels = ReadPixels(instance, IDB_LOGO, width, height);
  if (pixels.empty()) return {};
  const BITMAPINFO header = TopDown32(width, height);
  const os::win32::ScreenDc screen;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (auto& pixel : pixels) {
    const std::uint32_t alpha = pixel >> 24;
    auto mix = [alpha](std::uint32_t fg, std::uint32_t bg) {
      return (fg * alpha + bg * (255 - alpha) + 127) / 255;
    };
    const std::uint32_t b = mix(pixel & 0xFF, GetBValue(face));
    const std::uint32_t g = mix((pixel >> 8) & 0xFF, GetGValue(face));
    const std::uint32_t r = mix((pixel >> 16) & 0xFF, GetRValue(face));
    pixel = b | g << 8 | r << 16;
  }
  const int out_width = ScaleForDpi(width, dpi);
  const int out_height = ScaleForDpi(height, dpi);
  UniqueBitmap result(CreateCompatibleBitmap(screen.get(), out_width, out_height));
  {
    const os::win32::UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
    SelectInDc select(dc.get(), result.get());
    SetStretchBltMode(dc.get(), HALFTONE);
    StretchDIBits(dc.get(), 0, 0, out_width, out_height, 0, 0, width, height, pixels.data(),
                  &header, DIB_RGB_COLORS, SRCCOPY);
  }
  return result;
}

// Widens a label to its text; never narrower than its design width.
void FitToText(HWND label, HFONT font, const std::wstring& text, int width96, int height96,
               int dpi) {
  SIZE size{};
  {
    const os::win32::WindowDc dc(label);
    const SelectInDc select(dc.get(), font);
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  }
  SetWindowPos(label, nullptr, 0, 0, std::max<int>(size.cx, ScaleForDpi(width96, dpi)),
               ScaleForDpi(height96, dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TForm3::~TForm3() {
  if (Handle() != nullptr) DestroyWindow(Handle());
}

bool TForm3::Create() {
  if (!CreateHidden(kForm3Class, kForm3Caption, kStyle, 329, 168)) return false;
  const int dpi = Dpi();
  font_default_ = MakeDialogFont(L"MS Sans Serif", 11, false, dpi);
  font_made_by_ = MakeDialogFont(L"Tahoma", 18, false, dpi);
  font_version_ = MakeDialogFont(L"Tahoma", 19, true, dpi);
  font_link_ = MakeDialogFont(L"Tahoma", 16, false, dpi, EASTEUROPE_CHARSET);
  hand_ = LoadCursorW(nullptr, IDC_HAND);
  logo_ = LoadLogo(Instance(), dpi);
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_default_.get()), FALSE);

  HWND made_by = AddControl(WC_STATICW, L"Made by", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kForm3Label1,
                            15, 8, 67, 22, font_made_by_.get());
  // Sized to its text, which another font than Tahoma may make wider.
  if (made_by != nullptr) FitToText(made_by, font_made_by_.get(), L"Made by", 67, 22, Dpi());
  HWND image =
      AddControl(WC_STATICW, L"", SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZECONTROL, kForm3Image2,
                 kImage2.left, kImage2.top, kImage2.width, kImage2.height, font_default_.get());
  // The static shows the bitmap but does not own it.
  if (image != nullptr && logo_)
    SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));
  AddControl(WC_STATICW, L"v", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kForm3Label4, 224, 41, 11, 23,
             font_version_.get());
  AddControl(WC_BUTTONW, L"Visit web page", BS_PUSHBUTTON | WS_TABSTOP, kForm3Lblink, 76, 76, 162,
             33, font_link_.get());
  AddControl(WC_BUTTONW, L"Close", BS_PUSHBUTTON | WS_TABSTOP, kForm3Btnclose, 246, 135, 75, 25,
             font_default_.get());
  return true;
}

void TForm3::ShowModal() {
  FormShow();
  RunModal();
}

void TForm3::FormShow() {
  HWND label = GetDlgItem(Handle(), kForm3Label4);
  const std::wstring text = VersionLabel();
  SetWindowTextW(label, text.c_str());
  FitToText(label, font_version_.get(), text, 11, 23, Dpi());  // the label grows with its text
}

void TForm3::lblinkClick() {
  // The shell's answer is not examined: what it shows on failure is its own.
  ShellExecuteW(Handle(), L"open", std::wstring(kProductWebPage).c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

LRESULT TForm3::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        if (LOWORD(wparam) == kForm3Lblink) lblinkClick();
        if (LOWORD(wparam) == kForm3Btnclose) btncloseClick();
      }
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wparam) == GetDlgItem(Handle(), kForm3Lblink) &&
          hand_ != nullptr) {
        SetCursor(hand_);
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      break;
  }
  return DialogWindow::HandleMessage(message, wparam, lparam);
}

}  // namespace quillet::app::win32
