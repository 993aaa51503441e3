// The hidden window of a port with SyncMethod smWindowSync: the event thread
// sends it one message per event, and the window delivers the event on the
// user-interface thread. The Win32 window lives in serial/win32; portable
// code sees only this interface, so native tests can use a fake.
#pragma once

#include <functional>
#include <memory>

#include "os/serial_api.h"

namespace quillet::serial {

class TCustomComPort;

// WM_USER + 1: wParam is the event's Windows bit, lParam 0.
inline constexpr unsigned kPortMessage = 0x0400 + 1;

class TPortWindow {
 public:
  virtual ~TPortWindow() = default;
  virtual os::WindowHandle Handle() const = 0;
  // Event thread: sends the port message for one event; returns once the
  // window has taken it (the delivery itself may still be running).
  virtual void SendEvent(os::Dword eventBit) = 0;
};

// Creates the window on the calling (user-interface) thread for a port; the
// window hands each event to TCustomComPort::DeliverWindowEvent.
using TPortWindowFactory = std::function<std::unique_ptr<TPortWindow>(TCustomComPort& port)>;
// Without a factory, smWindowSync ports deliver through the hand-over.
void SetPortWindowFactory(TPortWindowFactory factory);
const TPortWindowFactory& PortWindowFactory();

}  // namespace quillet::serial
