// The portable half of the settings lists: which port property a list
// stands for, the entries it holds, the value chosen in it, and how that
// value is read from and written to the bound port. The Win32 combo box
// (win32/com_combo_box.h) shows the list and forwards the user's choice.
#pragma once

#include <string>
#include <vector>

#include "os/registry_api.h"
#include "serial/com_types.h"

namespace quillet::serial {

class TCustomComPort;

enum class TComProperty {
  cpNone,
  cpPort,
  cpBaudRate,
  cpDataBits,
  cpStopBits,
  cpParity,
  cpFlowControl
};

// A list's entries as TComSelect fills them; the combo box implements it.
class TComStrings {
 public:
  virtual ~TComStrings() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::wstring& text) = 0;
  virtual int Count() const = 0;
  virtual std::wstring Strings(int index) const = 0;
};

// The serial ports the machine has registered (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM:
// each value's data is a port name), in ComPortNameLess order;
// empty when the map cannot be opened.
std::vector<std::wstring> RegisteredComPorts(os::RegistryApi& registry);
// Text order ignoring letter case, then by code unit: COM1, COM10, COM2.
// For names of letters and digits, which is what drivers register, it is
// the order of the user's locale as well.
bool ComPortNameLess(const std::wstring& a, const std::wstring& b);

class TComSelect {
 public:
  // Items: the list it fills (not owned); registry: where port names come from.
  TComSelect(TComStrings& Items, os::RegistryApi& registry) : FItems(Items), FRegistry(registry) {}

  TComProperty ComProperty() const { return FComProperty; }
  // Stores the property and fills the list with its entries (none for cpNone).
  void SetComProperty(TComProperty value);
  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* value) { FComPort = value; }
  bool AutoApply() const { return FAutoApply; }
  void SetAutoApply(bool value) { FAutoApply = value; }

  // Each empties the list and adds every entry of its property.
  void SelectPort();
  void SelectBaudRate();
  void SelectDataBits();
  void SelectStopBits();
  void SelectParity();
  void SelectFlowControl();

  // The user picked Text: hold its value, and apply it when AutoApply is set.
  void Change(const std::wstring& Text);
  // With a bound port, holds the port's current value and sets ItemIndex to
  // its entry; -1 when the list has none. A port name that is not listed is
  // not held: a later ApplySettings then keeps the port's name. Without a
  // port nothing changes.
  void UpdateSettings(int& ItemIndex);
  // Writes the held value to the bound port through its setter; an empty
  // port name (none chosen) is never written.
  void ApplySettings();

  const std::wstring& Port() const { return FPort; }
  TBaudRate BaudRate() const { return FBaudRate; }
  TDataBits DataBits() const { return FDataBits; }
  TStopBits StopBits() const { return FStopBits; }
  TParityBits Parity() const { return FParity; }
  TFlowControl FlowControl() const { return FFlowControl; }

 private:
  // The text of the bound port's current value for the property.
  std::wstring CurrentText() const;
  void Hold(const std::wstring& text);
  void Fill(const std::vector<std::wstring>& entries);

  std::wstring FPort;
  TBaudRate FBaudRate = TBaudRate::brCustom;
  TDataBits FDataBits = TDataBits::dbFive;
  TStopBits FStopBits = TStopBits::sbOneStopBit;
  TParityBits FParity = TParityBits::prNone;
  TFlowControl FFlowControl = TFlowControl::fcHardware;
  TComStrings& FItems;
  os::RegistryApi& FRegistry;
  TComProperty FComProperty = TComProperty::cpNone;
  TCustomComPort* FComPort = nullptr;
  bool FAutoApply = false;
};

}  // namespace quillet::serial
