#include "app/about_box.h"

#include <gtest/gtest.h>

#include "app/version.h"

namespace quillet::app {
namespace {

TEST(VersionTest, ShowsMajorMinorReleaseFromTheFixedInfoAndLeavesTheBuildOut) {
  struct Case {
    std::uint32_t ms, ls;
    const wchar_t* caption;
  };
  const Case cases[] = {
      {0x00010000, 0x00050000, L"v1.0.5"},
      {0x00010000, 0x00050007, L"v1.0.5"},       // 1.0.5.7: same label
      {0xFFFF0002, 0x000A0000, L"v65535.2.10"},  // unsigned 16-bit parts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionCaption(FileVersionFromFixedInfo(c.ms, c.ls)), c.caption);
  }
  EXPECT_EQ(FileVersionFromFixedInfo(0x00010000, 0x00050007).build, 7);
}

TEST(HelpFileTest, IsQuilletChmBesideTheProgramFile) {
  EXPECT_EQ(HelpFilePath(L"C:\\Program Files\\Brovana Tools\\quillet.exe"),
            L"C:\\Program Files\\Brovana Tools\\quillet.chm");
  EXPECT_EQ(HelpFilePath(L"Z:\\quillet.exe"), L"Z:\\quillet.chm");
}

}  // namespace
}  // namespace quillet::app
