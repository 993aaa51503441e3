// SimSerial: the test's side -- ports, the peer end, lines, failures, the log.
#include <utility>

#include "os/sim/serial_sim.h"

namespace quillet::os::sim {

void SimSerial::AddPort(const std::wstring& name) {
  Lock lock(mutex_);
  if (Port* port = FindPortLocked(name)) {
    port->present = true;
    return;
  }
  Port port;
  port.name = name;
  port.modem = 0;
  ports_.push_back(std::move(port));
}

void SimSerial::RemovePort(const std::wstring& name) {
  Lock lock(mutex_);
  Port& port = PortLocked(name);
  port.present = false;
  CancelLocked(port, true, true);
}

bool SimSerial::IsOpen(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).handle != kInvalidHandleValue;
}

Handle SimSerial::OpenHandle(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).handle;
}

void SimSerial::PeerWrite(const std::wstring& name, std::string_view bytes) {
  Lock lock(mutex_);
  Port& port = PortLocked(name);
  if (bytes.empty()) return;
  port.input.append(bytes);
  Dword events = kEvRxChar;
  if (bytes.find(port.dcb.EvtChar) != std::string_view::npos) events |= kEvRxFlag;
  FeedReadsLocked(port);
  if (port.inQueueSize != 0 && port.input.size() * 5 >= std::size_t{port.inQueueSize} * 4) {
    events |= kEvRx80Full;
  }
  RaiseLocked(port, events);
}

std::string SimSerial::PeerRead(const std::wstring& name) {
  Lock lock(mutex_);
  return std::exchange(PortLocked(name).output, std::string());
}

void SimSerial::SetModemStatus(const std::wstring& name, Dword msBits) {
  Lock lock(mutex_);
  Port& port = PortLocked(name);
  const Dword changed = port.modem ^ msBits;
  port.modem = msBits;
  Dword events = 0;
  if (changed & kMsCtsOn) events |= kEvCts;
  if (changed & kMsDsrOn) events |= kEvDsr;
  if (changed & kMsRlsdOn) events |= kEvRlsd;
  if ((changed & kMsRingOn) && (msBits & kMsRingOn)) events |= kEvRing;
  RaiseLocked(port, events);
}

void SimSerial::AddLineErrors(const std::wstring& name, Dword ceBits) {
  Lock lock(mutex_);
  Port& port = PortLocked(name);
  port.errors |= ceBits;
  Dword events = 0;
  if (ceBits & (kCeFrame | kCeOverrun | kCeRxParity | kCeRxOver)) events |= kEvErr;
  if (ceBits & kCeBreak) events |= kEvBreak;
  RaiseLocked(port, events);
}

Dcb SimSerial::State(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).dcb;
}

CommTimeouts SimSerial::Timeouts(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).timeouts;
}

std::size_t SimSerial::PeerUnread(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).input.size();
}

Dword SimSerial::InQueueSize(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).inQueueSize;
}

Dword SimSerial::OutQueueSize(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).outQueueSize;
}

Dword SimSerial::CommMask(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).mask;
}

bool SimSerial::Dtr(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).dtr;
}

bool SimSerial::Rts(const std::wstring& name) const {
  Lock lock(mutex_);
  return PortLocked(name).rts;
}

void SimSerial::FailNext(SimCall call, Dword error, int times) {
  Lock lock(mutex_);
  for (int i = 0; i < times; ++i) failures_[call].push_back(error);
}

void SimSerial::ClearFailures() {
  Lock lock(mutex_);
  failures_.clear();
}

std::vector<SimCallRecord> SimSerial::Calls() const {
  Lock lock(mutex_);
  return log_;
}

std::vector<SimCallRecord> SimSerial::DeviceCalls() const {
  Lock lock(mutex_);
  std::vector<SimCallRecord> out;
  for (const SimCallRecord& r : log_) {
    if (r.call == SimCall::CloseHandle ? r.args.at(0) != 0 : IsDeviceCall(r.call)) {
      out.push_back(r);
    }
  }
  return out;
}

std::vector<std::string> SimSerial::DeviceCallNames() const {
  std::vector<std::string> names;
  for (const SimCallRecord& r : DeviceCalls()) names.emplace_back(SimCallName(r.call));
  return names;
}

void SimSerial::ClearCalls() {
  Lock lock(mutex_);
  log_.clear();
}

std::size_t SimSerial::LiveHandleCount() const {
  Lock lock(mutex_);
  return devices_.size() + events_.size();
}

}  // namespace quillet::os::sim
