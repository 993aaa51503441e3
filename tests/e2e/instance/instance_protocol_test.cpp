// The guard's exchange between two processes of one program file, seen from
// the running copy: this test program is the first copy and starts itself
// again as the second. The second copy is told about (code 1), sends its
// command line by WM_COPYDATA and is rejected; when the first copy answers
// the query with "inactive", the second goes on.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/single_instance_app_window.h"
#include "app/win32/single_instance_guard.h"

namespace win32 = quillet::app::win32;

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr int kChildRejected = 10;
constexpr int kChildRuns = 11;

// The second copy: the same start-up steps as quillet.exe, reported by exit code.
int RunSecondCopy() {
  win32::TApplicationWindow application(GetModuleHandleW(nullptr));
  win32::TAppInstances instances(GetModuleHandleW(nullptr));
  return instances.Check() == win32::TAppInstances::CheckResult::Rejected ? kChildRejected
                                                                          : kChildRuns;
}

// Runs the second copy while pumping this thread's messages, as the running
// copy's message loop would; returns its exit code.
DWORD RunChild(const std::wstring& arguments) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --second-copy " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return 0xFFFFFFFF;
  }
  const DWORD end = GetTickCount() + kWaitMs;
  while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (static_cast<LONG>(end - GetTickCount()) <= 0) TerminateProcess(info.hProcess, 0xFFFFFFFE);
  }
  // Code 1 is posted, not sent: let it arrive.
  for (int i = 0; i < 10; ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

class GuardExchange : public testing::Test {
 protected:
  void SetUp() override {
    instances_.FOnInstanceCreated = [this](win32::TAppInstances&, std::uint32_t id) {
      created_.push_back(id);
    };
    instances_.FOnCmdLineReceived = [this](win32::TAppInstances&,
                                           const std::vector<std::wstring>& parameters) {
      command_lines_.push_back(parameters);
    };
    ASSERT_TRUE(instances_.Active());
    ASSERT_EQ(instances_.Check(), win32::TAppInstances::CheckResult::Run);
  }

  win32::TApplicationWindow application_{GetModuleHandleW(nullptr)};
  win32::TAppInstances instances_{GetModuleHandleW(nullptr)};
  std::vector<std::uint32_t> created_;
  std::vector<std::vector<std::wstring>> command_lines_;
};

TEST_F(GuardExchange, ASecondCopyIsAnnouncedSendsItsCommandLineAndIsRejected) {
  EXPECT_EQ(RunChild(L"alpha \"b c\""), static_cast<DWORD>(kChildRejected));
  ASSERT_EQ(created_.size(), 1u) << "code 1 with the second copy's ID";
  EXPECT_NE(created_[0], GetCurrentProcessId());
  ASSERT_EQ(command_lines_.size(), 1u);
  EXPECT_EQ(command_lines_[0], (std::vector<std::wstring>{L"--second-copy", L"alpha", L"b c"}));

  // The rejected copy unregistered: the next one is rejected the same way.
  EXPECT_EQ(RunChild(L""), static_cast<DWORD>(kChildRejected));
}

TEST_F(GuardExchange, AnInactiveAnswerLetsTheSecondCopyRun) {
  instances_.SetActive(false);
  EXPECT_EQ(RunChild(L""), static_cast<DWORD>(kChildRuns));
  EXPECT_TRUE(command_lines_.empty());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--second-copy") return RunSecondCopy();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
