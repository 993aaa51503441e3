// Proves the Wine test harness itself: the null-modem pair COM7 <-> COM8 that
// wine-run links for this test, with the modem-line shim preloaded, behaves
// like a serial cable for the real communications calls, so the serial and
// end-to-end tests can trust it.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFullMask = 0x05FF;  // what the program waits for on each port
constexpr DWORD kDeadlineMs = 10000;

std::wstring env(const wchar_t* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// An OVERLAPPED with its own manual-reset event.
struct Overlapped {
  Overlapped() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { ov.hEvent = event.get(); }
  OVERLAPPED ov{};
  Handle event;
};

HANDLE openPort(int number) {
  std::wstring name = L"\\\\.\\COM" + std::to_wstring(number);
  return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

bool writeFileText(const std::wstring& path, const std::string& text) {
  Handle f(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return f.valid() &&
         WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

class ComPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env(L"QUILLET_MODEM_LINES_WIN").empty()) << "run through tests/support/wine-run";
    com7_ = std::make_unique<Handle>(openPort(7));
    com8_ = std::make_unique<Handle>(openPort(8));
    ASSERT_TRUE(com7_->valid()) << "COM7 error " << GetLastError();
    ASSERT_TRUE(com8_->valid()) << "COM8 error " << GetLastError();
    for (HANDLE h : {com7_->get(), com8_->get()}) configure(h);
  }

  static void configure(HANDLE h) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(h, &dcb)) << GetLastError();
    ASSERT_TRUE(BuildCommDCBW(L"baud=9600 parity=N data=8 stop=1", &dcb));
    dcb.fBinary = TRUE;
    ASSERT_TRUE(SetCommState(h, &dcb)) << GetLastError();
    // A read returns as soon as anything has arrived, or after five seconds.
    COMMTIMEOUTS t{MAXDWORD, MAXDWORD, 5000, 0, 5000};
    ASSERT_TRUE(SetCommTimeouts(h, &t)) << GetLastError();
    ASSERT_TRUE(PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR));
  }

  static void writeAll(HANDLE h, const std::string& bytes) {
    Overlapped o;
    DWORD done = 0;
    if (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, &o.ov)) {
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
      ASSERT_EQ(WaitForSingleObject(o.event.get(), kDeadlineMs), WAIT_OBJECT_0);
      ASSERT_TRUE(GetOverlappedResult(h, &o.ov, &done, FALSE));
    }
    ASSERT_EQ(done, bytes.size());
  }

  static std::string readUpTo(HANDLE h, size_t count) {
    std::string got;
    DWORD start = GetTickCount();
    while (got.size() < count && GetTickCount() - start < kDeadlineMs) {
      Overlapped o;
      char buf[512];
      DWORD want = static_cast<DWORD>(std::min(count - got.size(), sizeof buf));
      DWORD n = 0;
      if (!ReadFile(h, buf, want, &n, &o.ov)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        if (WaitForSingleObject(o.event.get(), kDeadlineMs) != WAIT_OBJECT_0) {
          CancelIo(h);
          break;
        }
        if (!GetOverlappedResult(h, &o.ov, &n, FALSE)) break;
      }
      got.append(buf, n);
    }
    return got;
  }

  static std::string allByteValues() {
    std::string s;
    for (int i = 0; i < 256; i++) s.push_back(static_cast<char>(i));
    return s;
  }

  std::unique_ptr<Handle> com7_, com8_;
};

// Which end sends: each direction runs on freshly opened ports, since a port
// that has written reports EV_TXEMPTY to its next wait.
class ComPairDirection : public ComPair, public ::testing::WithParamInterface<bool> {};

TEST_P(ComPairDirection, FullMaskWaitReportsRxCharAndEveryByteValueArrivesInOrder) {
  const bool towardCom7 = GetParam();
  HANDLE from = towardCom7 ? com8_->get() : com7_->get();
  HANDLE to = towardCom7 ? com7_->get() : com8_->get();
  ASSERT_TRUE(SetCommMask(to, kFullMask)) << GetLastError();
  Overlapped wait;
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(to, &events, &wait.ov)) << "returned at once with events " << events;
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  // Nothing has been sent yet, so the wait must still be pending.
  EXPECT_EQ(WaitForSingleObject(wait.event.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));

  writeAll(from, allByteValues());
  ASSERT_EQ(WaitForSingleObject(wait.event.get(), kDeadlineMs), WAIT_OBJECT_0);
  DWORD ignored = 0;
  ASSERT_TRUE(GetOverlappedResult(to, &wait.ov, &ignored, FALSE)) << GetLastError();
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));

  EXPECT_EQ(readUpTo(to, 256), allByteValues());
  ASSERT_TRUE(SetCommMask(to, 0));
}

INSTANTIATE_TEST_SUITE_P(Harness, ComPairDirection, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Com8ToCom7" : "Com7ToCom8"; });

TEST_F(ComPair, ModemStatusFollowsTheControlFile) {
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(com7_->get(), &status)) << "error " << GetLastError();
  EXPECT_EQ(status, static_cast<DWORD>(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON)) << "default lines";

  const struct {
    const char* text;
    DWORD expected;
  } cases[] = {
      {"CTS DSR CD", MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON},
      {"RI", MS_RING_ON},
      {"DSR", MS_DSR_ON},
      {"", 0},
      {"0x20", MS_CTS_ON},  // TIOCM_CTS as a number
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(writeFileText(env(L"QUILLET_MODEM_LINES_WIN"), c.text));
    ASSERT_TRUE(GetCommModemStatus(com7_->get(), &status)) << "error " << GetLastError();
    EXPECT_EQ(status, c.expected);
  }
}

TEST_F(ComPair, ModemLineChangeEndsAWaitWithItsEvent) {
  ASSERT_TRUE(writeFileText(env(L"QUILLET_MODEM_LINES_WIN"), "DSR CD"));
  ASSERT_TRUE(SetCommMask(com7_->get(), kFullMask));
  Overlapped wait;
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(com7_->get(), &events, &wait.ov));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

  ASSERT_TRUE(writeFileText(env(L"QUILLET_MODEM_LINES_WIN"), "CTS DSR CD"));
  ASSERT_EQ(WaitForSingleObject(wait.event.get(), kDeadlineMs), WAIT_OBJECT_0);
  DWORD ignored = 0;
  ASSERT_TRUE(GetOverlappedResult(com7_->get(), &wait.ov, &ignored, FALSE));
  EXPECT_EQ(events, static_cast<DWORD>(EV_CTS));
  ASSERT_TRUE(SetCommMask(com7_->get(), 0));
}

TEST(SerialComm, ListsTheRegisteredPair) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  std::vector<std::wstring> ports;
  for (DWORD i = 0;; i++) {
    wchar_t name[256], data[64];
    DWORD nameLen = 256, dataSize = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data),
                      &dataSize) != ERROR_SUCCESS)
      break;
    if (type == REG_SZ) ports.emplace_back(data);
  }
  RegCloseKey(key);
  EXPECT_NE(std::find(ports.begin(), ports.end(), L"COM7"), ports.end());
  EXPECT_NE(std::find(ports.begin(), ports.end(), L"COM8"), ports.end());
}

// The harness can pull a device out and put it back.
TEST(UnplugCommand, RemovesAndRestoresTheSecondPort) {
  const std::wstring control = env(L"QUILLET_COM_CONTROL_WIN");
  ASSERT_FALSE(control.empty());
  auto waitUntil = [](auto condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
      if (GetTickCount() - start > kDeadlineMs) return false;
      Sleep(20);
    }
    return true;
  };
  auto com8Opens = [] {
    Handle h(openPort(8));
    return h.valid();
  };
  ASSERT_TRUE(com8Opens());
  ASSERT_TRUE(writeFileText(control, "unplug 2\n"));
  EXPECT_TRUE(waitUntil([&] { return !com8Opens(); }));
  Handle com7(openPort(7));
  EXPECT_TRUE(com7.valid()) << "the first port stays";
  ASSERT_TRUE(writeFileText(control, "plug 2\n"));
  EXPECT_TRUE(waitUntil(com8Opens));
}

}  // namespace
