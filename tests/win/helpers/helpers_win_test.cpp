// The Win32 helpers on real objects: each handle owner takes its creator's
// failure value for "none" and closes a real handle exactly once; the guard
// keeps a throwing handler's exception inside the window procedure.
#include <windows.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "os/win32/helpers/unique_handle.h"
#include "os/win32/helpers/window_object.h"

namespace quillet::os::win32 {
namespace {

bool HandleIsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

// The failure value each creating call really returns, taken as empty; a
// NULL-invalid owner would close INVALID_HANDLE_VALUE (the current process's
// pseudo-handle) and a file owner would take NULL for an open file.
TEST(UniqueHandleTest, EachOwnerTakesItsCreatorsFailureForNone) {
  const UniqueFileHandle missing_file(CreateFileW(L"Z:\\no\\such\\quillet\\file.txt", GENERIC_READ,
                                                  0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                  nullptr));
  EXPECT_EQ(missing_file.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(missing_file);

  const UniqueKernelHandle no_process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0));
  EXPECT_EQ(no_process.get(), nullptr);
  EXPECT_FALSE(no_process);

  // A name taken by a mutex cannot name an event.
  const UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, L"QuilletHelpersTestName"));
  ASSERT_TRUE(mutex);
  const UniqueKernelHandle clash(CreateEventW(nullptr, TRUE, FALSE, L"QuilletHelpersTestName"));
  EXPECT_EQ(clash.get(), nullptr);
  EXPECT_FALSE(clash);

  const UniqueFileHandle empty_file;
  EXPECT_EQ(empty_file.get(), INVALID_HANDLE_VALUE);
}

TEST(UniqueHandleTest, ARealHandleIsClosedOnceByItsLastOwner) {
  UniqueKernelHandle first(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(first);
  const HANDLE raw = first.get();
  UniqueKernelHandle second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_TRUE(HandleIsOpen(raw));  // the moved-from owner let go without closing
  {
    UniqueKernelHandle third;
    third = std::move(second);
    EXPECT_TRUE(HandleIsOpen(raw));
  }
  EXPECT_FALSE(HandleIsOpen(raw));

  wchar_t path[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"qhl", 0, path), 0u);
  UniqueFileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  ASSERT_TRUE(file);
  const HANDLE file_raw = file.get();
  file.reset();
  EXPECT_FALSE(HandleIsOpen(file_raw));
  EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);  // closed, so deleted
}

// A window whose object throws from the handler of one message.
struct Thrower {
  HWND hwnd = nullptr;
  int reports = 0;
  std::string reported;
  int handled = 0;

  LRESULT Handle(UINT message, WPARAM wparam) {
    if (message != WM_APP) return -1;
    ++handled;
    if (wparam == 1) throw std::runtime_error("handler failed");
    if (wparam == 2) throw 42;
    return 7;
  }
  void Report() {
    ++reports;
    try {
      throw;
    } catch (const std::exception& e) {
      reported = e.what();
    } catch (...) {
      reported = "other";
      throw std::logic_error("the report fails too");
    }
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self =
        WindowObject<Thrower>(hwnd, message, lparam, [hwnd](Thrower* t) { t->hwnd = hwnd; });
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      ForgetWindowObject(hwnd);
      self->hwnd = nullptr;
    }
    if (message != WM_APP) return DefWindowProcW(hwnd, message, wparam, lparam);
    return CallGuarded<LRESULT>(
        -5, [&] { return self->Handle(message, wparam); }, [self] { self->Report(); });
  }
};

TEST(WindowObjectTest, AThrowingHandlerIsReportedAndAnsweredSafelyAndTheWindowLivesOn) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Thrower::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuilletHelpersThrower";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  Thrower thrower;
  const HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, wc.hInstance, &thrower);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(thrower.hwnd, hwnd);  // attached at WM_NCCREATE

  EXPECT_EQ(SendMessageW(hwnd, WM_APP, 1, 0), -5);
  EXPECT_EQ(thrower.reports, 1);
  EXPECT_EQ(thrower.reported, "handler failed");
  // A report that throws as well is dropped; the answer is still the safe one.
  EXPECT_EQ(SendMessageW(hwnd, WM_APP, 2, 0), -5);
  EXPECT_EQ(thrower.reports, 2);
  EXPECT_EQ(thrower.reported, "other");
  EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 7);
  EXPECT_EQ(thrower.handled, 3);

  DestroyWindow(hwnd);
  EXPECT_EQ(thrower.hwnd, nullptr);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

}  // namespace
}  // namespace quillet::os::win32
