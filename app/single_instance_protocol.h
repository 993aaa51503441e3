// What the copies of the program agree on to find and talk to each other:
// the names of their shared objects, the window classes, the codes of their
// registered message and the text of the command-line transfer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

inline constexpr std::wstring_view kApplicationWindowClass = L"TApplication";
inline constexpr std::wstring_view kInstancesWindowClass = L"AppInstances_WindowClass";

// The maximum the first registration writes into a new block.
inline constexpr unsigned kRegistryMaximum = 65535;

// Word parameter of the registered message.
enum InstanceCode : unsigned {
  kInstanceCreated = 1,    // value: the new copy's process ID
  kInstanceDestroyed = 2,  // value: the leaving copy's process ID
  kInstanceQuery = 4,      // value: the asking guard's window
  kInstanceAnswer = 5,     // value: 1 when the answering guard is active
};

// COPYDATASTRUCT::dwData of the command-line transfer.
inline constexpr unsigned kCopyDataCommandLine = 1;

// "App" + the program file's path, which the caller has upper-cased with the
// system's own rules, every backslash an underscore (object names may not
// hold one).
std::wstring InstanceIdentifier(std::wstring_view upper_case_path);
inline std::wstring MessageName(const std::wstring& id) {
  return id + L"_Msg";
}
inline std::wstring LockName(const std::wstring& id) {
  return id + L"_Otx";
}
inline std::wstring ListName(const std::wstring& id) {
  return id + L"_All";
}

// Each parameter followed by CR LF.
std::wstring CommandLineTransferText(const std::vector<std::wstring>& parameters);

}  // namespace quillet::app
