// TMonitorForm: the Monitor window on Win32. A modeless window owned by the
// main window (above it, never blocking it) listing the reception record,
// newest at the bottom, with "Hexadecimal", "Copy" and "Clear". It exists
// only while shown: closed, it costs nothing, and the record is kept by the
// main window's logic alone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/monitor_form.h"
#include "app/reception/reception_record.h"
#include "app/services.h"
#include "os/win32/helpers/unique_handle.h"

namespace quillet::app::win32 {

class TMonitorForm final : public ModelessForm {
 public:
  // dpi 0: the screen's, as the main window has it; tests lay it out at others.
  TMonitorForm(HINSTANCE instance, HWND owner, Services services,
               reception::ReceptionRecord& record, int dpi = 0);
  TMonitorForm(const TMonitorForm&) = delete;
  TMonitorForm& operator=(const TMonitorForm&) = delete;
  ~TMonitorForm() override;

  // Creates the window at its stored place (or beside the owner) when it is
  // closed, and brings it forward.
  void Show() override;
  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeyHook(int code, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool Create();
  void CreateControls();
  void Layout();
  void PlaceWindow();
  void SavePlace();
  // The record changed: one refresh after a short delay, however many rows came.
  void RecordChanged();
  void Refresh();
  LRESULT OnNotify(const NMHDR& header);
  void CopyToClipboard();
  bool Hex() const;

  HINSTANCE instance_;
  HWND owner_;
  Services services_;
  reception::ReceptionRecord& record_;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  int fixed_dpi_;
  int dpi_ = 96;
  os::win32::UniqueFont font_;
  bool refresh_armed_ = false;
  std::uint64_t shown_version_ = 0;
  bool shown_hex_ = false;
  std::wstring cell_;  // the text handed to the list for one cell
  HHOOK key_hook_ = nullptr;
};

}  // namespace quillet::app::win32
