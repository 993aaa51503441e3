// TAppInstanceRegistry: one per process. It registers the process in the
// list that all copies of the same program file share (named shared block,
// named lock), finds the other copies' windows and talks to them through the
// registered message; destroying it unregisters the process.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/single_instance_list.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

// Every waiting send to another copy gives up after this; a silent copy then
// counts as active.
inline constexpr UINT kInstanceSendTimeoutMs = 5000;

// The identifier built from the program file's full path.
std::wstring InstanceIdentifierFor(const std::wstring& path);

// A program file's volume serial number and file index.
using FileIdentity = std::array<DWORD, 3>;

// A copy's program file, told apart by what the file is, not by the path that
// reached it: a subst or network drive or a junction gives the same file
// another path.
class ProgramFile {
 public:
  explicit ProgramFile(std::wstring path);
  const std::wstring& Path() const { return path_; }
  // The same file by identity; by the path (ignoring case) only when either
  // file cannot be opened.
  bool Is(const std::wstring& path) const;

 private:
  std::wstring path_;
  std::optional<FileIdentity> identity_;
};

// The first top-level window of class "TApplication" of the process.
HWND FindApplicationWindow(DWORD process_id);
// Sends to every top-level window of the thread that owns the window:
// waiting (with the time limit) or not waiting at all.
void SendToThreadWindows(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wait);
// Restores a minimised window and makes it the foreground window.
void BringAppWindowToFront(HWND window);

class TAppInstanceRegistry {
 public:
  // The process's registry, created and registered on first use; nullptr
  // when the shared objects cannot be created (the guard is then inactive).
  static std::shared_ptr<TAppInstanceRegistry> Acquire();

  TAppInstanceRegistry(const TAppInstanceRegistry&) = delete;
  TAppInstanceRegistry& operator=(const TAppInstanceRegistry&) = delete;
  ~TAppInstanceRegistry();

  DWORD ProcessId() const { return FCPID; }
  UINT MessageId() const { return FMessageID; }
  const std::wstring& UniqueAppID() const { return FUniqueAppID; }
  Registration LastRegistration() const { return registration_; }

  int GetAllInstanceIndex(DWORD process_id);
  int InstanceCount();
  DWORD InstanceProcessId(int index);
  // The list as it is now, taken under the lock.
  std::vector<DWORD> Instances();

  void SwitchTo(int index);
  void SendCmdLineParams(std::wstring_view window_class_name, HWND originator);
  void NotifyInstances(WPARAM code, LPARAM value);

 private:
  TAppInstanceRegistry() = default;
  bool Open();
  // Under the lock, held by Open.
  Registration CheckInstance(std::uint16_t max_instances);
  InstanceList List() const {
    return InstanceList(InstanceBlock(static_cast<std::uint8_t*>(view_.get()), kInstanceBlockSize));
  }

  class Hold;  // the shared lock for one scope

  DWORD FCPID = 0;
  UINT FMessageID = 0;
  std::wstring FUniqueAppID;
  std::optional<ProgramFile> program_file_;
  os::win32::UniqueKernelHandle FOptex;  // named mutex
  os::win32::UniqueKernelHandle mapping_;
  os::win32::UniqueMappedView view_;
  Registration registration_ = Registration::Full;
};

}  // namespace quillet::app::win32
