// The texts the port settings are stored under, in the order of their
// enumerations, so that an enumeration value's index is its text's index
// (serial/com_setting_names.h checks that at compile time). The baud rate
// texts are also where the rates' figures come from.
// Reading looks a text up ignoring ASCII letter case; a text that matches no
// entry gives the setting's fallback.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace quillet::config {

struct SettingNames {
  std::span<const std::wstring_view> texts;
  std::size_t fallback;
};

// brCustom, br110 ... br256000; fallback br9600.
inline constexpr std::array<std::wstring_view, 16> kBaudRateTexts = {
    L"Custom", L"110",   L"300",   L"600",   L"1200",  L"2400",   L"4800",   L"9600",
    L"14400",  L"19200", L"38400", L"56000", L"57600", L"115200", L"128000", L"256000"};
// sbOneStopBit, sbOne5StopBits, sbTwoStopBits; fallback one stop bit.
inline constexpr std::array<std::wstring_view, 3> kStopBitsTexts = {L"1", L"1.5", L"2"};
// dbFive ... dbEight; fallback eight.
inline constexpr std::array<std::wstring_view, 4> kDataBitsTexts = {L"5", L"6", L"7", L"8"};
// prNone, prOdd, prEven, prMark, prSpace; fallback none.
inline constexpr std::array<std::wstring_view, 5> kParityTexts = {L"None", L"Odd", L"Even", L"Mark",
                                                                  L"Space"};
// fcHardware, fcSoftware, fcNone, fcCustom; fallback custom.
inline constexpr std::array<std::wstring_view, 4> kFlowControlTexts = {L"Hardware", L"Software",
                                                                       L"None", L"Custom"};
// rtsDisable, rtsEnable, rtsHandshake, rtsToggle; fallback disable.
inline constexpr std::array<std::wstring_view, 4> kRtsFlowTexts = {L"Disable", L"Enable",
                                                                   L"Handshake", L"Toggle"};
// dtrDisable, dtrEnable, dtrHandshake; fallback disable.
inline constexpr std::array<std::wstring_view, 3> kDtrFlowTexts = {L"Disable", L"Enable",
                                                                   L"Handshake"};

inline constexpr SettingNames kBaudRateNames{kBaudRateTexts, 7};
inline constexpr SettingNames kStopBitsNames{kStopBitsTexts, 0};
inline constexpr SettingNames kDataBitsNames{kDataBitsTexts, 3};
inline constexpr SettingNames kParityNames{kParityTexts, 0};
inline constexpr SettingNames kFlowControlNames{kFlowControlTexts, 3};
inline constexpr SettingNames kRtsFlowNames{kRtsFlowTexts, 0};
inline constexpr SettingNames kDtrFlowNames{kDtrFlowTexts, 0};

// The index of the entry matching text, or names.fallback.
std::size_t ParseSettingName(const SettingNames& names, std::wstring_view text);

}  // namespace quillet::config
