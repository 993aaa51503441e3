// The port settings dialog: six lists (port name, bit rate, data bits, stop
// bits, parity, flow control) and OK/Cancel. It runs modally over its owner
// window; ShowSetupDialog binds it to a port.
#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "os/registry_api.h"
#include "os/win32/helpers/unique_handle.h"
#include "serial/win32/com_combo_box.h"

namespace quillet::serial {

// The controls' ids: Combo1 ... Combo6 are kComSetupComboId + 0 ... + 5.
inline constexpr int kComSetupComboId = 1001;
inline constexpr int kComSetupOkId = IDOK;
// Not IDCANCEL: Escape sends that, and no button answers Escape.
inline constexpr int kComSetupCancelId = 1008;

enum class TModalResult { mrNone, mrOk, mrCancel };

class TComSetupFrm {
 public:
  // Creates the dialog hidden, its lists filled (the port list read afresh).
  TComSetupFrm(HWND owner, os::RegistryApi& registry);
  ~TComSetupFrm();
  TComSetupFrm(const TComSetupFrm&) = delete;
  TComSetupFrm& operator=(const TComSetupFrm&) = delete;

  HWND Handle() const { return FHandle; }
  // Index 0 is Combo1 (the port name) ... 5 Combo6 (flow control).
  TComComboBox& Combo(int index) { return *FCombos.at(static_cast<std::size_t>(index)); }

  // Shows the dialog, the owner disabled meanwhile, until OK, Cancel or the
  // title bar's close button (Cancel) ends it; hidden again afterwards.
  TModalResult ShowModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls(os::RegistryApi& registry);

  HWND FOwner;
  HWND FHandle = nullptr;
  os::win32::UniqueFont FFont;
  std::array<std::unique_ptr<TComComboBox>, 6> FCombos;
  TModalResult FModalResult = TModalResult::mrNone;
};

// Shows the dialog for port, owned by the window owner, its port list read
// from registry (the caller's: the system's registry in the program);
// OK applies the choices in one update, and the first error of applying them
// reaches the caller once the update has ended.
void ShowSetupDialog(TCustomComPort& port, HWND owner, os::RegistryApi& registry);

}  // namespace quillet::serial
