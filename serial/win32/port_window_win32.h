// The Win32 side of a port's smWindowSync delivery: the hidden window whose
// procedure (PortWindowProc) delivers each event on the user-interface
// thread, and the waiter that keeps messages sent to such windows flowing
// while a closing port waits for its event thread.
#pragma once

namespace quillet::serial::win32 {

// Call once on the user-interface thread before opening ports.
void InstallPortWindows();

}  // namespace quillet::serial::win32
