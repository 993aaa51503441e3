// The package's helper for a Quillet that runs while it is installed over,
// repaired or removed: it asks the running copy to close exactly as the
// title bar's close button does, so the copy asks its user "Close
// application?" and, on Yes, stores which ports were open before it ends.
// The package runs it before anything is changed; a copy still running when
// it gives up (the user said No, or nobody answered) makes it fail, and the
// installation ends with the installed program untouched.
//
//   quillet_close_running.exe <program file> [UI level]
//
// Exit code 0 when no copy of that program file runs (any more), 1 when
// one still runs. At UI level 2 (msiexec /qn) it shows nothing.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kAnswerWait = 120000;  // for a person to read the question
constexpr DWORD kPoll = 100;
constexpr wchar_t kMainWindowClass[] = L"TForm1";
constexpr wchar_t kTitle[] = L"Quillet setup";

struct Copy {
  HWND window;
  DWORD process_id;
  HANDLE process;
};

std::wstring ImageOf(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) return L"";
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  if (!QueryFullProcessImageNameW(process, 0, image.data(), &size)) size = 0;
  CloseHandle(process);
  image.resize(size);
  return image;
}

struct Search {
  std::wstring program;
  std::vector<Copy> copies;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  wchar_t name[64] = {};
  if (GetClassNameW(window, name, 64) == 0 || lstrcmpW(name, kMainWindowClass) != 0) return TRUE;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  // Other programs have main windows of this class too: only a copy of the
  // program file being replaced counts (paths compare without case).
  if (CompareStringOrdinal(ImageOf(process_id).c_str(), -1, search->program.c_str(), -1, TRUE) !=
      CSTR_EQUAL)
    return TRUE;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process != nullptr) search->copies.push_back({window, process_id, process});
  return TRUE;
}

// Asks the copy to close and waits until it has ended. The close request is
// sent, so it returns once the copy's handler has: after its user answered
// the question, with the window gone on Yes. The copy may also put the
// question off while it reopens its ports at start-up, and then asks with
// its window disabled. False when it still runs: its user answered No or
// nobody answered in time.
bool CloseCopy(const Copy& copy) {
  constexpr DWORD kPutOff = 10000;  // for a question asked after the handler
  constexpr DWORD kEnding = 60000;  // a closing copy stores its rows and closes its ports
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(copy.window, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kAnswerWait,
                          &result) == 0 &&
      IsWindow(copy.window))
    return false;  // hung, or nobody answered
  // A window still there: No, or a question put off. A window that stays
  // enabled, or is enabled again after the later question, means No.
  DWORD waited = 0;
  DWORD answered_for = 0;
  bool asked_later = false;
  while (IsWindow(copy.window)) {
    if (WaitForSingleObject(copy.process, kPoll) == WAIT_OBJECT_0) return true;
    waited += kPoll;
    if (!IsWindowEnabled(copy.window)) {
      asked_later = true;
      answered_for = 0;
    } else if (asked_later) {
      answered_for += kPoll;
      if (answered_for >= kPutOff) return false;
    } else if (waited >= kPutOff) {
      return false;
    }
    if (waited >= kAnswerWait + kPutOff) return false;
  }
  return WaitForSingleObject(copy.process, kEnding) == WAIT_OBJECT_0;
}

}  // namespace

// A window program, so that no console flashes up while it runs.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 0;  // nothing named: nothing to close
  Search search{argv[1], {}};
  const bool silent = argc >= 3 && lstrcmpW(argv[2], L"2") == 0;
  LocalFree(argv);
  EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
  bool all_ended = true;
  for (const Copy& copy : search.copies) {
    if (!CloseCopy(copy)) all_ended = false;
    CloseHandle(copy.process);
  }
  if (all_ended) return 0;
  if (!silent) {
    MessageBoxW(nullptr,
                L"Quillet is still running. Close it (File > Close), then run the "
                L"installation again.\n\nNothing has been changed.",
                kTitle, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
  }
  return 1;
}
