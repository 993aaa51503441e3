#include "app/main_window_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

namespace quillet::app {
namespace {

TEST(MainWindowLayout, DeviceRowsStandWhereTheLayoutPutsThem) {
  const struct {
    int button_top;
    int button_height;
    int row_top;
    const wchar_t* caption;
  } rows[kRowCount] = {
      {15, 23, 19, L"Device 1"},   {59, 24, 63, L"Device 2"},    {105, 23, 109, L"Device 3"},
      {149, 23, 152, L"Device 4"}, {193, 23, 197, L"Device 5 "}, {237, 23, 241, L"Device 6 "},
      {281, 24, 285, L"Device 7"}, {327, 23, 331, L"Device 8 "},
  };
  for (int row = 1; row <= kRowCount; ++row) {
    const auto& expected = rows[row - 1];
    const std::wstring n = std::to_wstring(row);
    const ControlSpec* button = FindControl(L"btnskener" + n);
    const ControlSpec* label = FindControl(L"lbstatus" + n);
    const ControlSpec* box = FindControl(L"cbotvori" + n);
    ASSERT_TRUE(button && label && box) << row;
    EXPECT_EQ(button->id, DeviceButtonId(row));
    EXPECT_EQ(label->id, StatusLabelId(row));
    EXPECT_EQ(box->id, OpenCheckBoxId(row));
    EXPECT_EQ(button->caption, expected.caption);
    EXPECT_EQ(button->tag, row);
    EXPECT_EQ(label->tag, row);
    EXPECT_EQ(label->caption, L"Port status:");
    EXPECT_EQ(box->caption, L"Open");
    EXPECT_EQ((std::array{button->bounds.left, button->bounds.top, button->bounds.width,
                          button->bounds.height}),
              (std::array{7, expected.button_top, 90, expected.button_height}));
    EXPECT_EQ((std::array{label->bounds.left, label->bounds.top, label->bounds.height}),
              (std::array{117, expected.row_top, 13}));
    EXPECT_EQ(
        (std::array{box->bounds.left, box->bounds.top, box->bounds.width, box->bounds.height}),
        (std::array{248, expected.row_top, 54, 20}));
  }
}

TEST(MainWindowLayout, NamesAndIdsAreUniqueAndFoundEitherWay) {
  std::set<int> ids;
  std::set<std::wstring> names;
  for (const ControlSpec& entry : kMainWindowControls) {
    EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
    EXPECT_TRUE(names.insert(std::wstring(entry.name)).second);
    EXPECT_EQ(FindControlById(entry.id), &entry);
    EXPECT_EQ(FindControl(entry.name), &entry);
  }
  for (const MenuItemSpec& item : kMenuItems) EXPECT_TRUE(ids.insert(item.id).second) << item.id;
  EXPECT_EQ(FindControl(L"CBOTVORI3"), FindControl(L"cbotvori3"));
  EXPECT_EQ(FindControl(L"cbotvori9"), nullptr);
  EXPECT_EQ(FindControlById(0), nullptr);
}

TEST(MainWindowLayout, MenuShowsEveryItemAdvancedBehindItsSeparator) {
  for (const MenuItemSpec& item : kMenuItems) {
    EXPECT_FALSE(item.hidden) << std::wstring(item.name);
  }
  EXPECT_EQ(FindMenuItem(L"Advanced1")->icon, 6);
  EXPECT_EQ(FindMenuItem(L"mnRunMinimized")->caption, L"Run Minimized");
  EXPECT_EQ(FindMenuItem(L"help1")->caption, L"Help");
}

TEST(ScaleForDpi, RoundsLikeMulDiv) {
  const struct {
    int value, dpi, scaled;
  } cases[] = {
      {558, 96, 558}, {558, 120, 698}, {404, 144, 606}, {23, 120, 29},   {13, 120, 16},
      {11, 120, 14},  {7, 168, 12},    {3, 120, 4},     {-11, 120, -14}, {0, 192, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScaleForDpi(c.value, c.dpi), c.scaled) << c.value << " @ " << c.dpi;
  const LayoutRect r = ScaleForDpi(LayoutRect{7, 15, 90, 23}, 144);
  EXPECT_EQ((std::array{r.left, r.top, r.width, r.height}), (std::array{11, 23, 135, 35}));
}

}  // namespace
}  // namespace quillet::app
