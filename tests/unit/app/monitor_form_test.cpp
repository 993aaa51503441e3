// The Monitor window's place in the configuration file and on the screen,
// and when its list follows the newest row.
#include "app/monitor_form.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "config/ini_file.h"
#include "os/exception.h"
#include "os/sim/profile_sim.h"
#include "tests/unit/config/temp_folder.h"

namespace quillet::app {
namespace {

std::tuple<int, int, int, int> Tie(const LayoutRect& r) {
  return {r.left, r.top, r.width, r.height};
}

class MonitorPlaceTest : public ::testing::Test {
 protected:
  config::testing::TempFolder folder_;
  os::sim::SimProfile profile_;
  config::TIniFile ini_{profile_, folder_.Windows("skeneri.ini")};
};

TEST_F(MonitorPlaceTest, RoundTripsBesideTheOtherSectionsAndLeavesThemAlone) {
  folder_.WriteBytes("skeneri.ini", "[Aktivacija]\r\ncbotvori1=1\r\n");
  SaveMonitorPlace(ini_, {-1200, 40, 700, 300});
  const MonitorPlace place = LoadMonitorPlace(ini_);
  EXPECT_TRUE(place.known);
  EXPECT_EQ(Tie(place.rect), Tie({-1200, 40, 700, 300}));
  EXPECT_EQ(folder_.ReadBytes("skeneri.ini"),
            "[Aktivacija]\r\ncbotvori1=1\r\n"
            "[Monitor]\r\nLeft=-1200\r\nTop=40\r\nWidth=700\r\nHeight=300\r\n");
}

TEST_F(MonitorPlaceTest, AMissingOrBadValueGivesNoPlaceAndASmallSizeIsRaised) {
  const struct {
    const char* section;
    bool known;
    LayoutRect rect;
  } cases[] = {
      {"", false, {}},
      {"Left=10\r\nTop=20\r\nWidth=500\r\n", false, {}},
      {"Left=ten\r\nTop=20\r\nWidth=500\r\nHeight=200\r\n", false, {}},
      {"Left=10\r\nTop=20\r\nWidth=0\r\nHeight=200\r\n", false, {}},
      {"Left=10\r\nTop=20\r\nWidth=500\r\nHeight=-5\r\n", false, {}},
      {"Left=10\r\nTop=20\r\nWidth=500\r\nHeight=200\r\n", true, {10, 20, 500, 200}},
      {"Left=10\r\nTop=20\r\nWidth=30\r\nHeight=2\r\n",
       true,
       {10, 20, kMonitorMinWidth, kMonitorMinHeight}},
  };
  for (const auto& c : cases) {
    folder_.WriteBytes("skeneri.ini", std::string("[Monitor]\r\n") + c.section);
    const MonitorPlace place = LoadMonitorPlace(ini_);
    EXPECT_EQ(place.known, c.known) << c.section;
    if (c.known) {
      EXPECT_EQ(Tie(place.rect), Tie(c.rect)) << c.section;
    }
  }
}

TEST_F(MonitorPlaceTest, AFailedWriteIsReported) {
  profile_.SetReadOnlyMedium(true);
  EXPECT_THROW(SaveMonitorPlace(ini_, {0, 0, 640, 320}), Exception);
}

TEST(MonitorPlace, KeptInsideTheWorkArea) {
  const LayoutRect work{0, 0, 1024, 738};
  const struct {
    LayoutRect stored;
    LayoutRect shown;
  } cases[] = {
      {{100, 100, 640, 320}, {100, 100, 640, 320}},    // on the screen: as it was
      {{3000, 2000, 640, 320}, {384, 418, 640, 320}},  // a screen that is gone
      {{-900, -50, 640, 320}, {0, 0, 640, 320}},
      {{900, 100, 640, 320}, {384, 100, 640, 320}},  // partly off the right edge
      {{10, 10, 2000, 1000}, {0, 0, 1024, 738}},     // larger than the screen
      {{2147483000, 2147483000, 640, 320}, {384, 418, 640, 320}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tie(KeepInside(c.stored, work)), Tie(c.shown))
        << c.stored.left << "," << c.stored.top;
  }
  // A work area that does not start at the origin (a second screen left of the first).
  EXPECT_EQ(Tie(KeepInside({-100, 50, 640, 320}, {-1920, 0, 1920, 1040})),
            Tie({-640, 50, 640, 320}));
}

TEST(MonitorList, FollowsTheNewestRowOnlyWhileItIsShown) {
  const struct {
    int top, per_page, count;
    bool follows;
  } cases[] = {
      {0, 10, 0, true},    {0, 10, 5, true},     {0, 10, 10, true},
      {5, 10, 15, true},   {4, 10, 15, false},  // scrolled up by one: the user reads older rows
      {0, 10, 500, false}, {490, 10, 500, true}, {0, 0, 1, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShowsNewest(c.top, c.per_page, c.count), c.follows)
        << c.top << " " << c.per_page << " " << c.count;
  }
}

}  // namespace
}  // namespace quillet::app
