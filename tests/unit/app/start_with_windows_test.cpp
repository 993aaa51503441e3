// Settings > Start with Windows on the registry double: the tick follows the
// current user's Run value, the value holds the quoted path, and removing it
// touches nothing but Quillet's own value.
#include "app/start_with_windows.h"

#include <gtest/gtest.h>

#include <string>

#include "os/exception.h"
#include "os/sim/registry_sim.h"

namespace quillet::app {
namespace {

const std::wstring kRun = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kProgram = L"C:\\Program Files\\Quillet\\quillet.exe";

std::wstring StoredText(const os::sim::SimRegistry& registry, const std::wstring& name) {
  const os::RegistryValue value = registry.Value(kRun, name);
  return value.error == os::kErrorSuccess ? os::RegistryStringText(value.data) : L"<none>";
}

struct TickCase {
  const wchar_t* label;
  std::wstring value;
  bool ticked;
};

TEST(StartWithWindowsTest, TickShowsWhetherTheValueNamesThisProgram) {
  const TickCase cases[] = {
      {L"quoted, as written", L"\"" + kProgram + L"\"", true},
      {L"unquoted", kProgram, true},
      {L"other letter case", L"\"c:\\PROGRAM files\\quillet\\Quillet.EXE\"", true},
      {L"blanks around", L"  \"" + kProgram + L"\"  ", true},
      {L"an argument after the quotes", L"\"" + kProgram + L"\" /x", true},
      {L"another copy", L"\"D:\\Tools\\quillet.exe\"", false},
      {L"a longer name", L"\"" + kProgram + L".old\"", false},
      {L"a shorter name", L"\"C:\\Program Files\\Quillet\\quillet\"", false},
      {L"empty", L"", false},
      {L"quotes only", L"\"\"", false},
  };
  for (const TickCase& c : cases) {
    os::sim::SimRegistry registry;
    registry.SetString(kRun, L"Quillet", c.value);
    EXPECT_EQ(StartWithWindows(registry, kProgram).Enabled(), c.ticked) << c.label;
    EXPECT_EQ(registry.OpenHandles(), 0u) << c.label;
  }
}

TEST(StartWithWindowsTest, LettersBeyondAsciiCompareWithoutCase) {
  os::sim::SimRegistry registry;
  registry.SetString(kRun, L"Quillet", L"\"C:\\Users\\\u017Deljko \u00C5s \u0416\\quillet.exe\"");
  EXPECT_TRUE(
      StartWithWindows(registry, L"c:\\users\\\u017Eeljko \u00E5s \u0436\\quillet.exe").Enabled());
  EXPECT_FALSE(StartWithWindows(registry, L"c:\\users\\zeljko as \u0436\\quillet.exe").Enabled());
}

TEST(StartWithWindowsTest, UntickedWithoutKeyValueOrText) {
  {
    os::sim::SimRegistry registry;  // no Run key at all
    EXPECT_FALSE(StartWithWindows(registry, kProgram).Enabled());
  }
  {
    os::sim::SimRegistry registry;
    registry.SetString(kRun, L"Other", L"\"" + kProgram + L"\"");
    EXPECT_FALSE(StartWithWindows(registry, kProgram).Enabled());
  }
  {
    os::sim::SimRegistry registry;
    registry.SetValue(kRun, L"Quillet", os::kRegDword, {1, 0, 0, 0});
    EXPECT_FALSE(StartWithWindows(registry, kProgram).Enabled());
  }
}

TEST(StartWithWindowsTest, ReadsAPathLongerThanTheFirstBuffer) {
  const std::wstring deep = L"C:\\" + std::wstring(900, L'd') + L"\\quillet.exe";
  os::sim::SimRegistry registry;
  registry.SetString(kRun, L"Quillet", L"\"" + deep + L"\"");
  EXPECT_TRUE(StartWithWindows(registry, deep).Enabled());
}

TEST(StartWithWindowsTest, TickingWritesTheQuotedPathAndCreatesTheKey) {
  os::sim::SimRegistry registry;
  StartWithWindows start(registry, kProgram);
  EXPECT_TRUE(start.Toggle());
  const os::RegistryValue value = registry.Value(kRun, L"Quillet");
  ASSERT_EQ(value.error, os::kErrorSuccess);
  EXPECT_EQ(value.type, os::kRegSz);
  EXPECT_EQ(os::RegistryStringText(value.data), L"\"" + kProgram + L"\"");
  EXPECT_EQ(value.data, os::RegistryStringData(L"\"" + kProgram + L"\""));  // null-terminated
  EXPECT_TRUE(start.Enabled());
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(StartWithWindowsTest, TickingReplacesAValueThatNamesAnotherCopy) {
  os::sim::SimRegistry registry;
  registry.SetString(kRun, L"Quillet", L"\"D:\\Tools\\quillet.exe\"");
  StartWithWindows start(registry, kProgram);
  EXPECT_FALSE(start.Enabled());
  EXPECT_TRUE(start.Toggle());
  EXPECT_EQ(StoredText(registry, L"Quillet"), L"\"" + kProgram + L"\"");
}

TEST(StartWithWindowsTest, UntickingRemovesOnlyQuilletsValue) {
  os::sim::SimRegistry registry;
  registry.SetString(kRun, L"Scanner Tray", L"\"C:\\Scan\\tray.exe\"");
  registry.SetString(kRun, L"Quillet", L"\"" + kProgram + L"\"");
  registry.SetString(kRun, L"Quillet Helper", L"\"C:\\Other\\helper.exe\"");
  StartWithWindows start(registry, kProgram);
  EXPECT_FALSE(start.Toggle());
  EXPECT_EQ(StoredText(registry, L"Quillet"), L"<none>");
  EXPECT_EQ(StoredText(registry, L"Scanner Tray"), L"\"C:\\Scan\\tray.exe\"");
  EXPECT_EQ(StoredText(registry, L"Quillet Helper"), L"\"C:\\Other\\helper.exe\"");
  EXPECT_TRUE(registry.KeyExists(kRun));
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(StartWithWindowsTest, RemovingLeavesAnotherCopysValueAndAMissingOneAlone) {
  os::sim::SimRegistry registry;
  registry.SetString(kRun, L"Quillet", L"\"D:\\Tools\\quillet.exe\"");
  StartWithWindows(registry, kProgram).Set(false);
  EXPECT_EQ(StoredText(registry, L"Quillet"), L"\"D:\\Tools\\quillet.exe\"");

  os::sim::SimRegistry empty;
  EXPECT_NO_THROW(StartWithWindows(empty, kProgram).Set(false));
  EXPECT_FALSE(empty.KeyExists(kRun));
}

TEST(StartWithWindowsTest, TheTickFollowsChangesMadeElsewhere) {
  os::sim::SimRegistry registry;
  StartWithWindows start(registry, kProgram);
  registry.SetString(kRun, L"Quillet", L"\"" + kProgram + L"\"");
  EXPECT_TRUE(start.Enabled());
  registry.SetString(kRun, L"Quillet", L"\"D:\\Tools\\quillet.exe\"");
  EXPECT_FALSE(start.Enabled());
}

TEST(StartWithWindowsTest, ARefusedWriteOrRemovalIsReportedAndChangesNothing) {
  for (const bool ticked : {false, true}) {
    os::sim::SimRegistry registry;
    registry.SetString(kRun, L"Other", L"x");
    if (ticked) registry.SetString(kRun, L"Quillet", L"\"" + kProgram + L"\"");
    registry.FailWrites(os::kErrorAccessDenied);
    StartWithWindows start(registry, kProgram);
    try {
      start.Toggle();
      ADD_FAILURE() << "no error, ticked " << ticked;
    } catch (const Exception& error) {
      EXPECT_NE(error.Message().find(L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\"
                                     L"CurrentVersion\\Run\\Quillet"),
                std::wstring::npos)
          << error.what();
      EXPECT_NE(error.Message().find(L"error 5"), std::wstring::npos) << error.what();
    }
    EXPECT_EQ(start.Enabled(), ticked);
    EXPECT_EQ(StoredText(registry, L"Other"), L"x");
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
}

}  // namespace
}  // namespace quillet::app
