#include "app/win32/single_instance_registry.h"

#include <shellapi.h>

#include <algorithm>

#include "app/single_instance_protocol.h"
#include "app/win32/single_instance_security.h"
#include "os/win32/helpers/program_file.h"

namespace quillet::app::win32 {
namespace {

// Taking the lock has no limit of its own; a copy that hangs while holding it
// must not hang every later start, so the guard gives up and stays inactive.
constexpr DWORD kLockTimeoutMs = 10000;

std::weak_ptr<TAppInstanceRegistry>& ProcessRegistry() {
  static std::weak_ptr<TAppInstanceRegistry> registry;
  return registry;
}

std::wstring UpperCase(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The volume serial number and file index: the same for every path that
// reaches the file (a subst or network drive, a junction, a short name).
std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  // No access rights are needed to read the identity; every sharing mode
  // leaves the running program file alone.
  const os::win32::UniqueFileHandle file(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// An entry left by a copy that died without unregistering, or whose process
// ID now belongs to another program, must not reject a new start. Only what
// is known to be gone is removed: a process we may not query counts as ours.
bool IsStaleEntry(DWORD process_id, DWORD self, const ProgramFile& program) {
  if (process_id == self) return true;  // an earlier process that had our ID
  os::win32::UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  DWORD exit_code = 0;
  if (GetExitCodeProcess(process.get(), &exit_code) && exit_code != STILL_ACTIVE) return true;
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return false;
  image.resize(size);
  return !program.Is(image);
}

struct FindApplication {
  DWORD process_id;
  HWND found;
};

// Enumeration callbacks run inside the system: they must not throw.
BOOL CALLBACK FindApplicationProc(HWND window, LPARAM param) noexcept {
  auto* find = reinterpret_cast<FindApplication*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != find->process_id) return TRUE;
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (kApplicationWindowClass != name) return TRUE;
  find->found = window;
  return FALSE;
}

BOOL CALLBACK CollectWindowProc(HWND window, LPARAM param) noexcept {
  try {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
  } catch (...) {
    return FALSE;  // out of memory: the windows found so far
  }
}

std::vector<HWND> ThreadWindows(DWORD thread_id) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread_id, CollectWindowProc, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindowProc, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

LRESULT SendWaiting(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                      kInstanceSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::vector<std::wstring> CommandLineParameters() {
  std::vector<std::wstring> parameters;
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return parameters;
  for (int i = 1; i < count; ++i) parameters.emplace_back(args[i]);
  LocalFree(args);
  return parameters;
}

}  // namespace

ProgramFile::ProgramFile(std::wstring path)
    : path_(std::move(path)), identity_(IdentityOf(path_)) {}

bool ProgramFile::Is(const std::wstring& other) const {
  if (identity_) {
    if (const auto identity = IdentityOf(other)) return *identity == *identity_;
  }
  return SamePath(path_, other);
}

std::wstring InstanceIdentifierFor(const std::wstring& path) {
  return InstanceIdentifier(UpperCase(path));
}

HWND FindApplicationWindow(DWORD process_id) {
  FindApplication find{process_id, nullptr};
  EnumWindows(FindApplicationProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

void SendToThreadWindows(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wait) {
  const DWORD thread_id = GetWindowThreadProcessId(window, nullptr);
  if (thread_id == 0) return;
  for (HWND target : ThreadWindows(thread_id)) {
    if (wait) {
      SendWaiting(target, message, wparam, lparam);
    } else {
      SendNotifyMessageW(target, message, wparam, lparam);
    }
  }
}

void BringAppWindowToFront(HWND window) {
  if (IsIconic(window)) SendWaiting(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  const HWND foreground = GetForegroundWindow();
  if (foreground == window) return;
  DWORD target_process = 0;
  const DWORD target_thread = GetWindowThreadProcessId(window, &target_process);
  // Lets the other copy pass the foreground on to its own windows.
  AllowSetForegroundWindow(target_process);
  const DWORD foreground_thread =
      foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  if (foreground_thread != 0 && foreground_thread != GetCurrentThreadId() &&
      foreground_thread != target_thread) {
    const BOOL attached = AttachThreadInput(foreground_thread, target_thread, TRUE);
    SetForegroundWindow(window);
    if (attached) {
      AttachThreadInput(foreground_thread, target_thread, FALSE);
      SetForegroundWindow(window);
    }
  } else {
    SetForegroundWindow(window);
  }
}

class TAppInstanceRegistry::Hold {
 public:
  explicit Hold(HANDLE mutex) : mutex_(mutex) {
    const DWORD result = WaitForSingleObject(mutex_, kLockTimeoutMs);
    // WAIT_ABANDONED: a copy died holding the lock; we own it now, and the
    // list is checked for its stale entry before anyone relies on it.
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  ~Hold() {
    if (held_) ReleaseMutex(mutex_);
  }
  bool Held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

std::shared_ptr<TAppInstanceRegistry> TAppInstanceRegistry::Acquire() {
  if (auto existing = ProcessRegistry().lock()) return existing;
  std::shared_ptr<TAppInstanceRegistry> registry(new TAppInstanceRegistry());
  if (!registry->Open()) return nullptr;
  ProcessRegistry() = registry;
  if (registry->registration_ != Registration::Full) {
    registry->NotifyInstances(kInstanceCreated, static_cast<LPARAM>(registry->FCPID));
  }
  return registry;
}

bool TAppInstanceRegistry::Open() {
  FCPID = GetCurrentProcessId();
  const std::wstring path = os::win32::ProgramFilePath();
  if (path.empty()) return false;
  program_file_.emplace(path);
  FUniqueAppID = InstanceIdentifierFor(path);
  FMessageID = RegisterWindowMessageW(MessageName(FUniqueAppID).c_str());
  if (FMessageID == 0) return false;
  WorldAccess access;
  FOptex.reset(CreateMutexW(access.Attributes(), FALSE, LockName(FUniqueAppID).c_str()));
  if (!FOptex) return false;
  // One wait for the lock at start-up: when it times out the copy is not
  // registered and starts normally, with the guard inactive.
  const Hold hold(FOptex.get());
  if (!hold.Held()) return false;
  // A new paging-file section is zero-filled by the system.
  mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, access.Attributes(), PAGE_READWRITE, 0,
                                    static_cast<DWORD>(kInstanceBlockSize),
                                    ListName(FUniqueAppID).c_str()));
  if (!mapping_) return false;
  view_.reset(
      MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
  if (!view_) return false;
  registration_ = CheckInstance(static_cast<std::uint16_t>(kRegistryMaximum));
  return true;
}

Registration TAppInstanceRegistry::CheckInstance(std::uint16_t max_instances) {
  InstanceList list = List();
  list.RemoveIf([this](std::uint32_t id) { return IsStaleEntry(id, FCPID, *program_file_); });
  return list.Register(FCPID, max_instances);
}

TAppInstanceRegistry::~TAppInstanceRegistry() {
  // Not in the list: nothing to remove, and no second wait for a held lock.
  if (registration_ == Registration::Full) return;
  bool removed = false;
  {
    const Hold hold(FOptex.get());
    if (hold.Held()) {
      InstanceList list = List();
      removed = list.Remove(FCPID);
    }
  }
  if (removed) NotifyInstances(kInstanceDestroyed, static_cast<LPARAM>(FCPID));
}

int TAppInstanceRegistry::GetAllInstanceIndex(DWORD process_id) {
  const Hold hold(FOptex.get());
  if (!hold.Held()) return -1;
  return List().IndexOf(process_id);
}

int TAppInstanceRegistry::InstanceCount() {
  const Hold hold(FOptex.get());
  if (!hold.Held()) return 0;
  return List().Count();
}

DWORD TAppInstanceRegistry::InstanceProcessId(int index) {
  const Hold hold(FOptex.get());
  if (!hold.Held()) return 0;
  return List().ProcessId(index);
}

std::vector<DWORD> TAppInstanceRegistry::Instances() {
  std::vector<DWORD> ids;
  const Hold hold(FOptex.get());
  if (!hold.Held()) return ids;
  const InstanceList list = List();
  for (int i = 0; i < list.Count(); ++i) ids.push_back(list.ProcessId(i));
  return ids;
}

void TAppInstanceRegistry::SwitchTo(int index) {
  const DWORD process_id = InstanceProcessId(index);
  if (process_id == 0) return;
  if (HWND window = FindApplicationWindow(process_id)) BringAppWindowToFront(window);
}

void TAppInstanceRegistry::SendCmdLineParams(std::wstring_view window_class_name, HWND originator) {
  const std::wstring text = CommandLineTransferText(CommandLineParameters());
  COPYDATASTRUCT data{};
  data.dwData = kCopyDataCommandLine;
  data.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  data.lpData = data.cbData > 0 ? const_cast<wchar_t*>(text.data()) : nullptr;
  const std::vector<DWORD> ids = Instances();
  for (HWND window : TopLevelWindows()) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (window_class_name != name) continue;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (std::find(ids.begin(), ids.end(), owner) == ids.end()) continue;
    SendWaiting(window, WM_COPYDATA, reinterpret_cast<WPARAM>(originator),
                reinterpret_cast<LPARAM>(&data));
  }
}

void TAppInstanceRegistry::NotifyInstances(WPARAM code, LPARAM value) {
  const Hold hold(FOptex.get());
  if (!hold.Held()) return;
  const InstanceList list = List();
  for (int i = 0; i < list.Count(); ++i) {
    if (HWND window = FindApplicationWindow(list.ProcessId(i)))
      SendToThreadWindows(window, FMessageID, code, value, false);
  }
}

}  // namespace quillet::app::win32
