// The common part of the program's two dialogs (TForm2, the advanced
// settings, and TForm3, the about box): a hidden
// top-level window owned by the main window, created once at start-up and
// shown modally as often as asked, with Tab moving between its controls.
#pragma once

#include <windows.h>

#include <string>

#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

class DialogWindow {
 public:
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  bool Showing() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) != FALSE; }
  // Shows the window centred over its owner with the owner disabled, and
  // returns when EndModal has been called.
  void RunModal();
  void EndModal() { modal_done_ = true; }

 protected:
  DialogWindow(HINSTANCE instance, HWND owner) : instance_(instance), owner_(owner) {}
  virtual ~DialogWindow();

  // Registers the class and creates the window hidden with a client area of
  // the given size (96 DPI, scaled). False when it cannot be created.
  bool CreateHidden(const wchar_t* class_name, const std::wstring& caption, DWORD style,
                    int client_width96, int client_height96);
  HWND AddControl(const wchar_t* window_class, const wchar_t* text, DWORD style, int id, int left,
                  int top, int width, int height, HFONT font, DWORD ex_style = 0);
  int Dpi() const { return dpi_; }
  HINSTANCE Instance() const { return instance_; }

  // Messages of the window; exceptions never leave it (the caller catches).
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // The standard error box for an error that ended a handler.
  void ReportError(const std::wstring& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void CentreOverOwner();

  HINSTANCE instance_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  bool modal_done_ = false;
};

// Font of the given height in pixels at 96 DPI, scaled.
os::win32::UniqueFont MakeDialogFont(const wchar_t* face, int height96, bool bold, int dpi,
                                     BYTE charset = DEFAULT_CHARSET);

}  // namespace quillet::app::win32
