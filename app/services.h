// The platform seam the application reaches through: one bundle of
// references, so the real window can run on the Win32 implementations in the
// program and on the os/sim doubles in tests.
#pragma once

namespace quillet::os {
class SerialApi;
class ProfileApi;
class ShellApi;
class KeyboardApi;
class RegistryApi;
}  // namespace quillet::os

namespace quillet::app {

struct Services {
  os::SerialApi& serial;
  os::ProfileApi& profile;
  os::ShellApi& shell;
  os::KeyboardApi& keyboard;
  os::RegistryApi& registry;
};

}  // namespace quillet::app
