// TAppInstances: the single-instance guard of the main window. Creating it
// registers this process with the copies of the same program file; Check
// decides whether this copy may run. A rejected copy has brought the first
// copy forward, sent it its command line and unregistered when Check returns.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/single_instance_registry.h"
#include "app/win32/window_class_registration.h"

namespace quillet::app::win32 {

class TAppInstances {
 public:
  using InstanceEvent = std::function<void(TAppInstances& sender, std::uint32_t process_id)>;
  using CmdLineEvent =
      std::function<void(TAppInstances& sender, const std::vector<std::wstring>& parameters)>;
  using DataEvent =
      std::function<void(TAppInstances& sender, ULONG_PTR kind, const void* data, DWORD size)>;
  using NotifyEvent = std::function<void(TAppInstances& sender)>;

  explicit TAppInstances(HINSTANCE instance);
  TAppInstances(const TAppInstances&) = delete;
  TAppInstances& operator=(const TAppInstances&) = delete;
  ~TAppInstances();

  enum class CheckResult { Run, Rejected };
  // Run when this copy may go on (also with an inactive guard).
  CheckResult Check();

  HWND Handle() const { return FHandle; }
  bool Active() const { return FActive; }
  // What this guard answers when another copy asks whether it is active.
  void SetActive(bool active) { FActive = active; }

  InstanceEvent FOnInstanceCreated;
  InstanceEvent FOnInstanceDestroyed;
  DataEvent FOnDataAvailable;
  CmdLineEvent FOnCmdLineReceived;
  NotifyEvent FOnRejected;
  bool FAutoActivate = true;
  int FMaxInstances = 1;
  bool FSendCmdLine = true;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT& data);
  void QueryOthers();

  WindowClassRegistration window_class_;
  HWND FHandle = nullptr;
  bool FActive = true;
  std::shared_ptr<TAppInstanceRegistry> FAppInstances;
};

// What the running copy does when another copy starts: bring a minimised or
// hidden main window back, then put its last active popup (the window itself
// or a modal dialog in front of it) in the foreground.
void RestoreApplication(HWND main_window);
void BringApplicationToFront(HWND main_window);

}  // namespace quillet::app::win32
