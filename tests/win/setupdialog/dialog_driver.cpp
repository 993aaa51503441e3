#include "tests/win/setupdialog/dialog_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "serial/win32/com_setup_form.h"

namespace quillet::serial::test {

namespace {

std::function<void(HWND)> g_action;
bool g_pressed = false;
int g_ticks = 0;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = ::FindWindowW(L"#32770", L"Port settings");
  if (dialog == nullptr || !::IsWindowVisible(dialog)) {
    // Generous: the dialog is shown long before this.
    if (++g_ticks > 200) ADD_FAILURE() << "the dialog did not appear";
    return;
  }
  ::KillTimer(nullptr, id);
  auto action = std::move(g_action);
  g_pressed = false;
  ::UpdateWindow(dialog);
  action(dialog);
  if (!g_pressed) Press(dialog, kComSetupCancelId);
}

}  // namespace

void WithDialog(const std::function<void()>& show, const std::function<void(HWND)>& action) {
  g_action = action;
  g_ticks = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, OnTimer);
  ASSERT_NE(timer, 0u);
  show();
  ::KillTimer(nullptr, timer);
}

void Press(HWND dialog, int id) {
  g_pressed = true;
  ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void CloseByTitleBar(HWND dialog) {
  g_pressed = true;
  ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Choose(HWND dialog, int comboId, const std::wstring& text) {
  HWND combo = ::GetDlgItem(dialog, comboId);
  const LRESULT index = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(text.c_str()));
  ASSERT_NE(index, CB_ERR) << "no entry for the choice";
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

std::vector<std::wstring> Entries(HWND combo) {
  std::vector<std::wstring> entries;
  const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const auto length = static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
    std::wstring text(length + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    entries.push_back(text);
  }
  return entries;
}

std::wstring Selected(HWND combo) {
  const auto index = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
  return index < 0 ? std::wstring() : Entries(combo).at(static_cast<std::size_t>(index));
}

RECT ClientRect(HWND dialog, HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  RECT r{};
  ::GetWindowRect(window, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  const int lines = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (lines != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&info), sizeof(info));
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace quillet::serial::test
