// The real platform behind the application's seam: the five Win32
// implementations in one object, for the program and for the cross-built
// tests and benchmarks that run the real main window.
#pragma once

#include "app/services.h"
#include "os/win32/keyboard_win32.h"
#include "os/win32/profile_win32.h"
#include "os/win32/registry_win32.h"
#include "os/win32/serial_win32.h"
#include "os/win32/shell_win32.h"

namespace quillet::app::win32 {

struct Win32Services {
  os::win32::Win32SerialApi serial;
  os::win32::Win32ProfileApi profile;
  os::win32::Win32ShellApi shell;
  os::win32::Win32KeyboardApi keyboard;
  os::win32::Win32RegistryApi registry;

  Services Get() { return Services{serial, profile, shell, keyboard, registry}; }
};

}  // namespace quillet::app::win32
