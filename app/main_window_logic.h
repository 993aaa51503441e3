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
#include "app/reception/reception_record.h"
#include "app/scan_assembly.h"
#include "app/services.h"
#include "app/typing.h"
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

  void skener1RxChar(serial::TObject* sender, int count);
  // The scan timer's tick: types the scans whose gap has passed.
  void ScanTimerTimer();
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
  reception::ReceptionRecord& Record() { return record_; }
  void SetAdvancedDialog(ModalForm* form2) { form2_ = form2; }
  // FSufiks ... FDo: filled by the advanced settings' load and save.
  AdvancedFields& Advanced() { return advanced_; }

  serial::TComponent& Root() { return root_; }
  serial::TComPort* Skener(int row) const { return skener_.at(row - 1); }
  std::array<bool, 8>& PortError() { return port_error_; }
  bool AutomaticOpeningRunning() const { return opening_; }
  const ScanAssembler& Scans() const { return assembler_; }
  const ReconnectSchedule& Reconnects() const { return reconnect_; }

  bool ConfigFileExists();

  // The fixed texts of the test buttons 1..6.
  static const std::wstring& TestButtonText(int button);

 private:
  void ShowRowError(int row);
  void PortDied(int row);
  int RowOf(const serial::TObject* sender) const;
  // Framing applies with a second port open or any advanced setting on;
  // otherwise text is typed the moment it is read.
  bool AssemblingScans() const;
  void TypePieces(std::vector<ScanPiece>& pieces);
  // Types text with the status bar naming the port; a window that runs with
  // higher rights gets nothing, and the status bar (and, while hidden in the
  // tray, a balloon) says so.
  void TypeFrom(const serial::TComPort& port, const std::wstring& text);
  void FlushRow(int row);
  void ArmScanTimer();
  void KeepScansWhoseBytesWait(ScanClock::time_point now, int except_row);
  // After a row's open or close: a ticked row without its port waits for it.
  void NoteOpenResult(int row);
  void RetryRow(int row);
  void ArmRetryTimer();

  Services services_;
  MainView& view_;
  std::unique_ptr<serial::TComStorageApis> storage_;
  // In memory only, never written to disk; declared before the ports, so a
  // port closing at the end still finds it.
  reception::ReceptionRecord record_;
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
  AdvancedFields advanced_;
  // The keyboard layout's answers, kept between scans.
  LayoutAnswers layout_answers_;
  ScanAssembler assembler_;
  ReconnectSchedule reconnect_;
};

}  // namespace quillet::app
