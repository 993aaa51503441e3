// The serial seam with a count of the bytes every read took, per device
// handle: what the port engine got from the driver, between what reached the
// port and what was typed.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "os/serial_api.h"

namespace quillet::bench {

class CountingSerial final : public os::SerialApi {
 public:
  explicit CountingSerial(os::SerialApi& inner) : in_(inner) {}

  // Bytes read so far on the devices opened under `fileName`.
  long long BytesRead(const std::wstring& fileName) {
    const std::lock_guard<std::mutex> guard(lock_);
    return read_[fileName];
  }
  // Reads that took bytes: with the port engine, one a delivery while the
  // handler reads the driver; two a scan while the event thread reads a
  // gathering port (its first byte, then the rest).
  long long Reads(const std::wstring& fileName) {
    const std::lock_guard<std::mutex> guard(lock_);
    return reads_count_[fileName];
  }

  // Event waits started, on every device.
  long long Waits() const { return waits_; }

  os::Handle CreateFileW(const std::wstring& fileName, os::Dword access, os::Dword share,
                         os::Dword creation, os::Dword flags) override {
    const os::Handle h = in_.CreateFileW(fileName, access, share, creation, flags);
    if (h != os::kInvalidHandleValue) {
      const std::lock_guard<std::mutex> guard(lock_);
      names_[h] = fileName;
    }
    return h;
  }
  os::Bool SetupComm(os::Handle f, os::Dword i, os::Dword o) override {
    return in_.SetupComm(f, i, o);
  }
  os::Bool SetCommState(os::Handle f, const os::Dcb& d) override { return in_.SetCommState(f, d); }
  os::Bool SetCommTimeouts(os::Handle f, const os::CommTimeouts& t) override {
    return in_.SetCommTimeouts(f, t);
  }
  os::Bool SetCommMask(os::Handle f, os::Dword m) override { return in_.SetCommMask(f, m); }
  os::Bool WaitCommEvent(os::Handle f, os::Dword* m, os::Overlapped* o) override {
    ++waits_;
    return in_.WaitCommEvent(f, m, o);
  }
  os::Bool ReadFile(os::Handle f, void* b, os::Dword n, os::Dword* got,
                    os::Overlapped* o) override {
    const std::lock_guard<std::mutex> guard(lock_);
    reads_[o] = f;  // counted when its result is fetched
    return in_.ReadFile(f, b, n, got, o);
  }
  os::Bool WriteFile(os::Handle f, const void* b, os::Dword n, os::Dword* done,
                     os::Overlapped* o) override {
    return in_.WriteFile(f, b, n, done, o);
  }
  os::Bool GetOverlappedResult(os::Handle f, os::Overlapped* o, os::Dword* n,
                               os::Bool wait) override {
    const os::Bool ok = in_.GetOverlappedResult(f, o, n, wait);
    if (!ok) return ok;  // the caller reads the last error next: no lock here
    const std::lock_guard<std::mutex> guard(lock_);
    const auto it = reads_.find(o);
    if (it != reads_.end()) {
      read_[names_[it->second]] += *n;
      if (*n > 0) ++reads_count_[names_[it->second]];
      reads_.erase(it);
    }
    return ok;
  }
  os::Bool PurgeComm(os::Handle f, os::Dword flags) override { return in_.PurgeComm(f, flags); }
  os::Bool ClearCommError(os::Handle f, os::Dword* e, os::ComStat* s) override {
    return in_.ClearCommError(f, e, s);
  }
  os::Bool GetCommModemStatus(os::Handle f, os::Dword* s) override {
    return in_.GetCommModemStatus(f, s);
  }
  os::Bool EscapeCommFunction(os::Handle f, os::Dword fn) override {
    return in_.EscapeCommFunction(f, fn);
  }
  os::Bool TransmitCommChar(os::Handle f, char c) override { return in_.TransmitCommChar(f, c); }
  os::Bool CloseHandle(os::Handle h) override { return in_.CloseHandle(h); }
  os::Handle CreateEventW(os::Bool m, os::Bool i) override { return in_.CreateEventW(m, i); }
  os::Bool SetEvent(os::Handle e) override { return in_.SetEvent(e); }
  os::Bool ResetEvent(os::Handle e) override { return in_.ResetEvent(e); }
  os::Dword WaitForMultipleObjects(os::Dword c, const os::Handle* h, os::Bool all,
                                   os::Dword ms) override {
    return in_.WaitForMultipleObjects(c, h, all, ms);
  }
  os::Dword WaitForSingleObject(os::Handle h, os::Dword ms) override {
    return in_.WaitForSingleObject(h, ms);
  }
  os::Bool SetCurrentThreadPriority(int p) override { return in_.SetCurrentThreadPriority(p); }
  int MultiByteToWideChar(os::Dword cp, os::Dword fl, const char* b, int bc, wchar_t* w,
                          int wc) override {
    return in_.MultiByteToWideChar(cp, fl, b, bc, w, wc);
  }
  int WideCharToMultiByte(os::Dword cp, os::Dword fl, const wchar_t* w, int wc, char* b,
                          int bc) override {
    return in_.WideCharToMultiByte(cp, fl, w, wc, b, bc);
  }
  os::Dword GetLastError() override { return in_.GetLastError(); }
  std::wstring SystemMessage(os::Dword e) override { return in_.SystemMessage(e); }

 private:
  os::SerialApi& in_;
  std::mutex lock_;
  std::map<os::Handle, std::wstring> names_;
  std::map<os::Overlapped*, os::Handle> reads_;
  std::map<std::wstring, long long> read_;
  std::map<std::wstring, long long> reads_count_;
  std::atomic<long long> waits_{0};
};

}  // namespace quillet::bench
