// The main window's logic (Form1): its components, start-up handlers and
// closing. The Win32 window forwards its events here and runs every handler
// through RunHandler, so an error that ends a handler reaches the standard
// error box and the program goes on.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "app/advanced_fields.h"
#include "app/main_view.h"
#include "app/services.h"
#include "serial/com_port.h"
#include "serial/component.h"

namespace quillet::app {

class MainForm {
 public:
  MainForm(Services services, MainView& view);
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;
  ~MainForm();

  // Runs a handler; an error that ends it goes to the standard error box.
  // Returns false when the handler ended with an error.
  bool RunHandler(const std::function<void()>& handler);

  void FormCreate();
  void FormShow();
  // Every close request (File > Close, title bar, system menu, Alt+F4).
  // Returns true when the window is to be destroyed.
  bool CloseRequested();
  bool FormCloseQuery();
  void FormClose();
  // Log-off or shut-down: the same question; No refuses.
  bool QueryEndSession();
  void EndSession(bool ending);

  void Zatvori1Click();
  void About1Click();
  void Advanced1Click();
  void Ubaci1Click();
  void Timer1Timer();
  void skener1RxChar(serial::TObject* sender, int count);

  // The dialogs are created after the main window and live to the end.
  void SetAboutBox(ModalForm* form3) { form3_ = form3; }
  void SetAdvancedDialog(ModalForm* form2) { form2_ = form2; }
  // FSufiks ... FDo: filled by the advanced settings' load and save.
  AdvancedFields& Advanced() { return advanced_; }

  serial::TComponent& Root() { return root_; }
  serial::TComPort* Skener(int row) const { return skener_.at(row - 1); }
  std::array<bool, 8>& PortError() { return port_error_; }

  bool ConfigFileExists();

 private:
  Services services_;
  MainView& view_;
  serial::TComponent root_{nullptr};  // owns the port objects
  std::array<serial::TComPort*, 8> skener_{};
  std::array<bool, 8> port_error_{};
  ModalForm* form2_ = nullptr;
  ModalForm* form3_ = nullptr;
  AdvancedFields advanced_;
};

}  // namespace quillet::app
