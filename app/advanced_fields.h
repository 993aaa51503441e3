// The main window's copies of the advanced settings. Load and save of the
// advanced-settings dialog fill them; every complete scan is shaped by them
// (ShapeScan) when it is typed.
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

  // True when a setting changes what is typed; the texts alone do nothing
  // while their boxes are clear.
  bool AnyOn() const { return FIncSufiks || FIncPrefiks || FEnter || FLF || FOd != 0 || FDo != 0; }
};

}  // namespace quillet::app
