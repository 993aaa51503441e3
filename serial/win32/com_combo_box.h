// A drop-down list (no free text) bound to one property of one port. It
// shows the values the property can take and the port's current one, and
// writes the chosen value to the port when asked; TComSelect decides, this
// class only moves texts between it and the control.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "os/registry_api.h"
#include "serial/com_select.h"

namespace quillet::serial {

class TCustomComPort;

class TComComboBox final : private TComStrings {
 public:
  // Creates the control as child `id` of parent at (left, top), width pixels
  // wide, with a drop-down of dropHeight pixels.
  TComComboBox(HWND parent, int id, int left, int top, int width, int dropHeight,
               os::RegistryApi& registry);
  ~TComComboBox() override;
  TComComboBox(const TComComboBox&) = delete;
  TComComboBox& operator=(const TComComboBox&) = delete;

  HWND Handle() const { return FHandle; }

  TCustomComPort* ComPort() const { return FComSelect.ComPort(); }
  // Binds to value (asking to be told of its end) and shows its value;
  // nullptr unbinds.
  void SetComPort(TCustomComPort* value);
  TComProperty ComProperty() const { return FComSelect.ComProperty(); }
  // Refills the list and selects the port's value (the first entry unbound).
  void SetComProperty(TComProperty value);
  bool AutoApply() const { return FComSelect.AutoApply(); }
  void SetAutoApply(bool value) { FComSelect.SetAutoApply(value); }
  // The selected entry, or empty; setting selects the entry equal to it
  // ignoring case, and nothing changes when there is none.
  std::wstring Text() const;
  void SetText(const std::wstring& value);

  void ApplySettings() { FComSelect.ApplySettings(); }
  void UpdateSettings();

  // The parent forwards its WM_COMMAND notifications for this control.
  void HandleCommand(WORD code);
  // Raised after the user picked an entry (and it was applied with AutoApply).
  void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }

 private:
  // The list as TComSelect fills it.
  void Clear() override;
  void Add(const std::wstring& text) override;
  int Count() const override;
  std::wstring Strings(int index) const override;

  void PortDestroyed();

  HWND FHandle = nullptr;
  TComSelect FComSelect;
  std::function<void()> FOnChange;
};

}  // namespace quillet::serial
