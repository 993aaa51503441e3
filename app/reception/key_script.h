// The key-name reader: a stored prefix or suffix becomes steps of text to
// type, named keys (with chords and repeats) to press, and waits.
//
// Syntax, names case-insensitive:
//   {TAB} {ENTER} {ESC} {BS} {BACKSPACE} {DEL} {INS} {HOME} {END} {PGUP}
//   {PGDN} {UP} {DOWN} {LEFT} {RIGHT} {SPACE} {F1}..{F24}
//   {SHIFT+TAB} {CTRL+S} {ALT+F4} {CTRL+SHIFT+F5}: modifiers and a key; after
//     a modifier a letter or digit names that key of the keyboard
//   {TAB 3}: the key three times (1..99)
//   {WAIT 250}: a pause in milliseconds (0..5000)
//   {{} and {}}: a literal "{" and "}"
// Anything else in braces, and an unmatched brace, is text as written, so a
// text stored before key names existed keeps its meaning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app::reception {

struct KeyChord {
  bool ctrl = false, alt = false, shift = false;
  std::uint8_t vk = 0;
  friend bool operator==(const KeyChord&, const KeyChord&) = default;
};

struct KeyStep {
  enum class Kind : std::uint8_t { Text, Key, Wait };
  Kind kind = Kind::Text;
  std::wstring text;    // Text: characters, typed by the layout rules
  KeyChord chord;       // Key
  int repeat = 1;       // Key: 1..99
  unsigned waitMs = 0;  // Wait: 0..5000
  friend bool operator==(const KeyStep&, const KeyStep&) = default;
};

inline constexpr int kMaxRepeat = 99;
inline constexpr unsigned kMaxWaitMs = 5000;

// A prefix or suffix as stored: {NAME}, chords, repeats, waits, {{} and {}};
// anything else in braces, and an unmatched brace, is text as written.
// Adjacent text is merged into one Text step.
std::vector<KeyStep> ParseKeyScript(std::wstring_view script);

// Appends plain text (received data: braces in it are characters, never
// names) to `steps`, merging with a Text step at the end.
void AppendText(std::vector<KeyStep>& steps, std::wstring_view text);

// The virtual key a name stands for ("TAB", "f5", "pgdn"), 0 if none.
// Letters and digits are not names on their own, only after a modifier.
std::uint8_t VirtualKeyForName(std::wstring_view name);

// Every key name and an example of each form, in short lines (CR LF), for
// the dialog's hint.
std::wstring_view KeyNamesHint();

}  // namespace quillet::app::reception
