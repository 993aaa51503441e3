#include <cstdint>
#include <vector>

#include "profile_diff.h"

namespace quillet::profile_diff {

namespace {

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Utf16Le(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t ch : text) {
    out.push_back(static_cast<char>(ch & 0xFF));
    out.push_back(static_cast<char>(ch >> 8));
  }
  return out;
}

// Every character of one 256-character block that can stand inside a value.
std::wstring Block(unsigned high) {
  std::wstring text;
  for (unsigned low = 0; low < 0x100; ++low) {
    const unsigned ch = (high << 8) | low;
    if (ch == 0 || ch == L'\r' || ch == L'\n' || (ch >= 0xD800 && ch < 0xE000)) continue;
    text.push_back(static_cast<wchar_t>(ch));
  }
  return L"<" + text + L">";  // keep the blanks inside
}

const std::string kOdd =
    "; leading comment\r\n"
    "\r\n"
    "top=before any section\r\n"
    "   [ Port ]   trailing junk\r\n"
    "  Name  =  COM1  \r\n"
    ";comment=not really\r\n"
    "# hash comment\r\n"
    "NoEquals\r\n"
    "=no name\r\n"
    "Empty=\r\n"
    "Quoted=\"with blanks \"\r\n"
    "Single='x'\r\n"
    "Half=\"open\r\n"
    "Dup=first\r\n"
    "DUP=second\r\n"
    "\r\n"
    "\t\r\n"
    "[port]\r\n"
    "Name=COM9\r\n"
    "Later=only in the second\r\n"
    "[Open\r\n"
    "[]\r\n"
    "orphan=1\r\n"
    "[Last]\r\n"
    "Tail=no newline";

// A deterministic jumble of the characters that matter to the parser.
std::string Jumble(unsigned seed, std::size_t size) {
  static const char kAlphabet[] = "[]=;#\r\n\0 \t\"'aAbBkK\xE9\x80\xC3\xFF\xFE";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    out.push_back(kAlphabet[(seed >> 16) % (sizeof kAlphabet - 1)]);
  }
  return out;
}

Scenario JumbleScenario(std::string name, std::string bytes) {
  Scenario scenario{std::move(name), std::move(bytes), {}};
  for (const wchar_t* section : {L"", L"a", L"A", L"b", L"k", L"ab", L"[a", L"\u00E9"}) {
    for (const wchar_t* key : {L"", L"a", L"b", L"k", L"K", L";", L"#", L"aa", L"\"", L"\u00E9"}) {
      scenario.ops.push_back(R(section, key));
    }
  }
  scenario.ops.push_back(W(L"b", L"k", L"new"));
  scenario.ops.push_back(W(L"Fresh", L"k", L"v"));
  scenario.ops.push_back(R(L"a", L"b"));
  return scenario;
}

}  // namespace

std::vector<Scenario> Scenarios() {
  // clang-format off
  std::vector<Scenario> all;

  all.push_back({"new file", std::nullopt,
                 {R(L"S", L"k"), W(L"Aktivacija", L"cbotvori1", L"1"), W(L"Aktivacija", L"cbotvori2", L"0"),
                  W(L"Startup", L"RunMinimized", L"1"), W(L"aktivacija", L"CBOTVORI1", L"0"),
                  W(L"Aktivacija", L"cbotvori3", L"1"), R(L"AKTIVACIJA", L"cbotvori1"), R(L"Startup", L"x", L"  d  ")}});

  all.push_back({"odd lines read", kOdd,
                 {R(L"", L"top"), R(L"port", L"name"), R(L" PORT ", L"\tName "), R(L"Port", L";comment"),
                  R(L"Port", L"# hash comment"), R(L"Port", L"NoEquals"), R(L"Port", L""), R(L"Port", L"Empty"),
                  R(L"Port", L"Quoted"), R(L"Port", L"Single"), R(L"Port", L"Half"), R(L"Port", L"dup"),
                  R(L"Port", L"Later"), R(L"Port", L"orphan"), R(L"Last", L"Tail"), R(L"Open", L"x"),
                  R(L"", L"orphan"), R(L"Port", L"Quoted", L"d", 5), R(L"Port", L"Quoted", L"d", 13),
                  R(L"Port", L"Quoted", L"d", 14), R(L"Port", L"Quoted", L"d", 15)}});

  all.push_back({"odd lines: update in place", kOdd,
                 {W(L"port", L"NAME", L"COM2"), W(L"Port", L"Later", L"now in the first"), R(L"Port", L"Later"),
                  W(L"Port", L"NoEquals", L"set"), W(L"Port", L"dup", L"changed"), R(L"Port", L"Dup")}});

  all.push_back({"odd lines: new key and new section", kOdd,
                 {W(L"Port", L"Added", L"  padded value  "), W(L"Last", L"More", L"x"), W(L"Fresh", L"k", L"v"),
                  R(L"Port", L"Added"), R(L"Fresh", L"K")}});

  all.push_back({"odd lines: unchanged value keeps the file", kOdd,
                 {W(L"Port", L"Name", L"COM1"), W(L"Port", L"Quoted", L"\"with blanks \"")}});

  all.push_back({"blank lines and a new key into a section", Bytes("[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n"),
                 {W(L"A", L"z", L"3"), W(L"B", L"w", L"4")}});

  all.push_back({"line endings, NUL, no final newline", Bytes("[S]\na=1\rb=2\n\rc=3\r\r\nd=4\0e=5\r\nf=6"),
                 {R(L"S", L"d"), R(L"S", L"e"), R(L"S", L"f"), W(L"S", L"g", L"7")}});

  all.push_back({"NUL inside names and values, nameless keys",
                 Bytes("[S]\r\n=a\r\n=b\r\nk=1\r\n=c\r\n\0=d\r\n=e\r\nx\0 y=1\t\0z\r\n\0\r\n=h\r\n[T\0U]\0x\r\n=i\r\n"),
                 {R(L"S", L""), R(L"S", L"x"), R(L"T", L""), W(L"S", L"z", L"1"), R(L"S", L"")}});

  all.push_back({"null-value key before a valued duplicate", Bytes("[S]\r\nk\r\nk=1\r\n"),
                 {R(L"S", L"k"), W(L"S", L"k", L"2"), R(L"S", L"k")}});

  all.push_back({"quotes", Bytes("[Q]\r\na=\"abc\"\r\nb='abc'\r\nc=\"\"\r\nd=\"\r\ne=\"a\"b\"\r\nf=\"abc'\r\n"
                                 "g=\"abc\"  \r\nh=\"abcdefgh\"\r\n"),
                 {R(L"Q", L"a"), R(L"Q", L"b"), R(L"Q", L"c"), R(L"Q", L"d"), R(L"Q", L"e"), R(L"Q", L"f"),
                  R(L"Q", L"g"), R(L"Q", L"h", L"d", 1), R(L"Q", L"h", L"d", 2), R(L"Q", L"h", L"d", 8),
                  R(L"Q", L"h", L"d", 9), R(L"Q", L"h", L"d", 10), R(L"Q", L"h", L"d", 11), R(L"Q", L"c", L"d", 1),
                  R(L"Q", L"c", L"d", 2), R(L"Q", L"a", L"d", 0), W(L"Q", L"a", L"abc"), W(L"Q", L"q", L"\"new\""),
                  R(L"Q", L"q")}});

  all.push_back({"blanks", Bytes("[B]\r\n\t k \t=\t\x0B\x0C v  v \t\r\nnb=\xA0v\xA0\r\n"),
                 {R(L"B", L"k"), R(L"B", L"nb"), R(L"b", L" k"), W(L"\t B ", L" new\t", L"\t val \t"),
                  R(L"B", L"new"), R(L"X", L"x", L"d \t "), R(L"X", L"x", L"defgh  ", 3)}});

  all.push_back({"names and values written with blanks", Bytes("[B]\r\nk=1\r\n"),
                 {W(L"\tB ", L" k\t", L"\tx \t"), R(L"B", L"k"), W(L"B", L" new\t", L"v "), R(L"B", L"new"),
                  R(L"B", L"new\t"), W(L" New Sec\t", L"a", L"b"), R(L"New Sec", L"a"), W(L"B", L"z", L"1"),
                  R(L"B", L"new"), W(L"New Sec", L"c", L"d")}});

  const std::wstring long3000 = std::wstring(2000, L'a') + std::wstring(1000, L'b');
  all.push_back({"3000-character value", std::nullopt,
                 {W(L"Napredna", L"Prefiks", long3000), R(L"Napredna", L"Prefiks"),
                  R(L"Napredna", L"Prefiks", L"", 4000), W(L"Napredna", L"Prefiks", L"\"" + long3000 + L"\""),
                  R(L"Napredna", L"Prefiks"), R(L"Napredna", L"Prefiks", L"", 3001),
                  R(L"Napredna", L"Prefiks", L"", 3002), R(L"Napredna", L"Missing", long3000)}});

  all.push_back({"letter case", Bytes("[Sekcija]\r\nKljuc=1\r\n[\xC9]\r\n\xE9=2\r\n"),
                 {R(L"SEKCIJA", L"kljuc"), R(L"\u00E9", L"\u00E9"), R(L"\u00C9", L"\u00C9"), R(L"\u00C9", L"\u00E9"),
                  W(L"sekcija", L"KLJUC", L"3"), W(L"\u00E9", L"\u00E9", L"4"), W(L"\u00C9", L"\u00C9", L"5")}});

  all.push_back({"ANSI code page and best fit", Bytes("[S]\r\na=\x80\x81\x8D\x9F\xE9\xFF\r\n"),
                 {R(L"S", L"a"), W(L"S", L"b", L"\u20AC\u0101\u4E2D\u0152\U0001F600\xD800x"), R(L"S", L"b")}});

  Scenario blocks{"every character into an ANSI file", std::nullopt, {}};
  for (unsigned high = 0; high < 0x100; ++high) blocks.ops.push_back(W(L"B", L"b" + std::to_wstring(high), Block(high)));
  for (unsigned high = 0; high < 0x100; high += 17) blocks.ops.push_back(R(L"B", L"b" + std::to_wstring(high), L"", 300));
  all.push_back(std::move(blocks));

  Scenario unicode{"every character into a UTF-16 file", Utf16Le(u"[B]\r\n"), {}};
  for (unsigned high = 0; high < 0x100; high += 3) unicode.ops.push_back(W(L"B", L"b" + std::to_wstring(high), Block(high)));
  unicode.ops.push_back(W(L"B", L"pair", L"\U0001F600"));
  for (unsigned high = 0; high < 0x100; high += 51) unicode.ops.push_back(R(L"B", L"b" + std::to_wstring(high), L"", 300));
  all.push_back(std::move(unicode));

  all.push_back({"UTF-16 LE file with BOM", Utf16Le(u"; c\r\n[Sec]\r\n Key = \u4E2D\u00E9 \r\n\r\n[Two]\r\nx=1"),
                 {R(L"sec", L"key"), W(L"Sec", L"New", L"\u0101"), W(L"Three", L"k", L"v"), R(L"Sec", L"New")}});

  all.push_back({"UTF-16 BE file with BOM", Bytes("\xFE\xFF\0[\0S\0]\0\r\0\n\0a\0=\x01\x01"),
                 {R(L"S", L"a"), W(L"S", L"b", L"\u4E2D")}});

  all.push_back({"UTF-8 file with BOM", Bytes("\xEF\xBB\xBF[S]\r\na=\xC4\x81\r\n"),
                 {R(L"S", L"a"), W(L"S", L"b", L"\u4E2D\U0001F600")}});

  all.push_back({"UTF-8 oddities", Bytes("\xEF\xBB\xBF[S]\r\nbad=\x80x\xC3(\xE4\xB8\r\nover=\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\r\n"
                                                   "cut=\xF0\x90\x41\xE0\x80\x80\xF8\x88\x80\xF4\x8F\xBF\xBF\xF0\x90\x80"),
                 {R(L"S", L"bad"), R(L"S", L"over"), R(L"S", L"cut"), W(L"S", L"lone", L"a\xD800" L"b\xDC00" L"c\xD83D"), R(L"S", L"lone")}});

  all.push_back({"trailing blank makes a different value", Bytes("[S]\r\nk=x\r\n"),
                 {W(L"s", L"K", L"x"), W(L"S", L"k", L"x "), W(L"S", L"k", L"x")}});

  all.push_back({"empty names", Bytes("top=1\r\n[S]\r\nk=1\r\n"),
                 {W(L"", L"k2", L"2"), R(L"", L"k2"), W(L"S", L"", L"e"), R(L"S", L""), W(L"T", L"", L"")}});

  all.push_back({"empty file and BOM-only file", Bytes(""), {W(L"S", L"a", L"1")}});
  all.push_back({"BOM only", Bytes("\xFF\xFE"), {W(L"S", L"a", L"1"), R(L"S", L"a")}});

  all.push_back({"a value with a line break", std::nullopt,
                 {W(L"S", L"m", L"a\r\nb=c"), R(L"S", L"b"), W(L"S", L"k=x", L"v"), R(L"S", L"k")}});

  all.push_back({"the program's own file", std::nullopt, {}});
  for (int port = 1; port <= 8; ++port) {
    const std::wstring section = L"skener" + std::to_wstring(port);
    for (const auto& [key, value] : {std::pair<const wchar_t*, const wchar_t*>{L"Port", L"COM1"}, {L"BaudRate", L"Custom"},
                                     {L"CustomBaudRate", L"31250"}, {L"StopBits", L"1"}, {L"DataBits", L"8"},
                                     {L"Parity", L"None"}, {L"FlowControl", L"None"}}) {
      all.back().ops.push_back(W(section, key, value));
    }
  }
  for (int row = 1; row <= 8; ++row) all.back().ops.push_back(W(L"Aktivacija", L"cbotvori" + std::to_wstring(row), row % 2 ? L"1" : L"0"));
  all.back().ops.push_back(W(L"skener3", L"BaudRate", L"9600"));
  all.back().ops.push_back(W(L"Startup", L"RunMinimized", L"1"));
  all.back().ops.push_back(R(L"skener3", L"baudrate", L"9600"));
  all.back().ops.push_back(R(L"SKENER3", L"CustomBaudRate", L"9600"));

  for (unsigned seed = 1; seed <= 12; ++seed) {
    const std::string bytes = Jumble(seed, 3000);
    all.push_back(JumbleScenario("jumble ANSI " + std::to_string(seed), bytes));
    all.push_back(JumbleScenario("jumble UTF-8 " + std::to_string(seed), "\xEF\xBB\xBF" + bytes));
    all.push_back(JumbleScenario("jumble UTF-16 " + std::to_string(seed), "\xFF\xFE" + bytes));
  }

  // Which characters the system trims as blanks: each candidate around a
  // value and a name, in a UTF-16 file so that every one can stand there.
  std::vector<char16_t> candidates;
  for (char16_t ch = 1; ch <= 0x20; ++ch) candidates.push_back(ch);
  for (char16_t ch = 0x7F; ch <= 0xA0; ++ch) candidates.push_back(ch);
  for (char16_t ch : {0x1680, 0x180E, 0x200B, 0x2028, 0x2029, 0x202F, 0x205F, 0x2060, 0x3000, 0xFEFF}) {
    candidates.push_back(ch);
  }
  for (char16_t ch = 0x2000; ch <= 0x200A; ++ch) candidates.push_back(ch);
  std::u16string blankFile = u"[B]\r\n";
  Scenario blanks{"which characters are blanks", std::nullopt, {}};
  for (char16_t ch : candidates) {
    if (ch == u'\r' || ch == u'\n') continue;
    std::u16string name = u"k";
    for (unsigned rest = ch; rest > 0; rest /= 16) name.push_back(static_cast<char16_t>(u'a' + rest % 16));
    blankFile.append(name).push_back(ch);
    blankFile.push_back(u'=');
    blankFile.push_back(ch);
    blankFile.push_back(u'v');
    blankFile.push_back(ch);
    blankFile.append(u"\r\n");
    blanks.ops.push_back(R(L"B", std::wstring(name.begin(), name.end())));
  }
  blanks.initial = Utf16Le(blankFile);
  blanks.ops.push_back(W(L"B", L"new", L"x"));
  all.push_back(std::move(blanks));

  // Bad configuration files: every byte value, very many sections, very long lines.
  std::string garbage;
  std::uint32_t seed = 7;
  for (int i = 0; i < 64 * 1024; ++i) {
    seed = seed * 1664525u + 1013904223u;
    garbage.push_back(static_cast<char>(seed >> 24));
  }
  all.push_back(JumbleScenario("binary garbage ANSI", garbage));
  all.push_back(JumbleScenario("binary garbage UTF-16", "\xFF\xFE" + garbage));

  std::string many;
  for (int i = 0; i < 100000; ++i) many += "[s" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  all.push_back({"100 000 sections", many + "[Napredna]\r\nOd=7\r\n",
                 {R(L"s0", L"k"), R(L"S99999", L"K"), R(L"Napredna", L"Od"), R(L"Startup", L"RunMinimized"),
                  W(L"Napredna", L"Do", L"9"), W(L"s50000", L"k", L"x"), W(L"Aktivacija", L"cbotvori1", L"1"),
                  R(L"s50000", L"k")}});

  const std::string mega(1 << 20, 'm');
  all.push_back({"megabyte lines",
                 "[Napredna]\r\nPrefiks=" + mega + "\r\n" + mega + "\r\nDo=" + std::string(1 << 20, '9') +
                     "\r\nOd=3\r\n[" + mega + "]\r\nk=v\r\n" + std::string(1 << 20, '[') +
                     "\r\n[Startup]\r\nRunMinimized=1",
                 {R(L"Napredna", L"Prefiks"), R(L"Napredna", L"Do"), R(L"Napredna", L"Od"),
                  R(std::wstring(1 << 20, L'm'), L"k"), R(L"Startup", L"RunMinimized"),
                  W(L"Startup", L"RunMinimized", L"0"), W(L"Napredna", L"Sufiks", std::wstring(1 << 20, L's')),
                  R(L"Napredna", L"Sufiks")}});

  all.push_back({"write into a missing folder", std::nullopt, {W(L"S", L"k", L"v"), R(L"S", L"k")}, true});

  // A row's own settings go back to the common ones by removing their section.
  const std::string perPort = "[Napredna]\r\nOd=1\r\n\r\n[Napredna2]\r\ncbsufiks=1\r\nSufiks={TAB}\r\n"
                              "[napredna2]\r\nOd=9\r\n[Aktivacija]\r\ncbotvori1=1\r\n";
  all.push_back({"delete a section: first of its name, any case, keys after it kept", perPort,
                 {D(L"NAPREDNA2"), R(L"Napredna2", L"Sufiks"), R(L"Napredna2", L"Od"), D(L"Napredna2"),
                  R(L"Napredna2", L"Od"), R(L"Aktivacija", L"cbotvori1"), W(L"Napredna2", L"Od", L"3")}});
  all.push_back({"delete a section that is not there leaves the file", perPort,
                 {D(L"Napredna5"), D(L"Napredna"), D(L"Napredna")}});
  all.push_back({"delete a section: names with blanks, the nameless part, the last section",
                 Bytes("top=1\r\n[ Spaced ]\r\na=1\r\n[Last]\r\nb=2"),
                 {D(L" Spaced "), R(L"Spaced", L"a"), D(L""), R(L"", L"top"), D(L"Last"), R(L"Last", L"b")}});
  all.push_back({"delete the nameless part of a file that starts with a header", perPort, {D(L""), R(L"Napredna", L"Od")}});
  all.push_back({"delete a section of no file creates none", std::nullopt, {D(L"Napredna1")}});
  all.push_back({"delete a section in a missing folder", std::nullopt, {D(L"Napredna1")}, true});

  // clang-format on
  return all;
}

}  // namespace quillet::profile_diff
