// The main window's logic on the os/sim doubles with a recording view whose
// pump and pauses are the test's to observe.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window_logic.h"
#include "config/ini_file.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/profile_sim.h"
#include "os/sim/registry_sim.h"
#include "os/sim/serial_sim.h"
#include "os/sim/shell_sim.h"
#include "serial/sync.h"

namespace quillet::app::test {

namespace fs = std::filesystem;

class RecordingView final : public MainView {
 public:
  struct Label {
    std::wstring text = L"Port status:";
    LabelColour colour = LabelColour::WindowDefault;
  };

  bool AskYesNo(const std::wstring& text) override {
    questions.push_back(text);
    return answer_yes;
  }
  void ShowInformation(const std::wstring& text) override { log.push_back(L"info " + text); }
  void ShowError(const std::wstring& message) override { errors.push_back(message); }
  std::chrono::steady_clock::time_point Now() const override { return now; }
  void SetScanTimer(unsigned milliseconds) override { scan_timer_ms = milliseconds; }
  void SetRetryTimer(unsigned milliseconds) override { retry_timer_ms = milliseconds; }
  void SetTypingTimer(unsigned milliseconds) override { typing_timer_ms = milliseconds; }
  // Closing waits at the pace: the clock moves by what it waits.
  void WaitWhileClosing(unsigned milliseconds) override {
    closing_waits.push_back(milliseconds);
    now += std::chrono::milliseconds(milliseconds);
  }
  std::uint32_t LocalMsOfDay() const override { return ms_of_day; }
  bool Timer1Enabled() const override { return timer1; }
  void SetTimer1Enabled(bool enabled) override {
    if (enabled != timer1) log.push_back(enabled ? L"timer on" : L"timer off");
    timer1 = enabled;
  }
  bool OpenChecked(int row) const override { return ticks.at(row - 1); }
  void SetOpenChecked(int row, bool checked) override { ticks.at(row - 1) = checked; }
  void SetStatusLabel(int row, const std::wstring& text, LabelColour colour) override {
    labels.at(row - 1) = {text, colour};
  }
  void SetStatusText(const std::wstring& text) override {
    status = text;
    log.push_back(L"status " + text);
  }
  bool RunMinimizedChecked() const override { return run_minimized; }
  void SetRunMinimizedChecked(bool checked) override { run_minimized = checked; }
  void ShowPortSetupDialog(serial::TComPort& port) override {
    log.push_back(L"dialog " + port.Name());
    if (on_dialog) on_dialog(port);
  }
  void ProcessMessages() override {
    log.push_back(L"pump");
    if (on_pump) on_pump();
  }
  void Pause(unsigned milliseconds) override {
    log.push_back(L"pause " + std::to_wstring(milliseconds));
  }
  void HideApplication() override {
    log.push_back(L"hide");
    hidden = true;
  }
  bool ApplicationHidden() const override { return hidden; }
  void ShowInfoBalloon(const std::wstring& title, const std::wstring& text,
                       unsigned milliseconds) override {
    log.push_back(L"balloon " + title + L"|" + text + L"|" + std::to_wstring(milliseconds));
  }
  void SetKeyboardCaptionToButtonFace() override { keyboard_button_face = true; }
  void RequestClose() override { ++close_requests; }

  bool answer_yes = true;
  std::array<bool, 8> ticks{};
  std::array<Label, 8> labels{};
  std::wstring status;
  bool run_minimized = false;
  bool hidden = false;
  std::vector<std::wstring> questions;
  std::vector<std::wstring> errors;
  std::vector<std::wstring> log;  // status texts, pauses, pumps, timer, hiding, boxes
  std::function<void(serial::TComPort&)> on_dialog;
  std::function<void()> on_pump;
  bool timer1 = false;
  std::chrono::steady_clock::time_point now{};  // the test moves it
  unsigned scan_timer_ms = 0;                   // armed scan timer, 0 = none
  unsigned retry_timer_ms = 0;                  // armed retry timer, 0 = none
  unsigned typing_timer_ms = 0;                 // armed typing timer, 0 = none
  std::vector<unsigned> closing_waits;
  std::uint32_t ms_of_day = 0;
  bool keyboard_button_face = false;
  int close_requests = 0;
};

class FakeDialog final : public ModalForm {
 public:
  bool Showing() const override { return showing; }
  void ShowModal() override { ++shown; }
  bool showing = false;
  int shown = 0;
};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    root_ =
        fs::temp_directory_path() /
        ("quillet_main_form_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "AppData");
    shell_.SetAppDataFolder((root_ / "AppData").wstring());
  }
  ~MainFormTest() override {
    std::error_code ignored;
    fs::permissions(root_ / "AppData", fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  fs::path ConfigFolder() const { return root_ / "AppData" / "Brovana" / "Quillet"; }
  fs::path IniPath() const { return ConfigFolder() / "skeneri.ini"; }
  std::wstring IniWindowsPath() const {
    return (root_ / "AppData").wstring() + L"\\Brovana\\Quillet\\skeneri.ini";
  }

  void WriteIni(const std::string& text) {
    fs::create_directories(ConfigFolder());
    std::ofstream(IniPath(), std::ios::binary) << text;
  }

  bool StoredFlag(int row) {
    config::TIniFile ini(profile_, IniWindowsPath());
    return ini.ReadBool(L"Aktivacija", L"cbotvori" + std::to_wstring(row), false);
  }

  fs::path root_;
  os::sim::SimSerial serial_;
  os::sim::SimProfile profile_;
  os::sim::SimShell shell_;
  os::sim::SimKeyboard keyboard_;
  os::sim::SimRegistry registry_;
  RecordingView view_;
  MainForm form_{Services{serial_, profile_, shell_, keyboard_, registry_}, view_};
};

// The same, with the serial engine's hand-over served as the user-interface
// thread would: the ports' event threads are real, so deliveries arrive while
// the test waits in ServeUntil. COM1..COM3 exist.
class ServingMainFormTest : public MainFormTest {
 protected:
  ServingMainFormTest() {
    serial::SetSynchronizeWakeHook([this] {
      {
        std::lock_guard lock(mutex_);
        ++wakes_;
      }
      woken_.notify_all();
    });
    for (const wchar_t* name : {L"COM1", L"COM2", L"COM3"}) serial_.AddPort(name);
  }
  ~ServingMainFormTest() override {
    form_.FormDestroy();  // closes, serving what the threads still hand over
    form_.Root().DestroyComponents();
    serial::SetSynchronizeWakeHook({});
    serial::CheckSynchronize();
  }

  // Serves the hand-over until done().
  bool ServeUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      serial::CheckSynchronize();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::unique_lock lock(mutex_);
      woken_.wait_for(lock, std::chrono::milliseconds(20));
    }
  }

  // A device sends bytes to the port, counted so that Handled can tell when
  // its handler has read them all.
  void Write(const wchar_t* port, std::string_view bytes) {
    CountReads();
    serial_.PeerWrite(port, bytes);
    written_[port] += bytes.size();
  }
  // Every byte Write sent to the port has been read by its row's handler.
  // The driver's queue being empty is not enough: a gathering event thread
  // holds what its read has taken until the line has been quiet, and neither
  // the driver nor the port counts those bytes yet.
  bool Handled(const wchar_t* port) { return read_[port] == written_[port]; }

  // The user clicks the row's box: the tick changes, then its handler runs.
  void Click(int row) {
    view_.ticks.at(row - 1) = !view_.ticks.at(row - 1);
    form_.RunHandler([&] { form_.cbotvoriClick(row); });
  }

  std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;

 private:
  // Wraps each row's received-data handler once, counting the bytes it takes
  // from its port: what the port held before the handler ran, less what it
  // holds after (the test writes nothing while a handler runs).
  void CountReads() {
    for (int row = 1; row <= 8; ++row) {
      serial::TComPort* port = form_.Skener(row);
      if (port == nullptr || !counted_.insert(port).second) continue;
      port->SetOnRxChar(
          [this, port, handler = port->OnRxChar()](serial::TObject* sender, int count) {
            const std::wstring name = port->Port();
            const int before = port->InputCount();
            handler(sender, count);
            const int after = port->Connected() ? port->InputCount() : 0;
            read_[name] += static_cast<std::size_t>(before - after);
          });
    }
  }

  std::set<serial::TComPort*> counted_;
  std::map<std::wstring, std::size_t> written_;
  std::map<std::wstring, std::size_t> read_;
};

}  // namespace quillet::app::test
