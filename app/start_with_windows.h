// Settings > Start with Windows: the value "Quillet" under the current
// user's Run key, holding the quoted path of the program file. Windows starts
// every program named there when the user logs on; the program then starts
// as its stored settings say (Run Minimized hides it in the tray).
#pragma once

#include <string>
#include <string_view>

#include "os/registry_api.h"

namespace quillet::app {

inline constexpr std::wstring_view kRunKeyPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::wstring_view kRunValueName = L"Quillet";

// The program a Run value starts: the text inside its leading quotes, or
// the whole value; surrounding blanks go.
std::wstring RunValueProgram(std::wstring_view value);
// File paths compare as Windows compares them: letter case ignored.
bool SamePath(std::wstring_view a, std::wstring_view b);

class StartWithWindows {
 public:
  // program: the full path of the running program file.
  StartWithWindows(os::RegistryApi& registry, std::wstring program);

  // True when the current user's value names this program. A missing or
  // unreadable value counts as false: the tick then offers to write it.
  bool Enabled() const;
  // Writes the quoted path, or removes the value when it names this
  // program (a value naming another copy is left alone). A refused write
  // or removal raises an Exception naming the key.
  void Set(bool on);
  // Flips Enabled and returns the new state.
  bool Toggle();

 private:
  os::RegistryApi& registry_;
  std::wstring program_;
};

}  // namespace quillet::app
