// Opening and closing the device, and handing the settings to it.
#include <array>
#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "serial/com_port.h"
#include "serial/com_setting_names.h"
#include "serial/com_thread.h"

namespace quillet::serial {

using enum TComExceptions;

namespace {

// "\\.\" + the name must name a device and nothing else: a separator or a
// drive colon would let the name reach other objects of the namespace.
bool IsRefusedPortName(const std::wstring& name) {
  return name.find_first_of(L"\\/:") != std::wstring::npos;
}

// The figure of a baud rate text; 0 for one that is not a number ("Custom").
constexpr int DecimalValue(std::wstring_view text) {
  int value = 0;
  for (wchar_t ch : text) {
    if (ch < L'0' || ch > L'9') return 0;
    value = value * 10 + (ch - L'0');
  }
  return value;
}

// Bits per second of each TBaudRate, read from the texts it is stored as.
constexpr auto kBaudRates = [] {
  std::array<int, config::kBaudRateTexts.size()> rates{};
  for (std::size_t i = 0; i < rates.size(); ++i) {
    rates[i] = DecimalValue(config::kBaudRateTexts[i]);
  }
  return rates;
}();
static_assert(kBaudRates[static_cast<std::size_t>(TBaudRate::brCustom)] == 0);
static_assert(kBaudRates[static_cast<std::size_t>(TBaudRate::br9600)] == 9600);

// The DCB takes the line settings' ordinals as they are.
static_assert(static_cast<os::Byte>(TStopBits::sbOneStopBit) == os::kOneStopBit &&
              static_cast<os::Byte>(TStopBits::sbOne5StopBits) == os::kOne5StopBits &&
              static_cast<os::Byte>(TStopBits::sbTwoStopBits) == os::kTwoStopBits);
static_assert(static_cast<os::Byte>(TParityBits::prNone) == os::kNoParity &&
              static_cast<os::Byte>(TParityBits::prOdd) == os::kOddParity &&
              static_cast<os::Byte>(TParityBits::prEven) == os::kEvenParity &&
              static_cast<os::Byte>(TParityBits::prMark) == os::kMarkParity &&
              static_cast<os::Byte>(TParityBits::prSpace) == os::kSpaceParity);
static_assert(static_cast<os::Dword>(TDTRFlowControl::dtrDisable) == os::kDtrControlDisable &&
              static_cast<os::Dword>(TDTRFlowControl::dtrEnable) == os::kDtrControlEnable &&
              static_cast<os::Dword>(TDTRFlowControl::dtrHandshake) == os::kDtrControlHandshake);
static_assert(static_cast<os::Dword>(TRTSFlowControl::rtsDisable) == os::kRtsControlDisable &&
              static_cast<os::Dword>(TRTSFlowControl::rtsEnable) == os::kRtsControlEnable &&
              static_cast<os::Dword>(TRTSFlowControl::rtsHandshake) == os::kRtsControlHandshake &&
              static_cast<os::Dword>(TRTSFlowControl::rtsToggle) == os::kRtsControlToggle);
// ByteSize is 5 + the ordinal.
static_assert(static_cast<int>(TDataBits::dbFive) == 0 &&
              static_cast<int>(TDataBits::dbEight) == 3);

char Low8(wchar_t ch) {
  return static_cast<char>(static_cast<unsigned char>(ch & 0xFF));
}

os::Dcb BuildDcb(const TCustomComPort& port) {
  const TComParity& parity = port.Parity();
  const TComFlowControl& flow = port.FlowControl();
  os::Dcb dcb;
  dcb.DCBlength = os::kDcbSize;
  dcb.BaudRate = port.BaudRate() == TBaudRate::brCustom
                     ? static_cast<os::Dword>(port.CustomBaudRate())
                     : static_cast<os::Dword>(BaudRateValue(port.BaudRate()));
  dcb.fBinary = 1;
  dcb.fParity = parity.Check() ? 1 : 0;
  dcb.fOutxCtsFlow = flow.OutCTSFlow() ? 1 : 0;
  dcb.fOutxDsrFlow = flow.OutDSRFlow() ? 1 : 0;
  dcb.fDtrControl = static_cast<os::Dword>(flow.ControlDTR());
  dcb.fDsrSensitivity = flow.DSRSensitivity() ? 1 : 0;
  dcb.fTXContinueOnXoff = flow.TxContinueOnXoff() ? 1 : 0;
  dcb.fOutX = flow.XonXoffOut() ? 1 : 0;
  dcb.fInX = flow.XonXoffIn() ? 1 : 0;
  const bool replace = parity.Check() && parity.Replace();
  dcb.fErrorChar = replace ? 1 : 0;
  dcb.fNull = port.DiscardNull() ? 1 : 0;
  dcb.fRtsControl = static_cast<os::Dword>(flow.ControlRTS());
  const auto limit = static_cast<os::Word>(port.Buffer().InputSize() / 4);
  dcb.XonLim = limit;
  dcb.XoffLim = limit;
  dcb.ByteSize = static_cast<os::Byte>(5 + static_cast<int>(port.DataBits()));
  dcb.Parity = static_cast<os::Byte>(parity.Bits());
  dcb.StopBits = static_cast<os::Byte>(port.StopBits());
  dcb.XonChar = Low8(flow.XonChar());
  dcb.XoffChar = Low8(flow.XoffChar());
  dcb.ErrorChar = replace ? Low8(parity.ReplaceChar()) : 0;
  const TRxGathering& gathering = port.RxGathering();
  dcb.EvtChar =
      gathering.on && gathering.hasTerminator ? gathering.terminator : Low8(port.EventChar());
  return dcb;
}

}  // namespace

int BaudRateValue(TBaudRate rate) {
  return kBaudRates[static_cast<std::size_t>(rate)];
}

bool TCustomComPort::CanApply() const {
  return FConnected && FUpdateCount == 0 && !Loading() && !Designing();
}

void TCustomComPort::Open() {
  if (FConnected || Designing()) return;
  FireBeforeOpen();
  OpenDeviceHandle();
  // Reached with no device only when OnException took the open error: there
  // is nothing to set up, so the port stays closed.
  if (!FHandle) return;
  FConnected = true;
  try {
    ApplyAllSettings();
  } catch (...) {
    CloseDeviceHandle();
    FConnected = false;
    throw;
  }
  if (FEvents.Empty()) {
    FThreadCreated = false;
  } else {
    CreateEventThread();
  }
  NotifyLinks(&TComLink::OnConn, true);
  FireAfterOpen();
  ReportSignals(true);
}

void TCustomComPort::Close() {
  if (!FConnected || Designing()) return;
  ReportSignals(false);
  FireBeforeClose();
  // A pulled-out adapter refuses the abort; the port is released all the
  // same and the error reported once it is closed.
  std::exception_ptr abortError;
  try {
    AbortAllAsync();
  } catch (...) {
    abortError = std::current_exception();
  }
  if (FThreadCreated) {
    DestroyEventThread();
    FThreadCreated = false;
  }
  CloseDeviceHandle();
  FConnected = false;
  NotifyLinks(&TComLink::OnConn, false);
  FireAfterClose();
  if (abortError) std::rethrow_exception(abortError);
}

void TCustomComPort::OpenDeviceHandle() {
  if (IsRefusedPortName(FPort)) {
    RaiseComError(CE_OpenFailed, os::kErrorInvalidName);
    return;
  }
  FHandle = os::DeviceHandle(
      FApi, FApi.CreateFileW(L"\\\\.\\" + FPort, os::kGenericRead | os::kGenericWrite, 0,
                             os::kOpenExisting, os::kFileFlagOverlapped));
  if (!FHandle) RaiseComError(CE_OpenFailed, FApi.GetLastError());
}

void TCustomComPort::CloseDeviceHandle() {
  // A handle whose close failed is of no further use, and keeping its value
  // could later name an unrelated object that reuses it: Reset forgets it
  // whatever the close returned.
  FHandle.Reset();
}

void TCustomComPort::ApplyAllSettings() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApply()) return;
  if (!FApi.SetCommState(FHandle.Get(), BuildDcb(*this))) {
    RaiseComError(CE_SetStateFailed, FApi.GetLastError());
  }
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!CanApply()) return;
  if (!FApi.SetCommTimeouts(FHandle.Get(), DeviceTimeouts())) {
    RaiseComError(CE_TimeoutsFailed, FApi.GetLastError());
  }
}

os::CommTimeouts TCustomComPort::DeviceTimeouts() const {
  // -1 goes to the device as MAXDWORD: every value is passed bit for bit.
  os::CommTimeouts t;
  t.ReadIntervalTimeout = static_cast<os::Dword>(FTimeouts.ReadInterval());
  t.ReadTotalTimeoutMultiplier = static_cast<os::Dword>(FTimeouts.ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = static_cast<os::Dword>(FTimeouts.ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = static_cast<os::Dword>(FTimeouts.WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = static_cast<os::Dword>(FTimeouts.WriteTotalConstant());
  return t;
}

void TCustomComPort::ApplyBufferSizes() {
  if (!CanApply()) return;
  if (!FApi.SetupComm(FHandle.Get(), static_cast<os::Dword>(FBuffer.InputSize()),
                      static_cast<os::Dword>(FBuffer.OutputSize()))) {
    RaiseComError(CE_SetupComFailed, FApi.GetLastError());
  }
}

// --- signal reports -------------------------------------------------------------------

void TCustomComPort::ReportSignals(bool open) {
  if (open) {
    // The port is open and working: a device that cannot report its modem
    // lines (a bare pseudo-terminal, say) shows them off instead of failing.
    const auto line = [this](TComSignal signal) {
      os::Dword status = 0;
      return FApi.GetCommModemStatus(FHandle.Get(), &status) != 0 &&
             SignalsOf(status).Contains(signal);
    };
    DeliverCTSChange(line(TComSignal::csCTS));
    DeliverDSRChange(line(TComSignal::csDSR));
    DeliverRLSDChange(line(TComSignal::csRLSD));
    return;
  }
  // Every line of every link first, then the port's own handlers.
  const std::vector<TComLink*> links = FLinks;
  NotifyEach(links, &TComLink::OnCTSChange, false);
  NotifyEach(links, &TComLink::OnDSRChange, false);
  NotifyEach(links, &TComLink::OnRLSDChange, false);
  FireCTSChange(false);
  FireDSRChange(false);
  FireRLSDChange(false);
}

}  // namespace quillet::serial
