// The port engine on Wine's serial driver beside a bare program doing the
// same system calls: latency of one byte from the peer end (COM8) to the
// receiver on COM7, and the throughput of a 64 KiB burst. Run through
// wine-run with a COM pair (see CMakeLists.txt); prints figures only.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/win32/serial_win32.h"
#include "serial/com_port.h"
#include "serial/sync.h"

namespace {

using namespace quillet;

constexpr UINT kWake = WM_APP + 1;
constexpr int kRounds = 200;
constexpr std::size_t kBurst = 64 * 1024;

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

HANDLE OpenRaw(const wchar_t* name) {
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  BuildCommDCBW(L"baud=9600 parity=N data=8 stop=1", &dcb);
  dcb.fBinary = TRUE;
  SetCommState(h, &dcb);
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 5000};
  SetCommTimeouts(h, &t);
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return h;
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD done = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING)
    ok = GetOverlappedResult(h, &ov, &done, TRUE);
  CloseHandle(ov.hEvent);
  return ok && done == bytes.size();
}

// Pumps the user-interface thread's messages until done() or 10 s.
bool Pump(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 10000) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    serial::CheckSynchronize();
  }
  return true;
}

struct Figures {
  double medianUs = 0;
  double p90Us = 0;
  double kibPerS = 0;
};

void Print(const char* who, const Figures& f) {
  std::printf("%-28s one byte: median %8.1f us, p90 %8.1f us; 64 KiB burst: %8.1f KiB/s\n", who,
              f.medianUs, f.p90Us, f.kibPerS);
}

Figures Summarise(std::vector<double> us, double burstSeconds) {
  std::sort(us.begin(), us.end());
  Figures f;
  if (!us.empty()) {
    f.medianUs = us[us.size() / 2];
    f.p90Us = us[us.size() * 9 / 10];
  }
  f.kibPerS = burstSeconds > 0 ? (kBurst / 1024.0) / burstSeconds : 0;
  return f;
}

Figures MeasurePort(HANDLE peer) {
  os::win32::Win32SerialApi api;
  serial::TComPort port(nullptr, api);
  port.SetPort(L"COM7");
  std::size_t received = 0;
  port.SetOnRxChar([&](serial::TObject*, int count) {
    std::wstring text;
    received += static_cast<std::size_t>(port.ReadStr(text, count));
  });
  port.Open();
  std::vector<double> us;
  for (int i = 0; i < kRounds; ++i) {
    const std::size_t want = received + 1;
    const double start = Now();
    WriteAll(peer, "x");
    if (!Pump([&] { return received >= want; })) break;
    us.push_back((Now() - start) * 1e6);
  }
  const std::size_t want = received + kBurst;
  const double start = Now();
  std::thread writer([&] { WriteAll(peer, std::string(kBurst, 'y')); });
  const bool all = Pump([&] { return received >= want; });
  const double seconds = Now() - start;
  writer.join();
  port.Close();
  return Summarise(us, all ? seconds : 0);
}

// The bare baseline: an overlapped WaitCommEvent + ReadFile loop on its own
// thread, with the same mask, reading whatever is queued.
Figures MeasureBare(HANDLE peer) {
  HANDLE port = OpenRaw(L"\\\\.\\COM7");
  if (port == INVALID_HANDLE_VALUE) return {};
  SetCommMask(port, 0x05FF);
  std::atomic<std::size_t> received{0};
  std::atomic<bool> stop{false};
  HANDLE arrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::thread reader([&] {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> buffer(kBurst);
    while (!stop) {
      DWORD mask = 0, n = 0;
      if (!WaitCommEvent(port, &mask, &ov) && GetLastError() == ERROR_IO_PENDING) {
        if (!GetOverlappedResult(port, &ov, &n, TRUE)) break;
      }
      for (;;) {
        DWORD got = 0;
        OVERLAPPED rov{};
        rov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ReadFile(port, buffer.data(), static_cast<DWORD>(buffer.size()), &got, &rov) &&
            GetLastError() == ERROR_IO_PENDING) {
          GetOverlappedResult(port, &rov, &got, TRUE);
        }
        CloseHandle(rov.hEvent);
        if (got == 0) break;
        received += got;
        SetEvent(arrived);
      }
    }
    CloseHandle(ov.hEvent);
  });
  std::vector<double> us;
  for (int i = 0; i < kRounds; ++i) {
    const std::size_t want = received + 1;
    const double start = Now();
    WriteAll(peer, "x");
    while (received < want) {
      if (WaitForSingleObject(arrived, 10000) != WAIT_OBJECT_0) break;
    }
    us.push_back((Now() - start) * 1e6);
  }
  const std::size_t want = received + kBurst;
  const double start = Now();
  std::thread writer([&] { WriteAll(peer, std::string(kBurst, 'y')); });
  while (received < want) {
    if (WaitForSingleObject(arrived, 10000) != WAIT_OBJECT_0) break;
  }
  const double seconds = Now() - start;
  const bool all = received >= want;
  writer.join();
  stop = true;
  SetCommMask(port, 0);
  CancelIoEx(port, nullptr);  // whatever the reader still waits for
  reader.join();
  CloseHandle(arrived);
  CloseHandle(port);
  return Summarise(us, all ? seconds : 0);
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  const DWORD ui = GetCurrentThreadId();
  serial::SetSynchronizeWakeHook([ui] { PostThreadMessageW(ui, kWake, 0, 0); });
  HANDLE peer = OpenRaw(L"\\\\.\\COM8");
  if (peer == INVALID_HANDLE_VALUE) {
    std::printf("serial (Wine): no COM8; run through wine-run with QUILLET_COM_PAIR=7:8\n");
    return 0;
  }
  Print("serial (Wine) bare loop:", MeasureBare(peer));
  Print("serial (Wine) TComPort:", MeasurePort(peer));
  CloseHandle(peer);
  return 0;
}
