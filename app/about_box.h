// What the about box and Help > Help open through the shell.
#pragma once

#include <string>
#include <string_view>

namespace quillet::app {

// The product's web page, opened by "Visit web page".
inline constexpr std::wstring_view kProductWebPage = L"https://quillet.brovana.example/";
inline constexpr std::wstring_view kHelpFileName = L"quillet.chm";

// The program file's folder with its trailing backslash, then "quillet.chm".
// The path goes to the shell as one item, blanks and all.
std::wstring HelpFilePath(std::wstring_view exe_path);

}  // namespace quillet::app
