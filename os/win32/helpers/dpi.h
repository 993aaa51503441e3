// The screen's dots per inch, for sizes laid out at 96.
#pragma once

namespace quillet::os::win32 {

// LOGPIXELSY of the screen; 96 when the screen's DC cannot be had or gives
// no figure.
int ScreenDpi();

}  // namespace quillet::os::win32
