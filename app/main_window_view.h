// What the main window's logic needs of its view: the Win32 window in the
// program, a recording double in the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quillet::serial {
class TComPort;
}

namespace quillet::app {

// Font colour of a row's status label.
enum class LabelColour { WindowDefault, Black, Red };

class MainView {
 public:
  virtual ~MainView() = default;

  // Yes/No message box with the question icon, titled with the application title.
  virtual bool AskYesNo(const std::wstring& text) = 0;
  // Information box with an OK button ("Saved!").
  virtual void ShowInformation(const std::wstring& text) = 0;
  // The standard error box with the error's message.
  virtual void ShowError(const std::wstring& message) = 0;

  // The user-interface thread's clock, which the scan timer follows.
  virtual std::chrono::steady_clock::time_point Now() const = 0;
  // Arms the one-shot timer that ends a scan after its gap, replacing an
  // armed one; 0 stops it. Its tick runs ScanTimerTimer.
  virtual void SetScanTimer(unsigned milliseconds) = 0;
  // Arms the one-shot timer of the rows waiting for their ports to come
  // back, replacing an armed one; 0 stops it. Its tick runs RetryTimerTimer.
  virtual void SetRetryTimer(unsigned milliseconds) = 0;
  // Arms the one-shot timer of paced typing, replacing an armed one; 0 stops
  // it. Its tick runs TypingTimerTimer.
  virtual void SetTypingTimer(unsigned milliseconds) = 0;
  // Only while the program ends and typing finishes what is queued: waits
  // before the next key without running the typing timer's tick.
  virtual void WaitWhileClosing(unsigned milliseconds) = 0;
  // The local time of day in milliseconds after midnight, for the monitor.
  virtual std::uint32_t LocalMsOfDay() const = 0;

  virtual bool Timer1Enabled() const = 0;
  // Enabling an enabled timer does not restart its interval.
  virtual void SetTimer1Enabled(bool enabled) = 0;

  // Tick of the Open check box of row 1..8. Setting it raises no event; the
  // logic runs the row's handler itself when the tick changes.
  virtual bool OpenChecked(int row) const = 0;
  virtual void SetOpenChecked(int row, bool checked) = 0;
  // Status label of row 1..8 (sized to its text).
  virtual void SetStatusLabel(int row, const std::wstring& text, LabelColour colour) = 0;
  // The status bar's single text.
  virtual void SetStatusText(const std::wstring& text) = 0;

  // Tick of Settings > Run Minimized.
  virtual bool RunMinimizedChecked() const = 0;
  virtual void SetRunMinimizedChecked(bool checked) = 0;

  // The port settings dialog of port, modal; errors of applying come out.
  virtual void ShowPortSetupDialog(serial::TComPort& port) = 0;

  // Lets every waiting message of the user-interface thread be handled.
  virtual void ProcessMessages() = 0;
  // Blocks the user-interface thread; no message is handled meanwhile.
  virtual void Pause(unsigned milliseconds) = 0;
  // Hides the program in the notification area.
  virtual void HideApplication() = 0;
  // True while the program is hidden there (its window not shown).
  virtual bool ApplicationHidden() const = 0;
  // A balloon at the tray icon with the information icon.
  virtual void ShowInfoBalloon(const std::wstring& title, const std::wstring& text,
                               unsigned milliseconds) = 0;

  virtual void SetKeyboardCaptionToButtonFace() = 0;

  // Asks the window to close, exactly as its title-bar button does.
  virtual void RequestClose() = 0;
};

// A dialog the main window shows modally (the about box, the advanced settings).
class ModalForm {
 public:
  virtual ~ModalForm() = default;
  virtual bool Showing() const = 0;
  virtual void ShowModal() = 0;
};

}  // namespace quillet::app
