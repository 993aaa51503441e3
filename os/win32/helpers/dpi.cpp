#include "os/win32/helpers/dpi.h"

#include <windows.h>

#include "os/win32/helpers/device_context.h"

namespace quillet::os::win32 {

int ScreenDpi() {
  const ScreenDc screen;
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

}  // namespace quillet::os::win32
