#include "app/reception/key_script.h"

#include <array>
#include <optional>

namespace quillet::app::reception {

namespace {

struct NamedKey {
  std::wstring_view name;
  std::uint8_t vk;
};

constexpr std::array<NamedKey, 16> kNamedKeys{{
    {L"TAB", 0x09},
    {L"ENTER", 0x0D},
    {L"ESC", 0x1B},
    {L"BS", 0x08},
    {L"BACKSPACE", 0x08},
    {L"DEL", 0x2E},
    {L"INS", 0x2D},
    {L"HOME", 0x24},
    {L"END", 0x23},
    {L"PGUP", 0x21},
    {L"PGDN", 0x22},
    {L"UP", 0x26},
    {L"DOWN", 0x28},
    {L"LEFT", 0x25},
    {L"RIGHT", 0x27},
    {L"SPACE", 0x20},
}};

constexpr std::uint8_t kVkF1 = 0x70;

wchar_t Upper(wchar_t ch) {
  return (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - 0x20) : ch;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool IsDigit(wchar_t ch) {
  return ch >= L'0' && ch <= L'9';
}

// A count of plain ASCII digits, at most `max`; none when it is not one.
std::optional<unsigned> ReadCount(std::wstring_view digits, unsigned max) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const wchar_t ch : digits) {
    if (!IsDigit(ch)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(ch - L'0');
  }
  if (value > max) return std::nullopt;
  return value;
}

// "CTRL+SHIFT+F5": the modifiers (each at most once) and the key. After a
// modifier, one letter or digit names that key of the keyboard.
std::optional<KeyChord> ReadChord(std::wstring_view text) {
  KeyChord chord;
  bool modified = false;
  for (;;) {
    const std::size_t plus = text.find(L'+');
    if (plus == std::wstring_view::npos) break;
    const std::wstring_view modifier = text.substr(0, plus);
    bool* flag = nullptr;
    if (SameName(modifier, L"CTRL")) flag = &chord.ctrl;
    if (SameName(modifier, L"ALT")) flag = &chord.alt;
    if (SameName(modifier, L"SHIFT")) flag = &chord.shift;
    if (flag == nullptr || *flag) return std::nullopt;
    *flag = modified = true;
    text.remove_prefix(plus + 1);
  }
  if (modified && text.size() == 1) {
    const wchar_t ch = Upper(text[0]);
    if ((ch >= L'A' && ch <= L'Z') || IsDigit(ch)) {
      chord.vk = static_cast<std::uint8_t>(ch);
      return chord;
    }
  }
  chord.vk = VirtualKeyForName(text);
  if (chord.vk == 0) return std::nullopt;
  return chord;
}

// What stands between a "{" and its "}": a step, or none when the braces
// are text.
std::optional<KeyStep> ReadGroup(std::wstring_view inside) {
  if (inside == L"{" || inside == L"}") {
    KeyStep step;
    step.text = inside;
    return step;
  }
  std::wstring_view head = inside;
  std::optional<unsigned> count;
  const std::size_t space = inside.find(L' ');
  if (space != std::wstring_view::npos) {
    head = inside.substr(0, space);
    const bool wait = SameName(head, L"WAIT");
    count = ReadCount(inside.substr(space + 1), wait ? kMaxWaitMs : kMaxRepeat);
    if (!count) return std::nullopt;
    if (wait) {
      KeyStep step;
      step.kind = KeyStep::Kind::Wait;
      step.waitMs = *count;
      return step;
    }
    if (*count == 0) return std::nullopt;
  }
  const std::optional<KeyChord> chord = ReadChord(head);
  if (!chord) return std::nullopt;
  KeyStep step;
  step.kind = KeyStep::Kind::Key;
  step.chord = *chord;
  step.repeat = count ? static_cast<int>(*count) : 1;
  return step;
}

void Append(std::vector<KeyStep>& steps, KeyStep step) {
  if (step.kind == KeyStep::Kind::Text) {
    AppendText(steps, step.text);
    return;
  }
  steps.push_back(std::move(step));
}

}  // namespace

std::uint8_t VirtualKeyForName(std::wstring_view name) {
  for (const NamedKey& key : kNamedKeys)
    if (SameName(name, key.name)) return key.vk;
  // F1..F24, without leading zeros.
  if (name.size() >= 2 && name.size() <= 3 && Upper(name[0]) == L'F' && name[1] != L'0') {
    const std::optional<unsigned> number = ReadCount(name.substr(1), 24);
    if (number && *number >= 1) return static_cast<std::uint8_t>(kVkF1 + *number - 1);
  }
  return 0;
}

void AppendText(std::vector<KeyStep>& steps, std::wstring_view text) {
  if (text.empty()) return;
  if (steps.empty() || steps.back().kind != KeyStep::Kind::Text) steps.emplace_back();
  steps.back().text += text;
}

std::vector<KeyStep> ParseKeyScript(std::wstring_view script) {
  std::vector<KeyStep> steps;
  std::size_t i = 0;
  while (i < script.size()) {
    if (script[i] != L'{') {
      const std::size_t next = script.find(L'{', i);
      const std::size_t end = next == std::wstring_view::npos ? script.size() : next;
      AppendText(steps, script.substr(i, end - i));
      i = end;
      continue;
    }
    // "{}}" is the one group whose text holds its own closing brace.
    std::size_t close = script.find(L'}', i + 1);
    if (close == i + 1 && close + 1 < script.size() && script[close + 1] == L'}') ++close;
    if (close != std::wstring_view::npos) {
      if (std::optional<KeyStep> step = ReadGroup(script.substr(i + 1, close - i - 1))) {
        Append(steps, std::move(*step));
        i = close + 1;
        continue;
      }
    }
    // Not a group: the brace is text, and what follows is read afresh.
    AppendText(steps, script.substr(i, 1));
    ++i;
  }
  return steps;
}

std::wstring_view KeyNamesHint() {
  // Short lines, so that a narrow box never breaks a name in two.
  return L"{TAB} {ENTER} {ESC}\r\n{BS} {DEL} {INS}\r\n{HOME} {END}\r\n{PGUP} {PGDN}\r\n"
         L"{UP} {DOWN} {LEFT}\r\n{RIGHT} {SPACE}\r\n{F1} .. {F24}\r\n{SHIFT+TAB} {CTRL+S}\r\n"
         L"{ALT+F4} {TAB 3}\r\n{WAIT 250} {{} {}}";
}

}  // namespace quillet::app::reception
