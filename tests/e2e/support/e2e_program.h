// A quillet.exe (or any program) started by an end-to-end test; killed when
// the test ends early.
#pragma once

#include <windows.h>

#include <string>

namespace quillet::e2e {

inline constexpr DWORD kProgramWaitMs = 20000;

class Program {
 public:
  explicit Program(const std::wstring& exe, const std::wstring& arguments = L"") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (!started_) return;
    if (Running()) Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  void Kill() {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, kProgramWaitMs);
  }
  // Exit code, or -1 when it has not ended in time.
  long WaitExit(DWORD ms) const {
    if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

// Polls condition every 50 ms until it holds; false after ms.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD ms = kProgramWaitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(50);
  }
}

}  // namespace quillet::e2e
