// The stored texts of the settings enumerations (config/setting_names.h) seen
// through the enumerations: a value's ordinal is its text's index. The baud
// rate texts are also the one list of the rates' figures (BaudRateValue).
// The checks at the end tie each enumeration to its texts, value by value,
// so that a value added, removed or moved on one side only fails the build.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "config/setting_names.h"
#include "serial/com_types.h"

namespace quillet::serial {

template <class E>
std::wstring SettingText(const config::SettingNames& names, E value) {
  return std::wstring(names.texts[static_cast<std::size_t>(value)]);
}

// The value whose text matches, ignoring ASCII letter case, or the fallback.
template <class E>
E ParseSetting(const config::SettingNames& names, std::wstring_view text) {
  return static_cast<E>(config::ParseSettingName(names, text));
}

namespace setting_names_check {

// True when rows name every text, in order, each beside the value whose
// ordinal is its index.
template <class E, std::size_t N>
constexpr bool InOrder(const std::array<std::wstring_view, N>& texts,
                       std::initializer_list<std::pair<E, std::wstring_view>> rows) {
  if (rows.size() != N) return false;
  std::size_t index = 0;
  for (const auto& [value, text] : rows) {
    if (static_cast<std::size_t>(value) != index || texts[index] != text) return false;
    ++index;
  }
  return true;
}

template <class E>
constexpr std::size_t Ordinal(E value) {
  return static_cast<std::size_t>(value);
}

}  // namespace setting_names_check

static_assert(setting_names_check::InOrder<TBaudRate>(config::kBaudRateTexts,
                                                      {{TBaudRate::brCustom, L"Custom"},
                                                       {TBaudRate::br110, L"110"},
                                                       {TBaudRate::br300, L"300"},
                                                       {TBaudRate::br600, L"600"},
                                                       {TBaudRate::br1200, L"1200"},
                                                       {TBaudRate::br2400, L"2400"},
                                                       {TBaudRate::br4800, L"4800"},
                                                       {TBaudRate::br9600, L"9600"},
                                                       {TBaudRate::br14400, L"14400"},
                                                       {TBaudRate::br19200, L"19200"},
                                                       {TBaudRate::br38400, L"38400"},
                                                       {TBaudRate::br56000, L"56000"},
                                                       {TBaudRate::br57600, L"57600"},
                                                       {TBaudRate::br115200, L"115200"},
                                                       {TBaudRate::br128000, L"128000"},
                                                       {TBaudRate::br256000, L"256000"}}),
              "kBaudRateTexts must follow TBaudRate");
static_assert(setting_names_check::InOrder<TStopBits>(config::kStopBitsTexts,
                                                      {{TStopBits::sbOneStopBit, L"1"},
                                                       {TStopBits::sbOne5StopBits, L"1.5"},
                                                       {TStopBits::sbTwoStopBits, L"2"}}),
              "kStopBitsTexts must follow TStopBits");
static_assert(setting_names_check::InOrder<TDataBits>(config::kDataBitsTexts,
                                                      {{TDataBits::dbFive, L"5"},
                                                       {TDataBits::dbSix, L"6"},
                                                       {TDataBits::dbSeven, L"7"},
                                                       {TDataBits::dbEight, L"8"}}),
              "kDataBitsTexts must follow TDataBits");
static_assert(setting_names_check::InOrder<TParityBits>(config::kParityTexts,
                                                        {{TParityBits::prNone, L"None"},
                                                         {TParityBits::prOdd, L"Odd"},
                                                         {TParityBits::prEven, L"Even"},
                                                         {TParityBits::prMark, L"Mark"},
                                                         {TParityBits::prSpace, L"Space"}}),
              "kParityTexts must follow TParityBits");
static_assert(setting_names_check::InOrder<TFlowControl>(config::kFlowControlTexts,
                                                         {{TFlowControl::fcHardware, L"Hardware"},
                                                          {TFlowControl::fcSoftware, L"Software"},
                                                          {TFlowControl::fcNone, L"None"},
                                                          {TFlowControl::fcCustom, L"Custom"}}),
              "kFlowControlTexts must follow TFlowControl");
static_assert(setting_names_check::InOrder<TRTSFlowControl>(
                  config::kRtsFlowTexts, {{TRTSFlowControl::rtsDisable, L"Disable"},
                                          {TRTSFlowControl::rtsEnable, L"Enable"},
                                          {TRTSFlowControl::rtsHandshake, L"Handshake"},
                                          {TRTSFlowControl::rtsToggle, L"Toggle"}}),
              "kRtsFlowTexts must follow TRTSFlowControl");
static_assert(setting_names_check::InOrder<TDTRFlowControl>(
                  config::kDtrFlowTexts, {{TDTRFlowControl::dtrDisable, L"Disable"},
                                          {TDTRFlowControl::dtrEnable, L"Enable"},
                                          {TDTRFlowControl::dtrHandshake, L"Handshake"}}),
              "kDtrFlowTexts must follow TDTRFlowControl");

// The fallbacks the texts' comments promise.
static_assert(config::kBaudRateNames.fallback == setting_names_check::Ordinal(TBaudRate::br9600));
static_assert(config::kStopBitsNames.fallback ==
              setting_names_check::Ordinal(TStopBits::sbOneStopBit));
static_assert(config::kDataBitsNames.fallback == setting_names_check::Ordinal(TDataBits::dbEight));
static_assert(config::kParityNames.fallback == setting_names_check::Ordinal(TParityBits::prNone));
static_assert(config::kFlowControlNames.fallback ==
              setting_names_check::Ordinal(TFlowControl::fcCustom));
static_assert(config::kRtsFlowNames.fallback ==
              setting_names_check::Ordinal(TRTSFlowControl::rtsDisable));
static_assert(config::kDtrFlowNames.fallback ==
              setting_names_check::Ordinal(TDTRFlowControl::dtrDisable));

}  // namespace quillet::serial
