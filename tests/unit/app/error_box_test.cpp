#include "app/error_box.h"

#include <gtest/gtest.h>

namespace quillet::app {
namespace {

TEST(ApplicationTitle, IsTheFileNameUpToItsFirstFullStopWithLaterLettersInLowerCase) {
  const struct {
    const wchar_t* path;
    const wchar_t* title;
  } cases[] = {
      {L"C:\\Program Files\\Quillet\\QUILLET.EXE", L"Quillet"},
      {L"C:\\Apps\\quillet.exe", L"quillet"},  // the first letter keeps its case
      {L"Z:\\build\\QuilLet.Test.exe", L"Quillet"},
      {L"D:/mixed/path\\APP", L"App"},
      {L"QUILLET.EXE", L"Quillet"},
      {L"C:\\dir.with.dots\\X.EXE", L"X"},
      {L"C:\\x\\.hidden", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ApplicationTitle(c.path), c.title) << c.path;
}

TEST(ErrorBoxText, AppendsAFullStopOnlyAfterACharacterAboveTheFullStop) {
  const struct {
    const wchar_t* message;
    const wchar_t* text;
  } cases[] = {
      {L"Port Not Open", L"Port Not Open."},
      {L"Unable to write to C:\\x\\skeneri.ini", L"Unable to write to C:\\x\\skeneri.ini."},
      {L"Failed to load settings.", L"Failed to load settings."},  // '.' itself: no second one
      {L"Error!", L"Error!"},                                      // 0x21
      {L"Value (3)", L"Value (3)"},                                // ')' is 0x29
      {L"Path /", L"Path /."},                                     // '/' is 0x2F, just above
      {L"Code 7", L"Code 7."},
      {L"Ends in a blank ", L"Ends in a blank "},
      {L"\u0161", L"\u0161."},  // letters beyond ASCII are above it too
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.text) << c.message;
}

}  // namespace
}  // namespace quillet::app
