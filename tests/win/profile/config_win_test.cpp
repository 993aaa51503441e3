// The configuration layer on the real shell and profile functions.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "config/config_path.h"
#include "config/ini_file.h"
#include "os/exception.h"
#include "os/win32/profile_win32.h"
#include "os/win32/shell_win32.h"

namespace quillet::config {
namespace {

namespace fs = std::filesystem;

// The real folder calls under a temporary "application-data" folder, so the
// test never touches the prefix's own.
class TempAppDataShell final : public os::ShellApi {
 public:
  explicit TempAppDataShell(std::wstring folder) : folder_(std::move(folder)) {}
  std::wstring AppDataFolder() override { return folder_; }
  bool DirectoryExists(const std::wstring& path) override { return real_.DirectoryExists(path); }
  bool MakeDirectory(const std::wstring& path) override { return real_.MakeDirectory(path); }
  bool FileExists(const std::wstring& path) override { return real_.FileExists(path); }

 private:
  std::wstring folder_;
  os::win32::Win32ShellApi real_;
};

class ConfigWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() / ("quillet-config-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path root_;
};

TEST_F(ConfigWinTest, ShellGivesTheRoamingAppDataFolder) {
  os::win32::Win32ShellApi shell;
  const std::wstring folder = shell.AppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  EXPECT_TRUE(shell.DirectoryExists(folder));
  EXPECT_EQ(ConfigFilePath(shell), folder + L"\\Brovana\\Quillet\\skeneri.ini");
}

TEST_F(ConfigWinTest, FolderCreatedWithParentsThenTheFileWithTheFirstWrite) {
  TempAppDataShell shell(root_.wstring() + L"\\Users\\ana\\Roaming");
  EnsureConfigFolder(shell);
  EXPECT_TRUE(shell.DirectoryExists(ConfigFolder(shell)));
  EXPECT_FALSE(shell.FileExists(ConfigFilePath(shell)));

  os::win32::Win32ProfileApi profile;
  TIniFile ini(profile, ConfigFilePath(shell));
  ini.WriteBool(L"Aktivacija", L"cbotvori1", true);
  EXPECT_TRUE(shell.FileExists(ConfigFilePath(shell)));
  EXPECT_FALSE(shell.FileExists(ConfigFolder(shell)));
  EXPECT_TRUE(ini.ReadBool(L"Aktivacija", L"cbotvori1", false));

  const std::wstring prefix(3000, L'p');
  ini.WriteString(L"Napredna", L"Prefiks", prefix);
  EXPECT_EQ(ini.ReadString(L"Napredna", L"Prefiks", L""), prefix.substr(0, 2047));
}

TEST_F(ConfigWinTest, WriteIntoMissingFolderThrowsWithThePath) {
  os::win32::Win32ProfileApi profile;
  const std::wstring path = root_.wstring() + L"\\missing\\skeneri.ini";
  TIniFile ini(profile, path);
  try {
    ini.WriteBool(L"Aktivacija", L"cbotvori1", true);
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), L"Unable to write to " + path);
  }
}

}  // namespace
}  // namespace quillet::config
