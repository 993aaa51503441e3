// uidriver: drive a running program's windows from scripts.
//   uidriver wait-window <caption> [--class C] [--timeout ms]
//   uidriver text <caption> <control>          control: layout name or id
//   uidriver rect <caption> <control>          left top width height (client)
//   uidriver click <caption> <control>
//   uidriver checked <caption> <control>       prints 1 or 0
//   uidriver menu <caption> "File|Close"
//   uidriver menus <caption>                   every menu path, one a line
//   uidriver status <caption>
//   uidriver dpi
//   uidriver msgbox <caption> yes|no|ok|cancel [--expect-text T] [--timeout ms]
//   uidriver close <caption> | syscommand-close <caption>
//   uidriver screenshot <caption> <file.bmp>
// Exit code 0 on success, 1 when the check or the action failed, 2 on bad use.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tools/uidriver/ui_driver.h"

namespace ud = quillet::uidriver;

namespace {

void Print(const std::wstring& text) {
  // UTF-8 on the console, so scripts under Wine read it as Linux text.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  std::printf("%s\n", utf8.c_str());
}

std::wstring Option(std::vector<std::wstring>& args, const wchar_t* name, const wchar_t* fallback) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) {
      std::wstring value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return value;
    }
  }
  return fallback;
}

int Fail(const wchar_t* what, const std::wstring& detail) {
  std::fwprintf(stderr, L"uidriver: %ls: %ls\n", what, detail.c_str());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  const DWORD timeout =
      static_cast<DWORD>(std::wcstoul(Option(args, L"--timeout", L"10000").c_str(), nullptr, 10));
  const std::wstring window_class = Option(args, L"--class", L"");
  const std::wstring expect_text = Option(args, L"--expect-text", L"\x01");
  if (args.empty()) {
    std::fwprintf(stderr, L"usage: uidriver <command> ... (see the source's head)\n");
    return 2;
  }
  const std::wstring command = args[0];
  if (command == L"dpi") {
    Print(std::to_wstring(ud::Dpi()));
    return 0;
  }
  if (args.size() < 2) return 2;
  HWND top = ud::WaitWindow(args[1], window_class, timeout);
  if (top == nullptr) return Fail(L"no window", args[1]);
  if (command == L"wait-window") return 0;
  if (command == L"status") {
    Print(ud::StatusBarText(top));
    return 0;
  }
  if (command == L"menus") {
    for (const auto& path : ud::MenuPaths(top)) Print(path);
    return 0;
  }
  if (command == L"close") {
    ud::Close(top);
    return 0;
  }
  if (command == L"syscommand-close") {
    ud::SystemClose(top);
    return 0;
  }
  if (command == L"msgbox" && args.size() >= 3) {
    const auto box = ud::WaitMessageBox(ud::ProcessOf(top), timeout);
    if (!box) return Fail(L"no message box", args[1]);
    Print(box->text);
    if (expect_text != L"\x01" && box->text != expect_text)
      return Fail(L"message box says", box->text);
    const std::wstring& answer = args[2];
    const int id = answer == L"yes"      ? IDYES
                   : answer == L"no"     ? IDNO
                   : answer == L"ok"     ? IDOK
                   : answer == L"cancel" ? IDCANCEL
                                         : 0;
    return id != 0 && ud::AnswerMessageBox(*box, id) ? 0 : Fail(L"no button", answer);
  }
  if (args.size() < 3) return 2;
  if (command == L"menu") return ud::ChooseMenu(top, args[2]) ? 0 : Fail(L"no menu item", args[2]);
  if (command == L"screenshot")
    return ud::SaveScreenshot(top, args[2]) ? 0 : Fail(L"cannot save", args[2]);
  HWND control = ud::FindControl(top, args[2]);
  if (control == nullptr) return Fail(L"no control", args[2]);
  if (command == L"text") {
    Print(ud::Text(control));
  } else if (command == L"rect") {
    const RECT r = ud::RectInClient(top, control);
    Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
          std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
  } else if (command == L"click") {
    ud::Click(control);
  } else if (command == L"checked") {
    Print(ud::IsChecked(control) ? L"1" : L"0");
  } else {
    return 2;
  }
  return 0;
}
