// The main window's copies of the advanced settings: the common ones of
// section [Napredna] and, for a row whose own section [NapredanN] exists,
// that row's. Load and save of the advanced-settings dialog fill them; every
// complete scan is shaped by the settings of its row.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace quillet::app {

inline constexpr int kCharDelayMax = 1000;

struct AdvancedFields {
  std::wstring FSufiks;
  std::wstring FPrefiks;
  bool FIncSufiks = false;
  bool FIncPrefiks = false;
  bool FEnter = false;
  bool FLF = false;
  int FOd = 0;
  int FDo = 0;
  // Milliseconds between the characters and keys of a scan, 0..1000.
  int CharDelay = 0;

  // True when a setting changes what is typed or how; the texts alone do
  // nothing while their boxes are clear.
  bool AnyOn() const {
    return FIncSufiks || FIncPrefiks || FEnter || FLF || FOd != 0 || FDo != 0 || CharDelay != 0;
  }
  friend bool operator==(const AdvancedFields&, const AdvancedFields&) = default;
};

// Which settings each row uses: a row with its own section uses that section
// as a whole, every other row the common settings.
struct AdvancedSettings {
  AdvancedFields common;
  std::array<std::optional<AdvancedFields>, 8> own;  // rows 1..8

  const AdvancedFields& For(int row) const {
    if (row >= 1 && row <= 8 && own[static_cast<std::size_t>(row - 1)])
      return *own[static_cast<std::size_t>(row - 1)];
    return common;
  }
  // A row with its own settings frames its scans like any port with an
  // advanced setting on.
  bool AnyOn() const {
    if (common.AnyOn()) return true;
    for (const auto& row : own)
      if (row) return true;
    return false;
  }
  // How the dialog names a row ("skener2 (COM8)"); the main window sets it.
  std::function<std::wstring(int row)> rowCaption;
};

}  // namespace quillet::app
