// Pieces the benchmarks under Wine share: a clock, the process's own CPU
// time, the null-modem pairs wine-run linked, and another process's figures
// read from Linux.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quillet::bench {

// Seconds on the performance counter.
inline double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / frequency;
}

// Kernel and user time of this process, in seconds.
inline double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME& t) {
    return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 |
                               t.dwLowDateTime) *
           1e-7;
  };
  return value(kernel) + value(user);
}

struct Pair {
  int receiver = 0;
  int peer = 0;
};

// QUILLET_COM_PAIR as wine-run takes it: "7:8" or "7 8", comma-separated.
inline std::vector<Pair> PairsFromEnvironment() {
  std::vector<Pair> pairs;
  const char* text = std::getenv("QUILLET_COM_PAIR");
  const std::string all = text != nullptr ? text : "7:8";
  for (std::size_t at = 0; at <= all.size();) {
    const std::size_t comma = std::min(all.find(',', at), all.size());
    Pair p;
    if (std::sscanf(all.substr(at, comma - at).c_str(), "%d%*[: ]%d", &p.receiver, &p.peer) == 2)
      pairs.push_back(p);
    at = comma + 1;
  }
  return pairs;
}

inline std::wstring ComName(int n) {
  return L"COM" + std::to_wstring(n);
}

inline std::string ReadAll(const std::wstring& path) {
  std::ifstream in{std::filesystem::path(path), std::ios::binary};
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Wine 8 answers GetProcessTimes for another process with zeros, so the
// figures come from Linux: the process whose command line starts with the
// program's Windows path, the newest if there are several.
inline int UnixPid(const std::wstring& exe) {
  const std::string wanted(exe.begin(), exe.end());
  int best = -1;
  unsigned long long best_start = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  do {
    const std::wstring name = found.cFileName;
    if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
    const std::string cmdline = ReadAll(L"Z:\\proc\\" + name + L"\\cmdline");
    if (cmdline.size() < wanted.size() ||
        _strnicmp(cmdline.c_str(), wanted.c_str(), wanted.size()) != 0)
      continue;
    const std::string stat = ReadAll(L"Z:\\proc\\" + name + L"\\stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long start = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i)
      if (i == 22) start = std::stoull(field);
    if (best < 0 || start > best_start) {
      best = std::stoi(name);
      best_start = start;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return best;
}

// utime + stime of every thread of a Linux process, in seconds (100 ticks a second).
inline double CpuSeconds(int pid) {
  const std::string stat = ReadAll(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / 100.0;
}

// Polls every 50 ms; false once `ms` have gone by without the condition.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace quillet::bench
