#include "app/main_window_logic.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <vector>

#include "app/start_with_windows.h"
#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"
#include "os/shell_api.h"
#include "serial/com_storage.h"

namespace quillet::app {
namespace {

constexpr wchar_t kOpened[] = L"Port status: Opened";
constexpr wchar_t kClosed[] = L"Port status: Closed";
constexpr wchar_t kError[] = L"Port status: Error!";
constexpr wchar_t kCharactersLost[] = L"Port status: Opened, characters lost!";
constexpr wchar_t kActivation[] = L"Aktivacija";

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

std::wstring RowName(const wchar_t* prefix, int row) {
  return prefix + std::to_wstring(row);
}

// Windows' port names ignore case ("com8" is COM8).
bool SamePortName(const std::wstring& a, const std::wstring& b) {
  const auto upper = [](wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

// Ends the automatic opening's mark however the run ends.
class RunningMark {
 public:
  explicit RunningMark(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningMark() { flag_ = false; }
  RunningMark(const RunningMark&) = delete;
  RunningMark& operator=(const RunningMark&) = delete;

 private:
  bool& flag_;
};

}  // namespace

MainForm::MainForm(Services services, MainView& view)
    : services_(services),
      view_(view),
      storage_(std::make_unique<serial::TComStorageApis>(services.profile, services.registry)),
      road_(view, services.keyboard, advanced_) {
  root_.SetName(L"Form1");
  advanced_.rowCaption = [this](int row) {
    const serial::TComPort* port = Skener(row);
    const std::wstring name = L"skener" + std::to_wstring(row);
    return port == nullptr ? name : name + L" (" + port->Port() + L")";
  };
  // The window's controls exist before its creation handler runs: the
  // status labels first, then the check boxes; the ports come last.
  for (int row = 1; row <= 8; ++row) new TRowLabel(&root_, RowName(L"lbstatus", row), row, row);
  for (int row = 1; row <= 8; ++row) new TRowCheckBox(&root_, RowName(L"cbotvori", row), row, 0);
}

MainForm::~MainForm() {
  // The ports close while this object and they are whole: a delivery served
  // during the close still reaches a working handler.
  FormDestroy();
  root_.DestroyComponents();
}

void MainForm::FormDestroy() {
  destroying_ = true;
  reconnect_.StopAll();
  view_.SetRetryTimer(0);
  for (int i = 0; i < root_.ComponentCount(); ++i) {
    auto* port = dynamic_cast<serial::TComPort*>(root_.Components(i));
    if (port == nullptr || !port->Connected()) continue;
    try {
      port->Close();
    } catch (...) {
      // A device already gone cannot abort its requests; the port is
      // released all the same, and the program is ending.
    }
  }
  // What the closed ports left queued is typed for a few seconds at most.
  road_.Close();
}

bool MainForm::RunHandler(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const Exception& e) {
    view_.ShowError(e.Message());
  } catch (const std::exception& e) {
    view_.ShowError(Widen(e.what()));
  }
  return false;
}

bool MainForm::ConfigFileExists() {
  return services_.shell.FileExists(config::ConfigFilePath(services_.shell));
}

void MainForm::FormCreate() {
  for (int row = 1; row <= 8; ++row) {
    // Owned by the form's root component, which destroys it.
    auto* port = new serial::TComPort(&root_, services_.serial);
    port->SetName(RowName(L"skener", row));
    port->SetStorageApis(storage_.get());
    port->SetOnRxChar([this](serial::TObject* sender, int count) { skener1RxChar(sender, count); });
    port->SetOnThreadError(
        [this, row](serial::TObject*, const std::wstring&, std::int64_t) { PortDied(row); });
    // A scan in progress is typed before its port closes; what a delivery
    // served during the close adds comes after.
    port->SetOnBeforeClose([this, row](serial::TObject*) {
      closing_[row - 1] = true;
      road_.Flush(row);
    });
    port->SetOnAfterClose([this, row](serial::TObject*) {
      closing_[row - 1] = false;
      road_.Flush(row);
      road_.FramingMayHaveChanged();
    });
    // A second port open frames every port's scans: they gather.
    port->SetOnAfterOpen([this](serial::TObject*) { road_.FramingMayHaveChanged(); });
    // The driver's own buffer overflowed (reading paused too long, or a
    // machine too slow): characters of this port are lost, and its row says
    // so until it is opened again.
    port->SetOnError([this, row](serial::TObject*, serial::TComErrors errors) {
      if (errors.Contains(serial::TComError::ceOverrun) ||
          errors.Contains(serial::TComError::ceRxOver))
        view_.SetStatusLabel(row, kCharactersLost, LabelColour::Red);
    });
    skener_[row - 1] = port;
  }
  road_.SetPorts(skener_);
  config::EnsureConfigFolder(services_.shell);
  if (ConfigFileExists()) Ubaci1Click();
}

void MainForm::FormShow() {
  view_.SetKeyboardCaptionToButtonFace();
  if (ConfigFileExists()) view_.SetTimer1Enabled(true);
}

bool MainForm::CloseRequested() {
  if (opening_) {
    // Not under the running automatic opening: once it has ended.
    close_requested_ = true;
    return false;
  }
  if (!FormCloseQuery()) return false;
  // A file that cannot be written is reported, but the program still ends:
  // otherwise a read-only folder would make it impossible to quit or log off.
  RunHandler([this] { FormClose(); });
  return true;
}

bool MainForm::FormCloseQuery() {
  const std::size_t untyped = road_.UntypedAtClose();
  if (untyped == 0) return view_.AskYesNo(L"Close application?");
  return view_.AskYesNo(L"Close application?\n" + std::to_wstring(untyped) +
                        L" characters still queued to type will not be typed.");
}

void MainForm::FormClose() {
  config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
  for (int row = 1; row <= 8; ++row) {
    ini.WriteBool(kActivation, RowName(L"cbotvori", row), view_.OpenChecked(row));
  }
}

bool MainForm::QueryEndSession() {
  return FormCloseQuery();
}

void MainForm::EndSession(bool ending) {
  if (ending) RunHandler([this] { FormClose(); });
}

void MainForm::Zatvori1Click() {
  view_.RequestClose();
}

void MainForm::About1Click() {
  if (form3_ != nullptr && !form3_->Showing()) form3_->ShowModal();
}

void MainForm::Monitor1Click() {
  if (monitor_ != nullptr) monitor_->Show();
}

void MainForm::Advanced1Click() {
  if (form2_ == nullptr || form2_->Showing()) return;
  form2_->ShowModal();
  road_.FramingMayHaveChanged();
}

// --- device rows ---

void MainForm::ShowRowError(int row) {
  view_.SetStatusLabel(row, kError, LabelColour::Red);
  port_error_[row - 1] = true;
}

void MainForm::PortDied(int row) {
  serial::TComPort* port = Skener(row);
  // A report served while the port closes anyway needs nothing more.
  if (port == nullptr || !port->Connected() || closing_[row - 1]) return;
  // The device is gone: every scan would be lost, so the row says so. Its
  // handle stays dead even when the device comes back, so it is released
  // now (typing what the scan in progress holds); only a fresh open can
  // reach the device again.
  ShowRowError(row);
  try {
    port->Close();
  } catch (...) {
    // A vanished device refuses the abort; Close has released it all the same.
  }
  NoteOpenResult(row);
}

void MainForm::cbotvoriClick(int row) {
  serial::TComPort* port = Skener(row);
  try {
    if (port == nullptr) throw Exception(L"No port object");
    if (view_.OpenChecked(row)) {
      port->Open();
    } else if (port->Connected()) {
      port->Close();
    }
    if (view_.OpenChecked(row) && !port->Connected()) {
      // Ticked, yet the port is not open: the row waits for it, in error.
      ShowRowError(row);
    } else {
      view_.SetStatusLabel(row, port->Connected() ? kOpened : kClosed, LabelColour::Black);
      port_error_[row - 1] = false;
    }
  } catch (...) {
    // Whatever the error, the row shows it; its message goes nowhere.
    ShowRowError(row);
  }
  NoteOpenResult(row);
}

void MainForm::NoteOpenResult(int row) {
  const serial::TComPort* port = Skener(row);
  if (!destroying_ && port != nullptr && view_.OpenChecked(row) && !port->Connected()) {
    reconnect_.Failed(row, view_.Now());
  } else {
    reconnect_.Stop(row);
  }
  ArmRetryTimer();
}

void MainForm::RetryRow(int row) {
  serial::TComPort* port = Skener(row);
  if (port == nullptr || !view_.OpenChecked(row) || port->Connected()) {
    reconnect_.Stop(row);
    return;
  }
  // The row's own open, as a click makes it: never a message box, the focus
  // and the window left as they are. A failure keeps the row in error and
  // makes it wait longer.
  cbotvoriClick(row);
  if (port->Connected())
    view_.SetStatusText(L"Reconnected: " + port->Name() + L", " + port->Port());
}

void MainForm::ArmRetryTimer() {
  const auto next = reconnect_.NextDeadline();
  if (!next) {
    view_.SetRetryTimer(0);
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - view_.Now()).count();
  view_.SetRetryTimer(static_cast<unsigned>(std::max<std::int64_t>(wait, 1)));
}

void MainForm::RetryTimerTimer() {
  for (int row : reconnect_.Due(view_.Now())) RetryRow(row);
  ArmRetryTimer();
}

void MainForm::DeviceArrived(const std::wstring& name) {
  for (int row = 1; row <= 8; ++row) {
    const serial::TComPort* port = Skener(row);
    if (port != nullptr && reconnect_.Waiting(row) && !reconnect_.Held(row) &&
        SamePortName(port->Port(), name)) {
      RetryRow(row);
    }
  }
  ArmRetryTimer();
}

void MainForm::DeviceRemoved(const std::wstring& name) {
  for (int row = 1; row <= 8; ++row) {
    const serial::TComPort* port = Skener(row);
    if (port != nullptr && port->Connected() && SamePortName(port->Port(), name)) PortDied(row);
  }
}

void MainForm::SetOpenTick(int row, bool ticked) {
  if (view_.OpenChecked(row) == ticked) return;
  view_.SetOpenChecked(row, ticked);
  cbotvoriClick(row);
}

void MainForm::btnskenerClick(int row) {
  serial::TComPort* port = Skener(row);
  if (port == nullptr) return;
  {
    // The row's retries wait while its settings may change; afterwards a
    // row still waiting keeps its tick and tries at once with the new
    // settings.
    reconnect_.Hold(row, true);
    ArmRetryTimer();
    struct Release {
      MainForm& form;
      int row;
      ~Release() {
        form.reconnect_.Hold(row, false);
        form.ArmRetryTimer();
      }
    } release{*this, row};
    view_.ShowPortSetupDialog(*port);
  }
  // The line's rate sets how long its bytes may be gathered.
  road_.FramingMayHaveChanged();
  if (reconnect_.Waiting(row) && view_.OpenChecked(row) && !port->Connected()) {
    RetryRow(row);
    return;
  }
  auto* box = dynamic_cast<TRowCheckBox*>(root_.FindComponent(RowName(L"cbotvori", row)));
  auto* found = dynamic_cast<serial::TComPort*>(root_.FindComponent(RowName(L"skener", row)));
  if (box != nullptr && found != nullptr) SetOpenTick(box->Row(), found->Connected());
}

void MainForm::Zatvori2Click() {
  // Every row gives up waiting, also one whose handler does not run below.
  reconnect_.StopAll();
  ArmRetryTimer();
  view_.SetStatusText(L"");
  for (int i = 0; i < root_.ComponentCount(); ++i) {
    serial::TComponent* component = root_.Components(i);
    if (auto* port = dynamic_cast<serial::TComPort*>(component)) {
      if (port->Connected()) port->Close();
    } else if (auto* box = dynamic_cast<TRowCheckBox*>(component)) {
      SetOpenTick(box->Row(), false);
    } else if (auto* label = dynamic_cast<TRowLabel*>(component);
               label != nullptr && label->Tag() > 0) {
      view_.SetStatusLabel(label->Tag(), kClosed, LabelColour::Black);
    }
  }
}

void MainForm::Otvori1Click() {
  view_.SetTimer1Enabled(true);
}

const std::wstring& MainForm::TestButtonText(int button) {
  static const std::array<std::wstring, 6> texts{
      L"SKENER1-LJKLLLIYG12487LI588", L"SKENER2-LJKLLLIYG12487LI588999",
      L"!\"#$%&/()=?*{}][,./?",       L"SKENER4-LJKLLLIYG12487LI588",
      L"SKENER5-LJKLLLIYG12487LI588", L"SKENER6-LJKLLLIYG12487LI588",
  };
  return texts.at(button - 1);
}

void MainForm::ButtonClick(int button) {
  serial::TComPort* port = Skener(button);
  if (port != nullptr) port->WriteStr(TestButtonText(button));
}

// --- configuration commands ---

void MainForm::Sacuvaj1Click() {
  const std::wstring path = config::ConfigFilePath(services_.shell);
  for (int i = 0; i < root_.ComponentCount(); ++i) {
    if (auto* port = dynamic_cast<serial::TComPort*>(root_.Components(i))) {
      port->StoreSettings(serial::TStoreType::stIniFile, path);
    }
  }
  config::TIniFile ini(services_.profile, path);
  for (int row = 1; row <= 8; ++row)
    ini.WriteBool(kActivation, RowName(L"cbotvori", row), view_.OpenChecked(row));
  view_.ShowInformation(L"Saved!");
}

void MainForm::Ubaci1Click() {
  view_.SetStatusText(L"Closing ports and read configuration...");
  view_.Pause(1000);
  Zatvori2Click();
  view_.SetStatusText(L"Loading...");
  const std::wstring path = config::ConfigFilePath(services_.shell);
  for (int i = 0; i < root_.ComponentCount(); ++i) {
    if (auto* port = dynamic_cast<serial::TComPort*>(root_.Components(i))) {
      port->LoadSettings(serial::TStoreType::stIniFile, path);
    }
  }
  view_.SetTimer1Enabled(true);
}

void MainForm::Timer1Timer() {
  // A tick that comes while a run pumps messages waits for that run to end:
  // the timer stays armed and fires again afterwards.
  if (opening_) return;
  {
    RunningMark running(opening_);
    config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
    view_.SetRunMinimizedChecked(ini.ReadBool(L"Startup", L"RunMinimized", false));
    view_.SetStatusText(L"Opening ports...");
    view_.SetTimer1Enabled(false);
    for (int row = 1; row <= 8; ++row) {
      SetOpenTick(row, ini.ReadBool(kActivation, RowName(L"cbotvori", row), false));
      view_.ProcessMessages();
      if (view_.OpenChecked(row)) view_.Pause(700);
    }
    const bool any_error =
        std::any_of(port_error_.begin(), port_error_.end(), [](bool e) { return e; });
    if (!any_error && view_.RunMinimizedChecked()) view_.HideApplication();
    view_.SetStatusText(L"Waiting for devices...");
  }
  if (close_requested_) {
    close_requested_ = false;
    view_.RequestClose();
  }
}

void MainForm::mnRunMinimizedClick() {
  config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
  ini.WriteBool(L"Startup", L"RunMinimized", view_.RunMinimizedChecked());
}

void MainForm::mnStartWithWindowsClick(const std::wstring& program) {
  StartWithWindows(services_.registry, program).Toggle();
}

bool MainForm::StartsWithWindows(const std::wstring& program) const {
  return StartWithWindows(services_.registry, program).Enabled();
}

// --- received data ---

void MainForm::skener1RxChar(serial::TObject* sender, int count) {
  if (auto* port = dynamic_cast<serial::TComPort*>(sender)) road_.Received(*port, count);
}

void MainForm::ApplicationEvents1Minimize() {
  view_.ShowInfoBalloon(L"Information", L"Quillet is minimized.. ", 4000);
}

}  // namespace quillet::app
