// What the null-modem relay of each pair counted (tests/support/ptypair.c),
// asked through the control file wine-run gives each pair, and the relay's
// own scanner, which writes from outside Wine.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quillet::bench {

struct RelayCounts {
  long long fromReceiver = 0;  // read from the receiving side
  long long fromPeer = 0;      // read from the writing side
  long long toReceiver = 0;    // written into the receiving side: reached the port
  long long toPeer = 0;
  long long scanned = 0;  // the relay's own scanner
  long scans = 0;
  int scanning = 0;
  long missed = 0;  // scans not sent: their time came while the receiving side was unplugged
  long cut = 0;     // scans cut off by unplugging the receiving side

  bool ok = false;
};

inline std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024];
  const DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

// The control of pair `index` (0-based), as wine-run names it.
inline std::wstring ControlOf(std::size_t index) {
  const std::wstring suffix = index == 0 ? L"" : std::to_wstring(index + 1);
  return Env((L"QUILLET_COM_CONTROL" + suffix + L"_WIN").c_str());
}

inline bool Command(std::size_t index, const std::string& line) {
  const std::wstring control = ControlOf(index);
  if (control.empty()) return false;
  HANDLE f = CreateFileW(control.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                  written == line.size();
  CloseHandle(f);
  return ok;
}

inline RelayCounts Counts(std::size_t index) {
  RelayCounts c;
  const std::wstring path = ControlOf(index) + L".counts";
  DeleteFileW(path.c_str());
  if (!Command(index, "counts\n")) return c;
  for (int i = 0; i < 200; ++i) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      char text[256] = {};
      DWORD n = 0;
      ReadFile(f, text, sizeof text - 1, &n, nullptr);
      CloseHandle(f);
      // The receiver is the relay's first side.
      c.ok = std::sscanf(text,
                         "read1 %lld read2 %lld written1 %lld written2 %lld scanned %lld scans "
                         "%ld scanning %d missed %ld cut %ld",
                         &c.fromReceiver, &c.fromPeer, &c.toReceiver, &c.toPeer, &c.scanned,
                         &c.scans, &c.scanning, &c.missed, &c.cut) >= 7;
      return c;
    }
    Sleep(10);
  }
  return c;
}

inline std::vector<RelayCounts> AllCounts(std::size_t ports) {
  std::vector<RelayCounts> all;
  for (std::size_t p = 0; p < ports; ++p) all.push_back(Counts(p));
  return all;
}

}  // namespace quillet::bench
