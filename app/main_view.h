// What the main window's logic needs of its view: the Win32 window in the
// program, a recording double in the tests.
#pragma once

#include <string>

namespace quillet::app {

class MainView {
 public:
  virtual ~MainView() = default;

  // Yes/No message box with the question icon, titled with the application title.
  virtual bool AskYesNo(const std::wstring& text) = 0;
  // The standard error box with the error's message.
  virtual void ShowError(const std::wstring& message) = 0;

  virtual bool Timer1Enabled() const = 0;
  virtual void SetTimer1Enabled(bool enabled) = 0;

  // Tick of the Open check box of row 1..8.
  virtual bool OpenChecked(int row) const = 0;

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
