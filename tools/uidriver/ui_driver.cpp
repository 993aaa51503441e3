#include "tools/uidriver/ui_driver.h"

#include <cstdio>
#include <cwchar>
#include <exception>

#include "app/main_window_layout.h"
#include "os/win32/helpers/device_context.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::uidriver {
namespace {

constexpr DWORD kPollMs = 50;  // windows of another process cannot be waited on

bool Visible(HWND window) {
  return IsWindowVisible(window) != FALSE;
}

// EnumWindows and EnumChildWindows call back through the system, which no
// exception may cross: the callback keeps what a match threw and stops the
// enumeration; the caller throws it again.
template <typename Search, bool (*Matches)(HWND, const Search&)>
BOOL CALLBACK FindFirst(HWND window, LPARAM param) noexcept {
  auto& search = *reinterpret_cast<Search*>(param);
  try {
    if (!Matches(window, search)) return TRUE;
    search.found = window;
  } catch (...) {
    search.error = std::current_exception();
  }
  return FALSE;
}

template <typename Search>
HWND Found(const Search& search) {
  if (search.error) std::rethrow_exception(search.error);
  return search.found;
}

struct TopSearch {
  std::wstring_view caption;
  std::wstring_view window_class;
  HWND found = nullptr;
  std::exception_ptr error{};
};

bool MatchTop(HWND window, const TopSearch& search) {
  if (!Visible(window) || Text(window) != search.caption) return false;
  return search.window_class.empty() || ClassName(window) == search.window_class;
}

struct ChildSearch {
  int id = 0;
  std::wstring_view window_class;
  std::wstring_view text;
  HWND found = nullptr;
  std::exception_ptr error{};
};

bool MatchChild(HWND window, const ChildSearch& search) {
  if (search.id != 0) return GetDlgCtrlID(window) == search.id;
  return ClassName(window) == search.window_class && Text(window) == search.text;
}

std::wstring MenuCaption(HMENU menu, int position) {
  wchar_t buffer[256] = {};
  GetMenuStringW(menu, static_cast<UINT>(position), buffer, 256, MF_BYPOSITION);
  std::wstring caption(buffer);
  std::wstring plain;
  for (wchar_t ch : caption) {
    if (ch != L'&') plain.push_back(ch);
  }
  return plain;
}

}  // namespace

HWND WaitWindow(std::wstring_view caption, std::wstring_view window_class, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    TopSearch search{caption, window_class};
    EnumWindows(&FindFirst<TopSearch, MatchTop>, reinterpret_cast<LPARAM>(&search));
    if (HWND found = Found(search)) return found;
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(kPollMs);
  }
}

HWND FindControl(HWND top, std::wstring_view name_or_id) {
  int id = 0;
  if (const app::ControlSpec* entry = app::FindControl(name_or_id)) {
    id = entry->id;
  } else {
    const std::wstring digits(name_or_id);
    wchar_t* end = nullptr;
    id = static_cast<int>(std::wcstol(digits.c_str(), &end, 10));
    if (digits.empty() || *end != L'\0') return nullptr;
  }
  ChildSearch search;
  search.id = id;
  EnumChildWindows(top, &FindFirst<ChildSearch, MatchChild>, reinterpret_cast<LPARAM>(&search));
  return Found(search);
}

HWND FindControlByClassText(HWND top, std::wstring_view window_class, std::wstring_view text) {
  ChildSearch search;
  search.window_class = window_class;
  search.text = text;
  EnumChildWindows(top, &FindFirst<ChildSearch, MatchChild>, reinterpret_cast<LPARAM>(&search));
  return Found(search);
}

std::wstring Text(HWND window) {
  // WM_GETTEXT is marshalled between processes, for status bars too.
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

RECT RectInClient(HWND top, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT ClientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

int Dpi() {
  const os::win32::ScreenDc screen;
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

void Click(HWND control) {
  PostMessageW(control, BM_CLICK, 0, 0);
}

bool IsChecked(HWND check_box) {
  return SendMessageW(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

namespace {

// Wine keeps a menu's items in the owning process, so another process cannot
// read them; the shared layout table then stands in for Quillet's own menu.
bool MenuReadable(HMENU bar) {
  return bar != nullptr && GetMenuItemCount(bar) > 0;
}

std::vector<std::wstring> TableMenuPaths() {
  std::vector<std::wstring> paths;
  for (const auto& top : app::kTopMenus) {
    for (const auto& item : app::kMenuItems) {
      if (item.menu != top.menu || item.hidden) continue;
      paths.push_back(std::wstring(top.caption) + L"|" +
                      (item.caption.empty() ? L"-" : std::wstring(item.caption)));
    }
  }
  return paths;
}

}  // namespace

std::vector<std::wstring> MenuPaths(HWND top) {
  std::vector<std::wstring> paths;
  HMENU bar = GetMenu(top);
  if (!MenuReadable(bar)) return TableMenuPaths();
  const int tops = GetMenuItemCount(bar);
  for (int i = 0; i < tops; ++i) {
    const std::wstring top_caption = MenuCaption(bar, i);
    HMENU popup = GetSubMenu(bar, i);
    const int items = GetMenuItemCount(popup);
    for (int j = 0; j < items; ++j) {
      const UINT state = GetMenuState(popup, static_cast<UINT>(j), MF_BYPOSITION);
      paths.push_back(top_caption + L"|" +
                      ((state & MF_SEPARATOR) != 0 ? std::wstring(L"-") : MenuCaption(popup, j)));
    }
  }
  return paths;
}

bool ChooseMenu(HWND top, std::wstring_view path) {
  const std::size_t bar_at = path.find(L'|');
  if (bar_at == std::wstring_view::npos) return false;
  const std::wstring_view top_caption = path.substr(0, bar_at);
  const std::wstring_view item_caption = path.substr(bar_at + 1);
  HMENU bar = GetMenu(top);
  if (!MenuReadable(bar)) {
    for (const auto& top_menu : app::kTopMenus) {
      if (top_menu.caption != top_caption) continue;
      for (const auto& item : app::kMenuItems) {
        if (item.menu != top_menu.menu || item.hidden || item.caption != item_caption) continue;
        PostMessageW(top, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
        return true;
      }
    }
    return false;
  }
  const int tops = GetMenuItemCount(bar);
  for (int i = 0; i < tops; ++i) {
    if (MenuCaption(bar, i) != top_caption) continue;
    HMENU popup = GetSubMenu(bar, i);
    const int items = GetMenuItemCount(popup);
    for (int j = 0; j < items; ++j) {
      if (MenuCaption(popup, j) != item_caption) continue;
      const UINT id = GetMenuItemID(popup, j);
      PostMessageW(top, WM_COMMAND, MAKEWPARAM(id, 0), 0);
      return true;
    }
  }
  return false;
}

std::wstring StatusBarText(HWND top) {
  HWND bar = FindControl(top, L"StatusBar1");
  return bar != nullptr ? Text(bar) : std::wstring();
}

namespace {

struct BoxSearch {
  DWORD process_id;
  HWND found = nullptr;
  std::exception_ptr error{};
};

bool MatchBox(HWND window, const BoxSearch& search) {
  if (!Visible(window) || ClassName(window) != L"#32770" || ProcessOf(window) != search.process_id)
    return false;
  // A box still being built has no text yet: not the box to answer.
  return GetDlgItem(window, 0xFFFF) != nullptr;
}

}  // namespace

std::optional<MessageBox> WaitMessageBox(DWORD process_id, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search{process_id};
    EnumWindows(&FindFirst<BoxSearch, MatchBox>, reinterpret_cast<LPARAM>(&search));
    if (HWND found = Found(search)) {
      MessageBox box;
      box.window = found;
      box.title = Text(found);
      // The message text of a message box is its static control 0xFFFF.
      if (HWND text = GetDlgItem(found, 0xFFFF)) box.text = Text(text);
      return box;
    }
    if (GetTickCount() - start >= timeout_ms) return std::nullopt;
    Sleep(kPollMs);
  }
}

bool AnswerMessageBox(const MessageBox& box, int button_id) {
  HWND button = GetDlgItem(box.window, button_id);
  if (button == nullptr) return false;
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  // Until the box has gone, a search for the next box of the process would
  // find this one again.
  const DWORD start = GetTickCount();
  while (IsWindow(box.window) && Visible(box.window) && GetTickCount() - start < 10000)
    Sleep(kPollMs);
  return true;
}

void Close(HWND top) {
  PostMessageW(top, WM_CLOSE, 0, 0);
}

void SystemClose(HWND top) {
  PostMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

DWORD ProcessOf(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

bool SaveScreenshot(HWND window, const std::wstring& bmp_path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  const os::win32::ScreenDc screen;
  const os::win32::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const os::win32::UniqueBitmap bitmap(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  bool saved = false;
  if (bitmap) {
    {
      const os::win32::SelectInDc select(memory.get(), bitmap.get());
      BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD image_size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + image_size;
    if (FILE* out = _wfopen(bmp_path.c_str(), L"wb")) {
      saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(bits, image_size, 1, out) == 1;
      std::fclose(out);
    }
  }
  return saved;
}

}  // namespace quillet::uidriver
