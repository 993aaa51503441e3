#include "app/main_form.h"

#include <exception>

#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"
#include "os/shell_api.h"

namespace quillet::app {
namespace {

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

}  // namespace

MainForm::MainForm(Services services, MainView& view) : services_(services), view_(view) {
  root_.SetName(L"Form1");
}

MainForm::~MainForm() = default;

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
    port->SetName(L"skener" + std::to_wstring(row));
    port->SetOnRxChar([this](serial::TObject* sender, int count) { skener1RxChar(sender, count); });
    skener_[row - 1] = port;
  }
  config::EnsureConfigFolder(services_.shell);
  if (ConfigFileExists()) Ubaci1Click();
}

void MainForm::FormShow() {
  view_.SetKeyboardCaptionToButtonFace();
  if (ConfigFileExists()) view_.SetTimer1Enabled(true);
}

bool MainForm::CloseRequested() {
  if (!FormCloseQuery()) return false;
  // A file that cannot be written is reported, but the program still ends:
  // otherwise a read-only folder would make it impossible to quit or log off.
  RunHandler([this] { FormClose(); });
  return true;
}

bool MainForm::FormCloseQuery() { return view_.AskYesNo(L"Close application?"); }

void MainForm::FormClose() {
  config::TIniFile ini(services_.profile, config::ConfigFilePath(services_.shell));
  for (int row = 1; row <= 8; ++row) {
    ini.WriteBool(L"Aktivacija", L"cbotvori" + std::to_wstring(row), view_.OpenChecked(row));
  }
}

bool MainForm::QueryEndSession() { return FormCloseQuery(); }

void MainForm::EndSession(bool ending) {
  if (ending) RunHandler([this] { FormClose(); });
}

void MainForm::Zatvori1Click() { view_.RequestClose(); }

void MainForm::About1Click() {
  if (form3_ != nullptr && !form3_->Showing()) form3_->ShowModal();
}

void MainForm::Advanced1Click() {
  if (form2_ != nullptr && !form2_->Showing()) form2_->ShowModal();
}

void MainForm::Ubaci1Click() {
  // Settings > Load: comes with the device console's configuration commands.
}

void MainForm::Timer1Timer() {
  // The automatic opening: comes with the device console's configuration commands.
}

void MainForm::skener1RxChar(serial::TObject* /*sender*/, int /*count*/) {
  // Received data is typed by the keyboard-emulation handler (next step).
}

}  // namespace quillet::app
