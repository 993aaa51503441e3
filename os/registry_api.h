// The registry half of the platform seam: the advapi32 calls that read the
// machine's serial-port map, keep a port's settings in the registry form of
// its storage and keep the user's start-with-Windows entry. Results are
// Windows error numbers (ERROR_SUCCESS is 0).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "os/win_types.h"

namespace quillet::os {

// An open key, carried as a number like the other handles of the seam.
using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey kHkeyCurrentUser = 0x80000001u;
inline constexpr RegistryKey kHkeyLocalMachine = 0x80000002u;

inline constexpr Dword kKeyRead = 0x20019;
inline constexpr Dword kKeyWrite = 0x20006;
inline constexpr Dword kKeyAllAccess = 0xF003F;
inline constexpr Dword kRegOptionNonVolatile = 0;

inline constexpr Dword kRegSz = 1;
inline constexpr Dword kRegDword = 4;

inline constexpr Dword kErrorMoreData = 234;
inline constexpr Dword kErrorNoMoreItems = 259;

// What RegQueryValueExW and RegEnumValueW hand back: the value's type and
// its bytes (for REG_SZ: UTF-16 LE code units, with the terminating null
// when the writer stored one).
struct RegistryValue {
  Dword error = kErrorSuccess;
  Dword type = 0;
  std::vector<Byte> data;
};

struct RegistryEnumValue {
  Dword error = kErrorSuccess;
  std::wstring name;
  Dword type = 0;
  std::vector<Byte> data;
};

struct RegistryOpenResult {
  Dword error = kErrorSuccess;
  RegistryKey key = 0;
};

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  virtual RegistryOpenResult RegOpenKeyExW(RegistryKey parent, const std::wstring& subKey,
                                           Dword access) = 0;
  virtual RegistryOpenResult RegCreateKeyExW(RegistryKey parent, const std::wstring& subKey,
                                             Dword options, Dword access) = 0;
  virtual Dword RegCloseKey(RegistryKey key) = 0;
  virtual Dword RegSetValueExW(RegistryKey key, const std::wstring& name, Dword type,
                               const std::vector<Byte>& data) = 0;
  // dataRoom: the bytes the caller's buffer holds; a longer value gives
  // ERROR_MORE_DATA and no data.
  virtual RegistryValue RegQueryValueExW(RegistryKey key, const std::wstring& name,
                                         Dword dataRoom) = 0;
  // nameRoom: characters for the name with its null; dataRoom as above.
  virtual RegistryEnumValue RegEnumValueW(RegistryKey key, Dword index, Dword nameRoom,
                                          Dword dataRoom) = 0;
  // ERROR_FILE_NOT_FOUND when the key has no such value.
  virtual Dword RegDeleteValueW(RegistryKey key, const std::wstring& name) = 0;
};

// An open key that closes itself; move-only.
class RegKey {
 public:
  RegKey() = default;
  RegKey(RegistryApi& api, RegistryKey key) : api_(&api), key_(key) {}
  RegKey(RegKey&& other) noexcept : api_(other.api_), key_(std::exchange(other.key_, 0)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Reset();
      api_ = other.api_;
      key_ = std::exchange(other.key_, 0);
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Reset(); }

  explicit operator bool() const { return key_ != 0; }
  RegistryKey Get() const { return key_; }
  void Reset() {
    if (key_ != 0 && api_ != nullptr) api_->RegCloseKey(key_);
    key_ = 0;
  }

 private:
  RegistryApi* api_ = nullptr;
  RegistryKey key_ = 0;
};

// REG_SZ data from a text: UTF-16 LE with its terminating null.
std::vector<Byte> RegistryStringData(const std::wstring& text);
// The text of REG_SZ data: up to the first null, or all of it.
std::wstring RegistryStringText(const std::vector<Byte>& data);

}  // namespace quillet::os
