#include "serial/com_select.h"

#include <algorithm>
#include <cwctype>

#include "serial/com_port.h"
#include "serial/com_setting_names.h"

namespace quillet::serial {

namespace {

const wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Room for a value's name (characters) and data (bytes).
constexpr os::Dword kNameRoom = 256;
constexpr os::Dword kDataRoom = 256;

wchar_t Folded(wchar_t ch) {
  return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(ch)));
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return Folded(x) == Folded(y); });
}

std::vector<std::wstring> Texts(const config::SettingNames& names) {
  return {names.texts.begin(), names.texts.end()};
}

}  // namespace

bool ComPortNameLess(const std::wstring& a, const std::wstring& b) {
  const auto folded =
      std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                   [](wchar_t x, wchar_t y) { return Folded(x) < Folded(y); });
  if (folded) return true;
  if (!SameText(a, b)) return false;
  return a < b;  // equal but for case: any fixed order
}

std::vector<std::wstring> RegisteredComPorts(os::RegistryApi& registry) {
  std::vector<std::wstring> names;
  const os::RegistryOpenResult opened =
      registry.RegOpenKeyExW(os::kHkeyLocalMachine, kSerialCommKey, os::kKeyRead);
  if (opened.error != os::kErrorSuccess) return names;
  const os::RegKey key(registry, opened.key);
  // Ends at the last value, or at the first that does not fit the room.
  for (os::Dword index = 0;; ++index) {
    const os::RegistryEnumValue value =
        registry.RegEnumValueW(key.Get(), index, kNameRoom, kDataRoom);
    if (value.error != os::kErrorSuccess) break;
    std::wstring name = os::RegistryStringText(value.data);
    // An empty name could never be opened, and choosing it would lose the port's.
    if (!name.empty()) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), ComPortNameLess);
  return names;
}

void TComSelect::SetComProperty(TComProperty value) {
  FComProperty = value;
  switch (value) {
    case TComProperty::cpNone:
      FItems.Clear();
      break;
    case TComProperty::cpPort:
      SelectPort();
      break;
    case TComProperty::cpBaudRate:
      SelectBaudRate();
      break;
    case TComProperty::cpDataBits:
      SelectDataBits();
      break;
    case TComProperty::cpStopBits:
      SelectStopBits();
      break;
    case TComProperty::cpParity:
      SelectParity();
      break;
    case TComProperty::cpFlowControl:
      SelectFlowControl();
      break;
  }
}

void TComSelect::Fill(const std::vector<std::wstring>& entries) {
  FItems.Clear();
  for (const std::wstring& entry : entries) FItems.Add(entry);
}

void TComSelect::SelectPort() {
  Fill(RegisteredComPorts(FRegistry));
}
void TComSelect::SelectBaudRate() {
  Fill(Texts(config::kBaudRateNames));
}
void TComSelect::SelectDataBits() {
  Fill(Texts(config::kDataBitsNames));
}
void TComSelect::SelectStopBits() {
  Fill(Texts(config::kStopBitsNames));
}
void TComSelect::SelectParity() {
  Fill(Texts(config::kParityNames));
}
void TComSelect::SelectFlowControl() {
  Fill(Texts(config::kFlowControlNames));
}

void TComSelect::Hold(const std::wstring& text) {
  switch (FComProperty) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      FPort = text;
      break;
    case TComProperty::cpBaudRate:
      FBaudRate = ParseSetting<TBaudRate>(config::kBaudRateNames, text);
      break;
    case TComProperty::cpDataBits:
      FDataBits = ParseSetting<TDataBits>(config::kDataBitsNames, text);
      break;
    case TComProperty::cpStopBits:
      FStopBits = ParseSetting<TStopBits>(config::kStopBitsNames, text);
      break;
    case TComProperty::cpParity:
      FParity = ParseSetting<TParityBits>(config::kParityNames, text);
      break;
    case TComProperty::cpFlowControl:
      FFlowControl = ParseSetting<TFlowControl>(config::kFlowControlNames, text);
      break;
  }
}

void TComSelect::Change(const std::wstring& Text) {
  Hold(Text);
  if (FAutoApply) ApplySettings();
}

std::wstring TComSelect::CurrentText() const {
  const TCustomComPort& port = *FComPort;
  switch (FComProperty) {
    case TComProperty::cpNone:
      return L"";
    case TComProperty::cpPort:
      return port.Port();
    case TComProperty::cpBaudRate:
      return SettingText(config::kBaudRateNames, port.BaudRate());
    case TComProperty::cpDataBits:
      return SettingText(config::kDataBitsNames, port.DataBits());
    case TComProperty::cpStopBits:
      return SettingText(config::kStopBitsNames, port.StopBits());
    case TComProperty::cpParity:
      return SettingText(config::kParityNames, port.Parity().Bits());
    case TComProperty::cpFlowControl:
      return SettingText(config::kFlowControlNames, port.FlowControl().FlowControl());
  }
  return L"";
}

void TComSelect::UpdateSettings(int& ItemIndex) {
  if (FComPort == nullptr) return;
  const std::wstring current = CurrentText();
  for (int i = 0; i < FItems.Count(); ++i) {
    const std::wstring entry = FItems.Strings(i);
    if (SameText(entry, current)) {
      Hold(entry);
      ItemIndex = i;
      return;
    }
  }
  ItemIndex = -1;
  // A port missing from the list (an adapter unplugged just now) must not
  // leave an older choice behind to be applied in its place.
  if (FComProperty == TComProperty::cpPort) FPort.clear();
}

void TComSelect::ApplySettings() {
  if (FComPort == nullptr) return;
  TCustomComPort& port = *FComPort;
  switch (FComProperty) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      if (!FPort.empty()) port.SetPort(FPort);
      break;
    case TComProperty::cpBaudRate:
      port.SetBaudRate(FBaudRate);
      break;
    case TComProperty::cpDataBits:
      port.SetDataBits(FDataBits);
      break;
    case TComProperty::cpStopBits:
      port.SetStopBits(FStopBits);
      break;
    case TComProperty::cpParity:
      port.Parity().SetBits(FParity);
      break;
    case TComProperty::cpFlowControl:
      port.FlowControl().SetFlowControl(FFlowControl);
      break;
  }
}

}  // namespace quillet::serial
