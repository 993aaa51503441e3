// The port's settings storage (com_port_store.cpp): the services it goes
// through, the two places it writes to (an INI file section or a registry
// key), and the destruction notice that objects bound to a port listen to.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "os/profile_api.h"
#include "os/registry_api.h"
#include "serial/com_port.h"

namespace quillet::serial {

using TStoreType = TCustomComPort::TStoreType;

// The owner keeps one for its ports and hands it to each (SetStorageApis)
// for as long as they live.
class TComStorageApis {
 public:
  TComStorageApis(os::ProfileApi& profile, os::RegistryApi& registry)
      : Profile(profile), Registry(registry) {}
  os::ProfileApi& Profile;
  os::RegistryApi& Registry;
};

// The INI file a port stores into; its section is the port's name.
class TComIniFile : public config::TIniFile {
 public:
  using TIniFile::TIniFile;
};

// The registry key of the registry form, open for the length of one store
// or load. Texts are REG_SZ values, integers REG_DWORD; a missing value reads
// as the default. Every failure throws quillet::Exception.
class TComRegistry {
 public:
  // Opens root\path, creating it (and its parents) when create is set;
  // without create a missing key reads as empty.
  TComRegistry(os::RegistryApi& api, os::RegistryKey root, const std::wstring& path, bool create);

  void WriteString(const std::wstring& name, const std::wstring& value);
  void WriteInteger(const std::wstring& name, int value);
  std::wstring ReadString(const std::wstring& name, const std::wstring& def);
  int ReadInteger(const std::wstring& name, int def);

 private:
  os::RegistryApi& api_;
  os::RegKey key_;
};

// The root and key of the registry form for a port named name: the target
// is split at its first '\'; "HKEY_LOCAL_MACHINE" (any case) selects the
// local machine, anything else the current user; the rest gets a trailing
// '\' and the name. A target without '\' is a root alone.
struct TComRegistryPath {
  os::RegistryKey root;
  std::wstring key;
};
TComRegistryPath RegistryPathFor(const std::wstring& target, const std::wstring& name);

// Calls its listeners, with the port, when the port destroys it.
class TComFreeNotifier {
 public:
  using THandler = std::function<void(TCustomComPort* Port)>;

  explicit TComFreeNotifier(TCustomComPort* port) : port_(port) {}
  TComFreeNotifier(const TComFreeNotifier&) = delete;
  TComFreeNotifier& operator=(const TComFreeNotifier&) = delete;
  ~TComFreeNotifier();

  // One handler per listener; adding again replaces it.
  void Add(const void* listener, THandler handler);
  void Remove(const void* listener);

 private:
  TCustomComPort* port_;
  std::vector<std::pair<const void*, THandler>> listeners_;
};

}  // namespace quillet::serial
