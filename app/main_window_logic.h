// The main window's logic (Form1): its components, start-up handlers, the
// device rows, the configuration commands, the received-data handler and
// closing. The Win32 window forwards its events here and runs every handler
// through RunHandler, so an error that ends a handler reaches the standard
// error box and the program goes on.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/advanced_fields.h"
#include "app/main_window_view.h"
#include "app/monitor_form.h"
#include "app/port_reconnect.h"
#include "app/reception/reception_road.h"
#include "app/services.h"
#include "serial/com_port.h"
#include "serial/component.h"

namespace quillet::serial {
class TComStorageApis;
}

namespace quillet::app {

// The row controls as components of the window, so the commands that walk
// the window's components (Ports > Close) and look them up by name (the
// Device button) see them in their creation order.
class TRowControl : public serial::TComponent {
 public:
  TRowControl(serial::TComponent* owner, std::wstring name, int row, int tag)
      : TComponent(owner), row_(row), tag_(tag) {
    SetName(name);
  }
  int Row() const { return row_; }
  int Tag() const { return tag_; }

 private:
  int row_;
  int tag_;
};
// A text label (the row's status label carries its row as tag).
class TRowLabel final : public TRowControl {
  using TRowControl::TRowControl;
};
class TRowCheckBox final : public TRowControl {
  using TRowControl::TRowControl;
};

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
  // Ports > Monitor: shows the receptions of every row.
  void Monitor1Click();

  // Device rows and the Ports menu.
  void cbotvoriClick(int row);
  void btnskenerClick(int row);
  void Zatvori2Click();
  void Otvori1Click();
  void ButtonClick(int button);
  // Sets a row's tick; a change runs the row's click handler.
  void SetOpenTick(int row, bool ticked);

  // Configuration commands.
  void Sacuvaj1Click();
  void Ubaci1Click();
  void Timer1Timer();
  void mnRunMinimizedClick();
  // Settings > Start with Windows for the program file at program: writes
  // or removes the current user's Run value; the tick shows
  // StartsWithWindows afterwards, also when the write was refused.
  void mnStartWithWindowsClick(const std::wstring& program);
  bool StartsWithWindows(const std::wstring& program) const;

  // Every port's received data goes down the reception road.
  void skener1RxChar(serial::TObject* sender, int count);
  void ScanTimerTimer() { road_.ScanTimerTimer(); }
  void TypingTimerTimer() { road_.TypingTimerTimer(); }
  // The retry timer's tick: the rows whose wait has passed try their ports.
  void RetryTimerTimer();
  // The system announced a port's arrival or removal (names compare without
  // regard to case): a row waiting for it tries at once; an open port that
  // was removed is taken as dead.
  void DeviceArrived(const std::wstring& port);
  void DeviceRemoved(const std::wstring& port);
  // The window is going: every port closes while everything is whole, so
  // what is pending is read and typed first.
  void FormDestroy();
  void ApplicationEvents1Minimize();

  // The dialogs are created after the main window and live to the end.
  void SetAboutBox(ModalForm* form3) { form3_ = form3; }
  void SetMonitor(ModelessForm* monitor) { monitor_ = monitor; }
  // What each row received and what was typed of it, for the Monitor.
  reception::ReceptionRecord& Record() { return road_.Record(); }
  void SetAdvancedDialog(ModalForm* form2) { form2_ = form2; }
  // The common and each row's advanced settings: filled by their load and save.
  AdvancedSettings& Advanced() { return advanced_; }

  serial::TComponent& Root() { return root_; }
  serial::TComPort* Skener(int row) const { return skener_.at(row - 1); }
  std::array<bool, 8>& PortError() { return port_error_; }
  bool AutomaticOpeningRunning() const { return opening_; }
  const reception::ScanAssembler& Scans() const { return road_.Scans(); }
  const reception::TypingQueue& Typing() const { return road_.Queue(); }
  const reception::ReceptionRoad& Road() const { return road_; }
  const ReconnectSchedule& Reconnects() const { return reconnect_; }

  bool ConfigFileExists();

  // The fixed texts of the test buttons 1..6.
  static const std::wstring& TestButtonText(int button);

 private:
  void ShowRowError(int row);
  void PortDied(int row);
  // After a row's open or close: a ticked row without its port waits for it.
  void NoteOpenResult(int row);
  void RetryRow(int row);
  void ArmRetryTimer();

  Services services_;
  MainView& view_;
  std::unique_ptr<serial::TComStorageApis> storage_;
  AdvancedSettings advanced_;
  // Declared before the ports, so a port closing at the end still finds it
  // (and its record, kept in memory only).
  reception::ReceptionRoad road_;
  serial::TComponent root_{nullptr};  // owns the row controls and the port objects
  std::array<serial::TComPort*, 8> skener_{};
  std::array<bool, 8> port_error_{};
  std::array<bool, 8> closing_{};  // the row's port is inside its Close
  bool destroying_ = false;        // the program is ending: no row waits any more
  bool opening_ = false;           // the automatic opening is running
  bool close_requested_ = false;   // a close chosen during it, done afterwards
  ModalForm* form2_ = nullptr;
  ModalForm* form3_ = nullptr;
  ModelessForm* monitor_ = nullptr;
  ReconnectSchedule reconnect_;
};

}  // namespace quillet::app
