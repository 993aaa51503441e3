// Security attributes for the copies' shared block and lock: every user
// (the world SID) gets full access; owner and group are the current user.
// Without them a copy started by another account could not open the objects.
#pragma once

#include <windows.h>

#include <vector>

namespace quillet::app::win32 {

class WorldAccess {
 public:
  WorldAccess();
  WorldAccess(const WorldAccess&) = delete;
  WorldAccess& operator=(const WorldAccess&) = delete;
  ~WorldAccess();

  // nullptr (the default security) when the descriptor could not be built.
  SECURITY_ATTRIBUTES* Attributes() { return ready_ ? &attributes_ : nullptr; }

 private:
  bool Build();

  PSID world_ = nullptr;
  std::vector<BYTE> token_user_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

}  // namespace quillet::app::win32
