// quillet.exe: start-up of the program.
#include <windows.h>
#include <commctrl.h>

#include "app/services.h"
#include "app/win32/about_dialog.h"
#include "app/win32/advanced_dialog.h"
#include "app/win32/error_box_win32.h"
#include "app/win32/main_window.h"
#include "app/win32/single_instance_app_window.h"
#include "app/win32/startup_probe.h"
#include "app/win32/win32_services.h"
#include "os/win32/helpers/window_object.h"

namespace {

int RunMessageLoop(HWND main_window) {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (main_window != nullptr && IsWindow(main_window) && IsDialogMessageW(main_window, &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

int Run(HINSTANCE instance, int show_command) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  quillet::app::win32::Win32Services platform;
  const quillet::app::Services services = platform.Get();

  // The other copies of the program find this one through its application window.
  quillet::app::win32::TApplicationWindow application(instance);
  // The single-instance guard, the serial engine's hand-over and the tray
  // icon join here, before the main window's creation handler runs.
  quillet::app::win32::TForm1 form1(instance, services);
  if (!form1.Create()) return form1.SecondCopy() ? 0 : 1;
  application.SetMainWindow(form1.Handle());
  // The window is painted first; what it does not need for that follows
  // before the message loop runs, so no command can find the dialogs missing.
  form1.Show(show_command);
  // The dialogs, hidden and owned by the main window; Form2's creation loads
  // the advanced settings into it and into the main window's fields.
  quillet::app::win32::TForm2 form2(instance, form1.Handle(), services, form1.Logic().Advanced());
  if (form2.Create()) form1.Logic().SetAdvancedDialog(&form2);
  quillet::app::win32::TForm3 form3(instance, form1.Handle());
  if (form3.Create()) form1.Logic().SetAboutBox(&form3);
  // Last: the shell's answer may let messages sent by other programs in.
  form1.ActivateTrayIcon();
  return RunMessageLoop(form1.Handle());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int show_command) {
  quillet::app::win32::MarkStartupEntry();
  // An error that escapes start-up or the message loop is shown, and the
  // program ends with a failure code; the windows have gone by then.
  return quillet::os::win32::CallGuarded<int>(
      1, [&] { return Run(instance, show_command); },
      [] {
        // The main window's end may have asked to quit, which would close
        // the box at once.
        MSG quit{};
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        quillet::app::win32::ShowCurrentExceptionBox(nullptr);
      });
}
