// TForm3: the about box. The maker's logo, "v" + the program file's version
// (read anew at every showing), "Visit web page" and "Close".
#pragma once

#include <windows.h>

#include "app/main_window_view.h"
#include "app/win32/dialog_window.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

// Control ids of the about box, for the view and the tests.
inline constexpr int kForm3Label1 = 3001;
inline constexpr int kForm3Image2 = 3002;
inline constexpr int kForm3Label4 = 3003;
inline constexpr int kForm3Lblink = 3004;
inline constexpr int kForm3Btnclose = 3005;
inline constexpr wchar_t kForm3Class[] = L"TForm3";
inline constexpr wchar_t kForm3Caption[] = L"About..";

class TForm3 final : public DialogWindow, public ModalForm {
 public:
  TForm3(HINSTANCE instance, HWND owner) : DialogWindow(instance, owner) {}
  ~TForm3() override;
  bool Create();

  // ModalForm
  bool Showing() const override { return DialogWindow::Showing(); }
  void ShowModal() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void FormShow();
  void lblinkClick();
  void btncloseClick() { EndModal(); }

  os::win32::UniqueFont font_default_;
  os::win32::UniqueFont font_made_by_;
  os::win32::UniqueFont font_version_;
  os::win32::UniqueFont font_link_;
  os::win32::UniqueBitmap logo_;  // blended onto the button face, at the screen's DPI
  HCURSOR hand_ = nullptr;
};

}  // namespace quillet::app::win32
