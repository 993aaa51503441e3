// The window-object binding lives in os/win32/helpers/window_object.h; this
// name stays for the single-instance windows until they include it there.
#pragma once

#include "os/win32/helpers/window_object.h"

namespace quillet::app::win32 {

using os::win32::WindowObject;

}  // namespace quillet::app::win32
