// Storing and loading a port's settings: the groups of StoredProps, each
// key in a fixed order, into an INI file section or a registry key.
#include <exception>

#include "config/value_codecs.h"
#include "os/exception.h"
#include "serial/com_setting_names.h"
#include "serial/com_storage.h"

namespace quillet::serial {

using enum TComExceptions;

namespace {

// One INI section seen as the flat list of names a registry key is.
class IniSection {
 public:
  IniSection(config::TIniFile& file, std::wstring section)
      : file_(file), section_(std::move(section)) {}
  void WriteString(const std::wstring& key, const std::wstring& value) {
    file_.WriteString(section_, key, value);
  }
  void WriteInteger(const std::wstring& key, int value) {
    file_.WriteInteger(section_, key, value);
  }
  std::wstring ReadString(const std::wstring& key, const std::wstring& def) {
    return file_.ReadString(section_, key, def);
  }
  int ReadInteger(const std::wstring& key, int def) {
    return file_.ReadInteger(section_, key, def);
  }

 private:
  config::TIniFile& file_;
  std::wstring section_;
};

// The character form of a 16-bit setting; the device sees its low 8 bits,
// the file keeps the whole code.
std::wstring CharValue(wchar_t ch) {
  const auto code = static_cast<unsigned>(ch);
  return code >= 33 && code <= 127 ? std::wstring(1, ch) : L"#" + std::to_wstring(code);
}

template <class Store>
void StoreGroups(const TCustomComPort& port, Store& s) {
  const TStoredProps props = port.StoredProps();
  if (props.Contains(TStoredProp::spBasic)) {
    s.WriteString(L"Port", port.Port());
    s.WriteString(L"BaudRate", SettingText(config::kBaudRateNames, port.BaudRate()));
    if (port.BaudRate() == TBaudRate::brCustom)
      s.WriteInteger(L"CustomBaudRate", port.CustomBaudRate());
    s.WriteString(L"StopBits", SettingText(config::kStopBitsNames, port.StopBits()));
    s.WriteString(L"DataBits", SettingText(config::kDataBitsNames, port.DataBits()));
    s.WriteString(L"Parity", SettingText(config::kParityNames, port.Parity().Bits()));
    s.WriteString(L"FlowControl",
                  SettingText(config::kFlowControlNames, port.FlowControl().FlowControl()));
  }
  if (props.Contains(TStoredProp::spOthers)) {
    s.WriteString(L"EventChar", CharValue(port.EventChar()));
    s.WriteString(L"DiscardNull", config::YesNoText(port.DiscardNull()));
  }
  if (props.Contains(TStoredProp::spParity)) {
    const TComParity& p = port.Parity();
    s.WriteString(L"Parity.Check", config::YesNoText(p.Check()));
    s.WriteString(L"Parity.Replace", config::YesNoText(p.Replace()));
    s.WriteString(L"Parity.ReplaceChar", CharValue(p.ReplaceChar()));
  }
  if (props.Contains(TStoredProp::spBuffer)) {
    s.WriteInteger(L"Buffer.OutputSize", port.Buffer().OutputSize());
    s.WriteInteger(L"Buffer.InputSize", port.Buffer().InputSize());
  }
  if (props.Contains(TStoredProp::spTimeouts)) {
    const TComTimeouts& t = port.Timeouts();
    s.WriteInteger(L"Timeouts.ReadInterval", t.ReadInterval());
    s.WriteInteger(L"Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    s.WriteInteger(L"Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    s.WriteInteger(L"Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    s.WriteInteger(L"Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (props.Contains(TStoredProp::spFlowControl)) {
    const TComFlowControl& f = port.FlowControl();
    s.WriteString(L"FlowControl.ControlRTS", SettingText(config::kRtsFlowNames, f.ControlRTS()));
    s.WriteString(L"FlowControl.ControlDTR", SettingText(config::kDtrFlowNames, f.ControlDTR()));
    s.WriteString(L"FlowControl.DSRSensitivity", config::YesNoText(f.DSRSensitivity()));
    s.WriteString(L"FlowControl.OutCTSFlow", config::YesNoText(f.OutCTSFlow()));
    s.WriteString(L"FlowControl.OutDSRFlow", config::YesNoText(f.OutDSRFlow()));
    s.WriteString(L"FlowControl.TxContinueOnXoff", config::YesNoText(f.TxContinueOnXoff()));
    s.WriteString(L"FlowControl.XonXoffIn", config::YesNoText(f.XonXoffIn()));
    s.WriteString(L"FlowControl.XonXoffOut", config::YesNoText(f.XonXoffOut()));
    s.WriteString(L"FlowControl.XoffChar", CharValue(f.XoffChar()));
    s.WriteString(L"FlowControl.XonChar", CharValue(f.XonChar()));
  }
}

// Each value is applied as soon as it is read; a missing key reads as the
// setting's current value, so it changes nothing.
template <class Store>
void LoadGroups(TCustomComPort& port, Store& s) {
  const TStoredProps props = port.StoredProps();
  auto yesNo = [&s](const wchar_t* key, bool current) {
    return config::ParseYesNo(s.ReadString(key, config::YesNoText(current)));
  };
  auto character = [&s](const wchar_t* key, wchar_t current) {
    return static_cast<wchar_t>(config::ParseCharText(s.ReadString(key, CharValue(current))));
  };
  if (props.Contains(TStoredProp::spBasic)) {
    port.SetPort(s.ReadString(L"Port", port.Port()));
    port.SetBaudRate(ParseSetting<TBaudRate>(
        config::kBaudRateNames,
        s.ReadString(L"BaudRate", SettingText(config::kBaudRateNames, port.BaudRate()))));
    if (port.BaudRate() == TBaudRate::brCustom)
      port.SetCustomBaudRate(s.ReadInteger(L"CustomBaudRate", 9600));
    port.SetStopBits(ParseSetting<TStopBits>(
        config::kStopBitsNames,
        s.ReadString(L"StopBits", SettingText(config::kStopBitsNames, port.StopBits()))));
    port.SetDataBits(ParseSetting<TDataBits>(
        config::kDataBitsNames,
        s.ReadString(L"DataBits", SettingText(config::kDataBitsNames, port.DataBits()))));
    port.Parity().SetBits(ParseSetting<TParityBits>(
        config::kParityNames,
        s.ReadString(L"Parity", SettingText(config::kParityNames, port.Parity().Bits()))));
    port.FlowControl().SetFlowControl(ParseSetting<TFlowControl>(
        config::kFlowControlNames,
        s.ReadString(L"FlowControl",
                     SettingText(config::kFlowControlNames, port.FlowControl().FlowControl()))));
  }
  if (props.Contains(TStoredProp::spOthers)) {
    port.SetEventChar(character(L"EventChar", port.EventChar()));
    port.SetDiscardNull(yesNo(L"DiscardNull", port.DiscardNull()));
  }
  if (props.Contains(TStoredProp::spParity)) {
    TComParity& p = port.Parity();
    p.SetCheck(yesNo(L"Parity.Check", p.Check()));
    p.SetReplace(yesNo(L"Parity.Replace", p.Replace()));
    p.SetReplaceChar(character(L"Parity.ReplaceChar", p.ReplaceChar()));
  }
  if (props.Contains(TStoredProp::spBuffer)) {
    TComBuffer& b = port.Buffer();
    b.SetOutputSize(s.ReadInteger(L"Buffer.OutputSize", b.OutputSize()));
    b.SetInputSize(s.ReadInteger(L"Buffer.InputSize", b.InputSize()));
  }
  if (props.Contains(TStoredProp::spTimeouts)) {
    TComTimeouts& t = port.Timeouts();
    t.SetReadInterval(s.ReadInteger(L"Timeouts.ReadInterval", t.ReadInterval()));
    t.SetReadTotalConstant(s.ReadInteger(L"Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
    t.SetReadTotalMultiplier(
        s.ReadInteger(L"Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
    t.SetWriteTotalConstant(s.ReadInteger(L"Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
    t.SetWriteTotalMultiplier(
        s.ReadInteger(L"Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
  }
  if (props.Contains(TStoredProp::spFlowControl)) {
    TComFlowControl& f = port.FlowControl();
    f.SetControlRTS(ParseSetting<TRTSFlowControl>(
        config::kRtsFlowNames, s.ReadString(L"FlowControl.ControlRTS",
                                            SettingText(config::kRtsFlowNames, f.ControlRTS()))));
    f.SetControlDTR(ParseSetting<TDTRFlowControl>(
        config::kDtrFlowNames, s.ReadString(L"FlowControl.ControlDTR",
                                            SettingText(config::kDtrFlowNames, f.ControlDTR()))));
    f.SetDSRSensitivity(yesNo(L"FlowControl.DSRSensitivity", f.DSRSensitivity()));
    f.SetOutCTSFlow(yesNo(L"FlowControl.OutCTSFlow", f.OutCTSFlow()));
    f.SetOutDSRFlow(yesNo(L"FlowControl.OutDSRFlow", f.OutDSRFlow()));
    f.SetTxContinueOnXoff(yesNo(L"FlowControl.TxContinueOnXoff", f.TxContinueOnXoff()));
    f.SetXonXoffIn(yesNo(L"FlowControl.XonXoffIn", f.XonXoffIn()));
    f.SetXonXoffOut(yesNo(L"FlowControl.XonXoffOut", f.XonXoffOut()));
    f.SetXoffChar(character(L"FlowControl.XoffChar", f.XoffChar()));
    f.SetXonChar(character(L"FlowControl.XonChar", f.XonChar()));
  }
}

bool SameTextAscii(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    const wchar_t x = a[i] >= L'a' && a[i] <= L'z' ? a[i] - 32 : a[i];
    const wchar_t y = b[i] >= L'a' && b[i] <= L'z' ? b[i] - 32 : b[i];
    if (x != y) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

}  // namespace

// --- the registry key ---

TComRegistry::TComRegistry(os::RegistryApi& api, os::RegistryKey root, const std::wstring& path,
                           bool create)
    : api_(api) {
  const os::RegistryOpenResult opened =
      create ? api.RegCreateKeyExW(root, path, os::kRegOptionNonVolatile, os::kKeyAllAccess)
             : api.RegOpenKeyExW(root, path, os::kKeyRead);
  // A missing key read from is an empty one: every value reads as its default.
  if (!create && opened.error == os::kErrorFileNotFound) return;
  if (opened.error != os::kErrorSuccess) throw Exception(L"Failed to open registry key " + path);
  key_ = os::RegKey(api, opened.key);
}

void TComRegistry::WriteString(const std::wstring& name, const std::wstring& value) {
  if (api_.RegSetValueExW(key_.Get(), name, os::kRegSz, os::RegistryStringData(value)) !=
      os::kErrorSuccess) {
    throw Exception(L"Failed to set data for '" + name + L"'");
  }
}

void TComRegistry::WriteInteger(const std::wstring& name, int value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::vector<os::Byte> data = {static_cast<os::Byte>(bits), static_cast<os::Byte>(bits >> 8),
                                      static_cast<os::Byte>(bits >> 16),
                                      static_cast<os::Byte>(bits >> 24)};
  if (api_.RegSetValueExW(key_.Get(), name, os::kRegDword, data) != os::kErrorSuccess) {
    throw Exception(L"Failed to set data for '" + name + L"'");
  }
}

std::wstring TComRegistry::ReadString(const std::wstring& name, const std::wstring& def) {
  if (!key_) return def;
  // The same room as the INI reader's buffer.
  const os::RegistryValue value =
      api_.RegQueryValueExW(key_.Get(), name, os::kProfileBufferSize * 2);
  if (value.error == os::kErrorFileNotFound) return def;
  if (value.error != os::kErrorSuccess || value.type != os::kRegSz) {
    throw Exception(L"Invalid data type for '" + name + L"'");
  }
  return os::RegistryStringText(value.data);
}

int TComRegistry::ReadInteger(const std::wstring& name, int def) {
  if (!key_) return def;
  const os::RegistryValue value = api_.RegQueryValueExW(key_.Get(), name, 4);
  if (value.error == os::kErrorFileNotFound) return def;
  if (value.error != os::kErrorSuccess || value.type != os::kRegDword || value.data.size() != 4) {
    throw Exception(L"Invalid data type for '" + name + L"'");
  }
  const std::uint32_t bits = value.data[0] | (std::uint32_t{value.data[1]} << 8) |
                             (std::uint32_t{value.data[2]} << 16) |
                             (std::uint32_t{value.data[3]} << 24);
  return static_cast<int>(bits);
}

TComRegistryPath RegistryPathFor(const std::wstring& target, const std::wstring& name) {
  const std::size_t slash = target.find(L'\\');
  const std::wstring rootName = target.substr(0, slash);
  std::wstring key = slash == std::wstring::npos ? L"" : target.substr(slash + 1);
  if (!key.empty() && key.back() != L'\\') key += L'\\';
  key += name;
  const os::RegistryKey root =
      SameTextAscii(rootName, L"HKEY_LOCAL_MACHINE") ? os::kHkeyLocalMachine : os::kHkeyCurrentUser;
  return {root, key};
}

// --- the destruction notice ---

TComFreeNotifier::~TComFreeNotifier() {
  // A listener may remove itself (or others) while it is told.
  while (!listeners_.empty()) {
    THandler handler = std::move(listeners_.front().second);
    listeners_.erase(listeners_.begin());
    if (handler) handler(port_);
  }
}

void TComFreeNotifier::Add(const void* listener, THandler handler) {
  for (auto& [who, h] : listeners_) {
    if (who == listener) {
      h = std::move(handler);
      return;
    }
  }
  listeners_.emplace_back(listener, std::move(handler));
}

void TComFreeNotifier::Remove(const void* listener) {
  std::erase_if(listeners_, [listener](const auto& entry) { return entry.first == listener; });
}

TComFreeNotifier& TCustomComPort::FreeNotifier() {
  if (!FFreeNotifier) FFreeNotifier = std::make_shared<TComFreeNotifier>(this);
  return *FFreeNotifier;
}

// --- the port's storage operations ---

void TCustomComPort::StoreRegistry(TComRegistry& Reg) {
  StoreGroups(*this, Reg);
}

void TCustomComPort::StoreIniFile(TComIniFile& IniFile) {
  IniSection section(IniFile, Name());
  StoreGroups(*this, section);
}

void TCustomComPort::LoadRegistry(TComRegistry& Reg) {
  LoadGroups(*this, Reg);
}

void TCustomComPort::LoadIniFile(TComIniFile& IniFile) {
  IniSection section(IniFile, Name());
  LoadGroups(*this, section);
}

void TCustomComPort::StoreSettings(TStoreType StoreType, const std::wstring& StoreTo) {
  bool failed = false;
  try {
    if (FStorageApis == nullptr) throw Exception(L"No storage for the port's settings");
    if (StoreType == TStoreType::stRegistry) {
      const TComRegistryPath path = RegistryPathFor(StoreTo, Name());
      TComRegistry reg(FStorageApis->Registry, path.root, path.key, true);
      StoreRegistry(reg);
    } else {
      TComIniFile ini(FStorageApis->Profile, StoreTo);
      StoreIniFile(ini);
    }
  } catch (...) {
    failed = true;
  }
  // Reported outside the handler so that OnException runs with no error in flight.
  if (failed) RaiseComError(CE_StoreFailed, 0);
}

void TCustomComPort::LoadSettings(TStoreType StoreType, const std::wstring& LoadFrom) {
  bool failed = false;
  BeginUpdate();
  try {
    if (FStorageApis == nullptr) throw Exception(L"No storage for the port's settings");
    if (StoreType == TStoreType::stRegistry) {
      const TComRegistryPath path = RegistryPathFor(LoadFrom, Name());
      TComRegistry reg(FStorageApis->Registry, path.root, path.key, false);
      LoadRegistry(reg);
    } else {
      TComIniFile ini(FStorageApis->Profile, LoadFrom);
      LoadIniFile(ini);
    }
  } catch (...) {
    failed = true;
  }
  try {
    EndUpdate();
  } catch (...) {
    failed = true;
  }
  if (failed) RaiseComError(CE_LoadFailed, 0);
}

}  // namespace quillet::serial
