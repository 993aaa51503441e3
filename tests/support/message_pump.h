// Runs the calling thread's messages until a condition holds: the thread of a
// test or benchmark that hosts the real main window is its user-interface
// thread, so deliveries, timers and the window's messages run in here.
#pragma once

#include <windows.h>

#include <functional>

namespace quillet::testsupport {

// False when `done` still does not hold after `deadline_ms`. Between looks it
// sleeps until a message comes or `poll_ms` pass.
inline bool PumpUntil(const std::function<bool()>& done, DWORD deadline_ms = 20000,
                      DWORD poll_ms = 20) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= deadline_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, poll_ms, QS_ALLINPUT);
  }
}

}  // namespace quillet::testsupport
