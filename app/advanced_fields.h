// The main window's copies of the advanced settings. Load and save of the
// advanced-settings dialog fill them; nothing reads them yet, and the typing
// path ignores them on purpose: received text is typed unchanged.
#pragma once

#include <string>

namespace quillet::app {

struct AdvancedFields {
  std::wstring FSufiks;
  std::wstring FPrefiks;
  bool FIncSufiks = false;
  bool FIncPrefiks = false;
  bool FEnter = false;
  bool FLF = false;
  int FOd = 0;
  int FDo = 0;
};

}  // namespace quillet::app
