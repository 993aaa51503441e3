// Starts tools/receiver (receiver.exe) and reads its key log: the sink of
// every test that types into a real window under Wine.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quillet::testsupport {

using namespace std::chrono_literals;
inline constexpr auto kReceiverDeadline = std::chrono::seconds(20);

// One receiver.exe process and its log; killed if a test ends early.
// options go on its command line after the log (e.g. L"--shortcuts").
class Receiver {
 public:
  explicit Receiver(const std::wstring& receiverPath, const std::wstring& options = L"") {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    static int serial = 0;
    logPath_ = std::wstring(dir) + L"quillet-receiver-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + std::to_wstring(++serial) + L".log";
    DeleteFileW(logPath_.c_str());
    std::wstring command = L"\"" + receiverPath + L"\" \"" + logPath_ + L"\"";
    if (!options.empty()) command += L" " + options;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (!CreateProcessW(receiverPath.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &process_))
      process_ = {};
  }
  ~Receiver() {
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    DeleteFileW(logPath_.c_str());
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  bool Started() const { return process_.hProcess != nullptr; }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    HANDLE file = CreateFileW(logPath_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
      data.append(buffer, got);
    CloseHandle(file);
    std::istringstream in(data);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!data.empty() && data.back() != '\n') lines.pop_back();  // still being written
    return lines;
  }

  // The first line starting with prefix, once it is there.
  std::optional<std::string> WaitForLine(const std::string& prefix, std::size_t from = 0) const {
    const auto end = std::chrono::steady_clock::now() + kReceiverDeadline;
    do {
      const auto lines = Lines();
      for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return lines[i];
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
  }

  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& line : Lines())
      if (line.rfind(prefix, 0) == 0) ++n;
    return n;
  }

  bool WaitForCount(const std::string& prefix, int count) const {
    const auto end = std::chrono::steady_clock::now() + kReceiverDeadline;
    while (Count(prefix) < count) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  // The line just before the first line equal to line, or "".
  std::string LineBefore(const std::string& line) const {
    const auto lines = Lines();
    for (std::size_t i = 1; i < lines.size(); ++i)
      if (lines[i] == line) return lines[i - 1];
    return "";
  }

  HWND Window() const {
    const auto line = WaitForLine("HWND ");
    return line ? reinterpret_cast<HWND>(std::stoull(line->substr(5), nullptr, 16)) : nullptr;
  }

  // Closes the window and returns the TEXT line's hex.
  std::optional<std::string> CloseAndReadText() {
    PostMessageW(Window(), WM_CLOSE, 0, 0);
    if (!WaitForLine("END")) return std::nullopt;
    WaitForSingleObject(process_.hProcess, 5000);
    const auto text = WaitForLine("TEXT ");
    return text ? std::optional(text->substr(5)) : std::nullopt;
  }

 private:
  std::wstring logPath_;
  PROCESS_INFORMATION process_{};
};

}  // namespace quillet::testsupport
