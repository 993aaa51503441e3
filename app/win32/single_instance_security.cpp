#include "app/win32/single_instance_security.h"

#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {
namespace {

os::win32::UniqueKernelHandle CurrentToken() {
  HANDLE token = nullptr;
  // A thread that impersonates speaks for that user; otherwise the process.
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) ||
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return os::win32::UniqueKernelHandle(token);
  }
  return {};
}

}  // namespace

WorldAccess::WorldAccess() {
  ready_ = Build();
}

WorldAccess::~WorldAccess() {
  if (world_ != nullptr) FreeSid(world_);
}

bool WorldAccess::Build() {
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                &world_)) {
    world_ = nullptr;
    return false;
  }
  const DWORD acl_size =
      sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(world_);
  acl_.resize(acl_size);
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  if (!InitializeAcl(acl, acl_size, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, world_)) {
    return false;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
    return false;
  }
  // Owner and group: the current user, when the token tells it.
  if (const os::win32::UniqueKernelHandle token = CurrentToken()) {
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size > 0) {
      token_user_.resize(size);
      if (GetTokenInformation(token.get(), TokenUser, token_user_.data(), size, &size)) {
        const PSID user = reinterpret_cast<TOKEN_USER*>(token_user_.data())->User.Sid;
        SetSecurityDescriptorOwner(&descriptor_, user, FALSE);
        SetSecurityDescriptorGroup(&descriptor_, user, FALSE);
      }
    }
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return true;
}

}  // namespace quillet::app::win32
