// The planned keys, layout by layout, for every printable Latin-1 character
// and the euro sign, with Caps Lock off and on. Under Caps Lock a key Caps
// Lock changes is pressed with Shift the other way (German digits, French
// digits and é è ç à), so nothing a plain key can type goes as a Unicode
// event; dead keys and characters the layout lacks do.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/typing.h"
#include "os/sim/keyboard_sim.h"
#include "os/sim/layouts.h"

namespace quillet::app {
namespace {

// A plan in the table's notation: the virtual key in hex after its
// modifiers, "S+" Shift, "G+" AltGr (Ctrl+Alt), "SG+" both; "U" a Unicode
// key event.
struct Plans {
  const char* capsOff;
  const char* capsOn;
};
constexpr Plans U{"U", "U"};

struct Row {
  wchar_t ch;
  Plans us, german, french, uk;
};

// clang-format off
const Row kRows[] = {
    // Character, then {Caps Lock off, Caps Lock on} for US, German, French, UK.
    {L' ', {"20", "20"}, {"20", "20"}, {"20", "20"}, {"20", "20"}},
    {L'!', {"S+31", "S+31"}, {"S+31", "31"}, {"DF", "S+DF"}, {"S+31", "S+31"}},
    {L'"', {"S+DE", "S+DE"}, {"S+32", "32"}, {"33", "S+33"}, {"S+32", "S+32"}},
    {L'#', {"S+33", "S+33"}, {"BF", "S+BF"}, {"G+33", "G+33"}, {"DE", "DE"}},
    {L'$', {"S+34", "S+34"}, {"S+34", "34"}, {"BA", "S+BA"}, {"S+34", "S+34"}},
    {L'%', {"S+35", "S+35"}, {"S+35", "35"}, {"S+C0", "C0"}, {"S+35", "S+35"}},
    {L'&', {"S+37", "S+37"}, {"S+36", "36"}, {"31", "S+31"}, {"S+37", "S+37"}},
    {L'\'', {"DE", "DE"}, {"S+BF", "BF"}, {"34", "S+34"}, {"C0", "C0"}},
    {L'(', {"S+39", "S+39"}, {"S+38", "38"}, {"35", "S+35"}, {"S+39", "S+39"}},
    {L')', {"S+30", "S+30"}, {"S+39", "39"}, {"DB", "S+DB"}, {"S+30", "S+30"}},
    {L'*', {"S+38", "S+38"}, {"S+BB", "BB"}, {"DC", "S+DC"}, {"S+38", "S+38"}},
    {L'+', {"S+BB", "S+BB"}, {"BB", "S+BB"}, {"S+BB", "BB"}, {"S+BB", "S+BB"}},
    {L',', {"BC", "BC"}, {"BC", "S+BC"}, {"BC", "S+BC"}, {"BC", "BC"}},
    {L'-', {"BD", "BD"}, {"BD", "BD"}, {"36", "S+36"}, {"BD", "BD"}},
    {L'.', {"BE", "BE"}, {"BE", "S+BE"}, {"S+BE", "BE"}, {"BE", "BE"}},
    {L'/', {"BF", "BF"}, {"S+37", "37"}, {"S+BF", "BF"}, {"BF", "BF"}},
    {L'0', {"30", "30"}, {"30", "S+30"}, {"S+30", "30"}, {"30", "30"}},
    {L'1', {"31", "31"}, {"31", "S+31"}, {"S+31", "31"}, {"31", "31"}},
    {L'2', {"32", "32"}, {"32", "S+32"}, {"S+32", "32"}, {"32", "32"}},
    {L'3', {"33", "33"}, {"33", "S+33"}, {"S+33", "33"}, {"33", "33"}},
    {L'4', {"34", "34"}, {"34", "S+34"}, {"S+34", "34"}, {"34", "34"}},
    {L'5', {"35", "35"}, {"35", "S+35"}, {"S+35", "35"}, {"35", "35"}},
    {L'6', {"36", "36"}, {"36", "S+36"}, {"S+36", "36"}, {"36", "36"}},
    {L'7', {"37", "37"}, {"37", "S+37"}, {"S+37", "37"}, {"37", "37"}},
    {L'8', {"38", "38"}, {"38", "S+38"}, {"S+38", "38"}, {"38", "38"}},
    {L'9', {"39", "39"}, {"39", "S+39"}, {"S+39", "39"}, {"39", "39"}},
    {L':', {"S+BA", "S+BA"}, {"S+BE", "BE"}, {"BF", "S+BF"}, {"S+BA", "S+BA"}},
    {L';', {"BA", "BA"}, {"S+BC", "BC"}, {"BE", "S+BE"}, {"BA", "BA"}},
    {L'<', {"S+BC", "S+BC"}, {"E2", "E2"}, {"E2", "E2"}, {"S+BC", "S+BC"}},
    {L'=', {"BB", "BB"}, {"S+30", "30"}, {"BB", "S+BB"}, {"BB", "BB"}},
    {L'>', {"S+BE", "S+BE"}, {"S+E2", "S+E2"}, {"S+E2", "S+E2"}, {"S+BE", "S+BE"}},
    {L'?', {"S+BF", "S+BF"}, {"S+DB", "DB"}, {"S+BC", "BC"}, {"S+BF", "S+BF"}},
    {L'@', {"S+32", "S+32"}, {"G+51", "G+51"}, {"G+30", "G+30"}, {"S+C0", "S+C0"}},
    {L'A', {"S+41", "41"}, {"S+41", "41"}, {"S+41", "41"}, {"S+41", "41"}},
    {L'B', {"S+42", "42"}, {"S+42", "42"}, {"S+42", "42"}, {"S+42", "42"}},
    {L'C', {"S+43", "43"}, {"S+43", "43"}, {"S+43", "43"}, {"S+43", "43"}},
    {L'D', {"S+44", "44"}, {"S+44", "44"}, {"S+44", "44"}, {"S+44", "44"}},
    {L'E', {"S+45", "45"}, {"S+45", "45"}, {"S+45", "45"}, {"S+45", "45"}},
    {L'F', {"S+46", "46"}, {"S+46", "46"}, {"S+46", "46"}, {"S+46", "46"}},
    {L'G', {"S+47", "47"}, {"S+47", "47"}, {"S+47", "47"}, {"S+47", "47"}},
    {L'H', {"S+48", "48"}, {"S+48", "48"}, {"S+48", "48"}, {"S+48", "48"}},
    {L'I', {"S+49", "49"}, {"S+49", "49"}, {"S+49", "49"}, {"S+49", "49"}},
    {L'J', {"S+4A", "4A"}, {"S+4A", "4A"}, {"S+4A", "4A"}, {"S+4A", "4A"}},
    {L'K', {"S+4B", "4B"}, {"S+4B", "4B"}, {"S+4B", "4B"}, {"S+4B", "4B"}},
    {L'L', {"S+4C", "4C"}, {"S+4C", "4C"}, {"S+4C", "4C"}, {"S+4C", "4C"}},
    {L'M', {"S+4D", "4D"}, {"S+4D", "4D"}, {"S+4D", "4D"}, {"S+4D", "4D"}},
    {L'N', {"S+4E", "4E"}, {"S+4E", "4E"}, {"S+4E", "4E"}, {"S+4E", "4E"}},
    {L'O', {"S+4F", "4F"}, {"S+4F", "4F"}, {"S+4F", "4F"}, {"S+4F", "4F"}},
    {L'P', {"S+50", "50"}, {"S+50", "50"}, {"S+50", "50"}, {"S+50", "50"}},
    {L'Q', {"S+51", "51"}, {"S+51", "51"}, {"S+51", "51"}, {"S+51", "51"}},
    {L'R', {"S+52", "52"}, {"S+52", "52"}, {"S+52", "52"}, {"S+52", "52"}},
    {L'S', {"S+53", "53"}, {"S+53", "53"}, {"S+53", "53"}, {"S+53", "53"}},
    {L'T', {"S+54", "54"}, {"S+54", "54"}, {"S+54", "54"}, {"S+54", "54"}},
    {L'U', {"S+55", "55"}, {"S+55", "55"}, {"S+55", "55"}, {"S+55", "55"}},
    {L'V', {"S+56", "56"}, {"S+56", "56"}, {"S+56", "56"}, {"S+56", "56"}},
    {L'W', {"S+57", "57"}, {"S+57", "57"}, {"S+57", "57"}, {"S+57", "57"}},
    {L'X', {"S+58", "58"}, {"S+58", "58"}, {"S+58", "58"}, {"S+58", "58"}},
    {L'Y', {"S+59", "59"}, {"S+59", "59"}, {"S+59", "59"}, {"S+59", "59"}},
    {L'Z', {"S+5A", "5A"}, {"S+5A", "5A"}, {"S+5A", "5A"}, {"S+5A", "5A"}},
    {L'[', {"DB", "DB"}, {"G+38", "G+38"}, {"G+35", "G+35"}, {"DB", "DB"}},
    {L'\\', {"DC", "DC"}, {"G+DB", "G+DB"}, {"G+38", "G+38"}, {"DC", "DC"}},
    {L']', {"DD", "DD"}, {"G+39", "G+39"}, {"G+DB", "G+DB"}, {"DD", "DD"}},
    {L'^', {"S+36", "S+36"}, U, U, {"S+36", "S+36"}},
    {L'_', {"S+BD", "S+BD"}, {"S+BD", "S+BD"}, {"38", "S+38"}, {"S+BD", "S+BD"}},
    {L'`', {"C0", "C0"}, U, U, {"DF", "DF"}},
    {L'a', {"41", "S+41"}, {"41", "S+41"}, {"41", "S+41"}, {"41", "S+41"}},
    {L'b', {"42", "S+42"}, {"42", "S+42"}, {"42", "S+42"}, {"42", "S+42"}},
    {L'c', {"43", "S+43"}, {"43", "S+43"}, {"43", "S+43"}, {"43", "S+43"}},
    {L'd', {"44", "S+44"}, {"44", "S+44"}, {"44", "S+44"}, {"44", "S+44"}},
    {L'e', {"45", "S+45"}, {"45", "S+45"}, {"45", "S+45"}, {"45", "S+45"}},
    {L'f', {"46", "S+46"}, {"46", "S+46"}, {"46", "S+46"}, {"46", "S+46"}},
    {L'g', {"47", "S+47"}, {"47", "S+47"}, {"47", "S+47"}, {"47", "S+47"}},
    {L'h', {"48", "S+48"}, {"48", "S+48"}, {"48", "S+48"}, {"48", "S+48"}},
    {L'i', {"49", "S+49"}, {"49", "S+49"}, {"49", "S+49"}, {"49", "S+49"}},
    {L'j', {"4A", "S+4A"}, {"4A", "S+4A"}, {"4A", "S+4A"}, {"4A", "S+4A"}},
    {L'k', {"4B", "S+4B"}, {"4B", "S+4B"}, {"4B", "S+4B"}, {"4B", "S+4B"}},
    {L'l', {"4C", "S+4C"}, {"4C", "S+4C"}, {"4C", "S+4C"}, {"4C", "S+4C"}},
    {L'm', {"4D", "S+4D"}, {"4D", "S+4D"}, {"4D", "S+4D"}, {"4D", "S+4D"}},
    {L'n', {"4E", "S+4E"}, {"4E", "S+4E"}, {"4E", "S+4E"}, {"4E", "S+4E"}},
    {L'o', {"4F", "S+4F"}, {"4F", "S+4F"}, {"4F", "S+4F"}, {"4F", "S+4F"}},
    {L'p', {"50", "S+50"}, {"50", "S+50"}, {"50", "S+50"}, {"50", "S+50"}},
    {L'q', {"51", "S+51"}, {"51", "S+51"}, {"51", "S+51"}, {"51", "S+51"}},
    {L'r', {"52", "S+52"}, {"52", "S+52"}, {"52", "S+52"}, {"52", "S+52"}},
    {L's', {"53", "S+53"}, {"53", "S+53"}, {"53", "S+53"}, {"53", "S+53"}},
    {L't', {"54", "S+54"}, {"54", "S+54"}, {"54", "S+54"}, {"54", "S+54"}},
    {L'u', {"55", "S+55"}, {"55", "S+55"}, {"55", "S+55"}, {"55", "S+55"}},
    {L'v', {"56", "S+56"}, {"56", "S+56"}, {"56", "S+56"}, {"56", "S+56"}},
    {L'w', {"57", "S+57"}, {"57", "S+57"}, {"57", "S+57"}, {"57", "S+57"}},
    {L'x', {"58", "S+58"}, {"58", "S+58"}, {"58", "S+58"}, {"58", "S+58"}},
    {L'y', {"59", "S+59"}, {"59", "S+59"}, {"59", "S+59"}, {"59", "S+59"}},
    {L'z', {"5A", "S+5A"}, {"5A", "S+5A"}, {"5A", "S+5A"}, {"5A", "S+5A"}},
    {L'{', {"S+DB", "S+DB"}, {"G+37", "G+37"}, {"G+34", "G+34"}, {"S+DB", "S+DB"}},
    {L'|', {"S+DC", "S+DC"}, {"G+E2", "G+E2"}, {"G+36", "G+36"}, {"S+DC", "S+DC"}},
    {L'}', {"S+DD", "S+DD"}, {"G+30", "G+30"}, {"G+BB", "G+BB"}, {"S+DD", "S+DD"}},
    {L'~', {"S+C0", "S+C0"}, {"G+BB", "G+BB"}, U, {"S+DE", "S+DE"}},
    {L'\u00A0', U, U, U, U},
    {L'¡', U, U, U, U},
    {L'¢', U, U, U, U},
    {L'£', U, U, {"S+BA", "BA"}, {"S+33", "S+33"}},
    {L'¤', U, U, {"G+BA", "G+BA"}, U},
    {L'¥', U, U, U, U},
    {L'¦', U, U, U, {"G+DF", "G+DF"}},
    {L'§', U, {"S+33", "33"}, {"S+DF", "DF"}, U},
    {L'¨', U, U, U, U},
    {L'©', U, U, U, U},
    {L'ª', U, U, U, U},
    {L'«', U, U, U, U},
    {L'¬', U, U, U, {"S+DF", "S+DF"}},
    {L'\u00AD', U, U, U, U},
    {L'®', U, U, U, U},
    {L'¯', U, U, U, U},
    {L'°', U, {"S+DC", "S+DC"}, {"S+DB", "DB"}, U},
    {L'±', U, U, U, U},
    {L'²', U, {"G+32", "G+32"}, {"DE", "DE"}, U},
    {L'³', U, {"G+33", "G+33"}, U, U},
    {L'´', U, U, U, U},
    {L'µ', U, {"G+4D", "G+4D"}, {"S+DC", "DC"}, U},
    {L'¶', U, U, U, U},
    {L'·', U, U, U, U},
    {L'¸', U, U, U, U},
    {L'¹', U, U, U, U},
    {L'º', U, U, U, U},
    {L'»', U, U, U, U},
    {L'¼', U, U, U, U},
    {L'½', U, U, U, U},
    {L'¾', U, U, U, U},
    {L'¿', U, U, U, U},
    {L'À', U, U, U, U},
    {L'Á', U, U, U, {"SG+41", "G+41"}},
    {L'Â', U, U, U, U},
    {L'Ã', U, U, U, U},
    {L'Ä', U, {"S+DE", "DE"}, U, U},
    {L'Å', U, U, U, U},
    {L'Æ', U, U, U, U},
    {L'Ç', U, U, U, U},
    {L'È', U, U, U, U},
    {L'É', U, U, U, {"SG+45", "G+45"}},
    {L'Ê', U, U, U, U},
    {L'Ë', U, U, U, U},
    {L'Ì', U, U, U, U},
    {L'Í', U, U, U, {"SG+49", "G+49"}},
    {L'Î', U, U, U, U},
    {L'Ï', U, U, U, U},
    {L'Ð', U, U, U, U},
    {L'Ñ', U, U, U, U},
    {L'Ò', U, U, U, U},
    {L'Ó', U, U, U, {"SG+4F", "G+4F"}},
    {L'Ô', U, U, U, U},
    {L'Õ', U, U, U, U},
    {L'Ö', U, {"S+C0", "C0"}, U, U},
    {L'×', U, U, U, U},
    {L'Ø', U, U, U, U},
    {L'Ù', U, U, U, U},
    {L'Ú', U, U, U, {"SG+55", "G+55"}},
    {L'Û', U, U, U, U},
    {L'Ü', U, {"S+BA", "BA"}, U, U},
    {L'Ý', U, U, U, U},
    {L'Þ', U, U, U, U},
    {L'ß', U, {"DB", "S+DB"}, U, U},
    {L'à', U, U, {"30", "S+30"}, U},
    {L'á', U, U, U, {"G+41", "SG+41"}},
    {L'â', U, U, U, U},
    {L'ã', U, U, U, U},
    {L'ä', U, {"DE", "S+DE"}, U, U},
    {L'å', U, U, U, U},
    {L'æ', U, U, U, U},
    {L'ç', U, U, {"39", "S+39"}, U},
    {L'è', U, U, {"37", "S+37"}, U},
    {L'é', U, U, {"32", "S+32"}, {"G+45", "SG+45"}},
    {L'ê', U, U, U, U},
    {L'ë', U, U, U, U},
    {L'ì', U, U, U, U},
    {L'í', U, U, U, {"G+49", "SG+49"}},
    {L'î', U, U, U, U},
    {L'ï', U, U, U, U},
    {L'ð', U, U, U, U},
    {L'ñ', U, U, U, U},
    {L'ò', U, U, U, U},
    {L'ó', U, U, U, {"G+4F", "SG+4F"}},
    {L'ô', U, U, U, U},
    {L'õ', U, U, U, U},
    {L'ö', U, {"C0", "S+C0"}, U, U},
    {L'÷', U, U, U, U},
    {L'ø', U, U, U, U},
    {L'ù', U, U, {"C0", "S+C0"}, U},
    {L'ú', U, U, U, {"G+55", "SG+55"}},
    {L'û', U, U, U, U},
    {L'ü', U, {"BA", "S+BA"}, U, U},
    {L'ý', U, U, U, U},
    {L'þ', U, U, U, U},
    {L'ÿ', U, U, U, U},
    {L'\u20AC', U, {"G+45", "G+45"}, {"G+45", "G+45"}, {"G+34", "G+34"}},
};
// clang-format on

std::vector<KeyEvent> FromNotation(wchar_t ch, std::string_view notation) {
  if (notation == "U") return {KeyEvent::CharDown(ch), KeyEvent::CharUp(ch)};
  const std::size_t plus = notation.find('+');
  const std::string_view modifiers = plus == std::string_view::npos ? "" : notation.substr(0, plus);
  const auto vk =
      static_cast<os::Byte>(std::stoi(std::string(notation.substr(plus + 1)), nullptr, 16));
  std::vector<os::Byte> held;
  if (modifiers.find('G') != std::string_view::npos) held = {os::kVkControl, os::kVkMenu};
  if (modifiers.find('S') != std::string_view::npos) held.push_back(os::kVkShift);
  std::vector<KeyEvent> events;
  for (const os::Byte m : held) events.push_back(KeyEvent::KeyDown(m));
  events.push_back(KeyEvent::KeyDown(vk));
  events.push_back(KeyEvent::KeyUp(vk));
  for (auto it = held.rbegin(); it != held.rend(); ++it) events.push_back(KeyEvent::KeyUp(*it));
  return events;
}

TEST(LayoutPlans, EveryPrintableLatin1CharacterAndTheEuroSignOnEveryLayout) {
  std::wstring covered;
  for (const Row& row : kRows) covered += row.ch;
  std::wstring expected;
  for (wchar_t ch = 0x20; ch <= 0x7E; ++ch) expected += ch;
  for (wchar_t ch = 0xA0; ch <= 0xFF; ++ch) expected += ch;
  expected += L'\u20AC';
  ASSERT_EQ(covered, expected);

  struct Column {
    const os::sim::KeyboardLayoutTable& layout;
    Plans Row::*plans;
  };
  const Column columns[] = {{os::sim::UsLayout(), &Row::us},
                            {os::sim::GermanLayout(), &Row::german},
                            {os::sim::FrenchLayout(), &Row::french},
                            {os::sim::UkLayout(), &Row::uk}};
  for (const Column& column : columns) {
    os::sim::SimKeyboard keyboard(column.layout);
    const KeyboardLayoutQuery query(keyboard, column.layout.hkl);
    for (const Row& row : kRows) {
      for (const bool caps : {false, true}) {
        const char* notation = caps ? (row.*column.plans).capsOn : (row.*column.plans).capsOff;
        EXPECT_EQ(PlanTyping(std::wstring(1, row.ch), caps, query), FromNotation(row.ch, notation))
            << column.layout.name << " U+" << std::hex << int(row.ch)
            << (caps ? " with Caps Lock: " : ": ") << notation;
      }
    }
  }
}

}  // namespace
}  // namespace quillet::app
