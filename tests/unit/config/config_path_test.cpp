#include "config/config_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "os/sim/shell_sim.h"
#include "temp_folder.h"

namespace quillet::config {
namespace {

TEST(ConfigPath, FollowsTheAppDataFolder) {
  os::sim::SimShell shell;
  shell.SetAppDataFolder(L"C:\\Users\\ana\\AppData\\Roaming");
  EXPECT_EQ(ConfigFolder(shell), L"C:\\Users\\ana\\AppData\\Roaming\\Brovana\\Quillet");
  EXPECT_EQ(ConfigFilePath(shell),
            L"C:\\Users\\ana\\AppData\\Roaming\\Brovana\\Quillet\\skeneri.ini");
}

TEST(ConfigPath, WithoutAppDataFolderStartsAtTheDriveRoot) {
  os::sim::SimShell shell;
  shell.FailAppDataFolder();
  EXPECT_EQ(ConfigFolder(shell), L"\\Brovana\\Quillet");
  EXPECT_EQ(ConfigFilePath(shell), L"\\Brovana\\Quillet\\skeneri.ini");
}

TEST(ConfigPath, EnsureConfigFolderCreatesEveryMissingLevel) {
  testing::TempFolder temp;
  os::sim::SimShell shell;
  shell.SetAppDataFolder(temp.Windows("Users") + L"\\ana\\Roaming");
  EnsureConfigFolder(shell);
  EXPECT_TRUE(std::filesystem::is_directory(temp.Native() / "Users/ana/Roaming/Brovana/Quillet"));
  EXPECT_TRUE(shell.DirectoryExists(ConfigFolder(shell)));
  EXPECT_FALSE(shell.FileExists(ConfigFilePath(shell)));

  EnsureConfigFolder(shell);  // an existing folder is fine
  temp.WriteBytes("Users/ana/Roaming/Brovana/Quillet/skeneri.ini", "[Startup]\r\n");
  EXPECT_TRUE(shell.FileExists(ConfigFilePath(shell)));
  EXPECT_FALSE(shell.FileExists(ConfigFolder(shell)));
}

TEST(ConfigPath, EnsureConfigFolderFailsQuietly) {
  testing::TempFolder temp;
  temp.WriteBytes("blocker", "a file where a folder should be");
  os::sim::SimShell shell;
  shell.SetAppDataFolder(temp.Windows("blocker"));
  EXPECT_NO_THROW(EnsureConfigFolder(shell));
  EXPECT_FALSE(shell.DirectoryExists(ConfigFolder(shell)));
}

}  // namespace
}  // namespace quillet::config
