// The profile emulation against the behaviour seen from the system's own
// functions (the differential test under Wine checks the same on the real
// thing).
#include "os/sim/profile_sim.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "temp_folder.h"

namespace quillet::os::sim {
namespace {

// Bytes of a literal, embedded NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

struct Write {
  std::wstring section, key, value;
};

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // no file when empty
  std::vector<Write> writes;
  std::string after;
};

class ProfileSimTest : public ::testing::Test {
 protected:
  std::wstring File() const { return folder_.Windows("p.ini"); }
  ProfileString Read(const std::wstring& section, const std::wstring& key,
                     const std::wstring& def = L"d", Dword size = kProfileBufferSize) {
    return profile_.GetPrivateProfileStringW(section, key, def, size, File());
  }

  SimProfile profile_;
  config::testing::TempFolder folder_;
};

TEST_F(ProfileSimTest, WritesRewriteTheFileTheWayTheSystemDoes) {
  // clang-format off
  const WriteCase cases[] = {
      {"new file, ANSI, CRLF, no blank line between sections", std::nullopt,
       {{L"Sec", L"Key", L"Value"}, {L"Sec", L"k2", L"v2"}, {L"Other", L"a", L"b"}, {L"sec", L"KEY", L"new"}},
       "[Sec]\r\nKey=new\r\nk2=v2\r\n[Other]\r\na=b\r\n"},
      {"blank lines dropped, blanks trimmed, comments kept, new key after the last key",
       "; top\r\n\r\n[ Sec ]  \r\n  Key  =  Value  \r\n;c\r\nnoequals\r\n\r\n\r\n[Two]\r\nA=1\r\n\r\n",
       {{L"Sec", L"New", L"nv"}, {L"Three", L"c", L"3"}},
       "; top\r\n[Sec]\r\nKey=Value\r\n;c\r\nnoequals\r\nNew=nv\r\n[Two]\r\nA=1\r\n[Three]\r\nc=3\r\n"},
      {"an unchanged value leaves the file alone", "[Sec]\r\n\r\nKey=Value\r\n\r\n",
       {{L"Sec", L"Key", L"Value"}}, "[Sec]\r\n\r\nKey=Value\r\n\r\n"},
      {"unchanged means the stored text, quotes and case included", "[S]\r\nq=\"abc\"\r\nc=ABC\r\n",
       {{L"S", L"q", L"abc"}, {L"S", L"c", L"abc"}}, "[S]\r\nq=abc\r\nc=abc\r\n"},
      {"first of duplicates is updated; a key of a later duplicate section is not seen",
       "[S]\r\nk=1\r\nK=2\r\n[s]\r\nk=3\r\nonly2=x\r\n",
       {{L"s", L"only2", L"y"}, {L"s", L"K", L"9"}},
       "[S]\r\nk=9\r\nK=2\r\nonly2=y\r\n[s]\r\nk=3\r\nonly2=x\r\n"},
      {"names and value written trimmed; a key without '=' gets one", "[S]\r\nnoeq\r\n",
       {{L"\tS ", L" k\t", L"\t v \t"}, {L"S", L"noeq", L""}}, "[S]\r\nnoeq=\r\nk=v\r\n"},
      {"a write keeps trailing blanks until the file is next rewritten", "[S]\r\nk=1\r\n",
       {{L"S", L" new\t", L"\tv \t"}, {L"s", L"\tK ", L" x "}}, "[S]\r\nk=x \r\nnew=v\r\n"},
      {"NUL ends a trimmed name or value; '=' lines after a nameless key dropped",
       Bytes("[S]\r\n=a\r\n=b\r\nk=1\r\n=c\r\n\0=d\r\n=e\r\nx\0 y=1\t\0z\r\n\0\r\n=h\r\n[T]\r\n=i\r\n"),
       {{L"S", L"z", L"1"}}, Bytes("[S]\r\n=a\r\nk=1\r\n=c\r\n=d\r\nx=1\t\r\n\r\nz=1\r\n[T]\r\n=i\r\n")},
      {"lines end at CR or LF; no final newline", Bytes("[S]\na=1\rb=2\n\rc=3\r\r\nd=4\0e=5\r\nf=6"),
       {{L"S", L"g", L"7"}}, "[S]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\nf=6\r\ng=7\r\n"},
      {"headers: text after ']' dropped, no ']' is a key, [] has no header",
       "a=1\r\n  [Sec] junk\r\n[Sec2\r\nx=y\r\n[]\r\ne=f\r\n", {{L"Sec", L"z", L"1"}},
       "a=1\r\n[Sec]\r\n[Sec2\r\nx=y\r\nz=1\r\ne=f\r\n"},
      {"ANSI text in Windows-1252 with best fit", "[S]\r\na=\x80\xE9\x81\r\n",
       {{L"S", L"b", L"\u20AC\u00E9\u0101\u4E2D\u00FF\u0152"}}, "[S]\r\na=\x80\xE9\x81\r\nb=\x80\xE9" "a?\xFF\x8C\r\n"},
      {"UTF-16 LE stays UTF-16 LE", Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0"), {{L"S", L"b", L"\u4E2D"}},
       Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0b\0=\0\x2D\x4E\r\0\n\0")},
      {"UTF-16 BE stays UTF-16 BE", Bytes("\xFE\xFF\0[\0S\0]"), {{L"S", L"b", L"1"}},
       Bytes("\xFE\xFF\0[\0S\0]\0\r\0\n\0b\0=\0" "1\0\r\0\n")},
      {"UTF-8 with BOM stays UTF-8", "\xEF\xBB\xBF[S]\r\na=\xC4\x81\r\n", {{L"S", L"b", L"\u4E2D"}},
       "\xEF\xBB\xBF[S]\r\na=\xC4\x81\r\nb=\xE4\xB8\xAD\r\n"},
      {"a value with a line break becomes two lines", std::nullopt, {{L"S", L"m", L"a\r\nb"}}, "[S]\r\nm=a\r\nb\r\n"},
  };
  // clang-format on
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "w" + std::to_string(index++) + ".ini";
    if (c.before) folder_.WriteBytes(name, *c.before);
    for (const auto& w : c.writes) {
      EXPECT_TRUE(
          profile_.WritePrivateProfileStringW(w.section, w.key, w.value, folder_.Windows(name)).ok);
    }
    EXPECT_EQ(folder_.ReadBytes(name), c.after);
  }
}

TEST_F(ProfileSimTest, ReadsValuesTheWayTheSystemDoes) {
  folder_.WriteBytes(
      "p.ini",
      "top=0\r\n[ Sec ] x\r\n  Key  =  Value  \r\n;c=2\r\nnoeq\r\n=noname\r\nempty=\r\n"
      "q1=\"abc\"\r\nq2='abc'\r\nq3=\"abc\r\nq4=\"a\"b\"\r\nq5=\"\r\nq6=\"\"\r\nq7=\" a \"  \r\n"
      "q8=\"abc'\r\nt=\t\v\f v "
      "\t\r\nnb=\xA0v\xA0\r\nz\x1A=\x1Av\x1A\r\nk=1\r\nK=2\r\n[sec]\r\nk=3\r\n"
      "only2=x\r\n"
      "[\xC9]\r\nk=4\r\n");
  struct Case {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* expected;
  };
  // clang-format off
  const Case cases[] = {
      {L"", L"top", L"0"},       {L"SEC", L"key", L"Value"}, {L" sec ", L"\tKEY ", L"Value"},
      {L"Sec", L";c", L"2"},     {L"Sec", L"noeq", L"d"},    {L"Sec", L"", L"noname"},
      {L"Sec", L"empty", L""},   {L"Sec", L"q1", L"abc"},    {L"Sec", L"q2", L"abc"},
      {L"Sec", L"q3", L"\"abc"}, {L"Sec", L"q4", L"a\"b"},   {L"Sec", L"q5", L"\""},
      {L"Sec", L"q6", L""},      {L"Sec", L"q7", L" a "},    {L"Sec", L"q8", L"\"abc'"},
      {L"Sec", L"t", L"v"},      {L"Sec", L"nb", L"\u00A0v\u00A0"},
      {L"Sec", L"z", L"v"},  // Ctrl+Z, a DOS end-of-file mark, is a blank too
      {L"Sec", L"k", L"1"},      {L"Sec", L"only2", L"d"},  // first duplicate only
      {L"\u00C9", L"k", L"4"},   {L"\u00E9", L"k", L"d"},   // letter case ignored for ASCII only
      {L"Nope", L"k", L"d"},
  };
  // clang-format on
  for (const auto& c : cases) {
    const ProfileString read = Read(c.section, c.key);
    EXPECT_EQ(read.value, c.expected)
        << ::testing::PrintToString(std::wstring(c.section) + L"/" + c.key);
    EXPECT_EQ(read.count, read.value.size());
  }
}

TEST_F(ProfileSimTest, BrokenUtf8DecodesAsTheSystemDoes) {
  folder_.WriteBytes("p.ini",
                     "\xEF\xBB\xBF[S]\r\nover=\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\r\n"
                     "cut=\xE4\xB8\x41\xF8\x88\xF4\x8F\xBF\xBF\xF0\x90\x80");
  const std::wstring r = L"\xFFFD";
  EXPECT_EQ(Read(L"S", L"over").value, r + r + r + r + r + r + r);
  EXPECT_EQ(Read(L"S", L"cut").value, r + L"A" + r + r + L"\U0010FFFF" + r);
}

TEST_F(ProfileSimTest, SmallBuffersCutValuesAndQuotedValuesOddly) {
  folder_.WriteBytes("p.ini", "[S]\r\nq=\"abcdefgh\"\r\np=abcd\r\ne=\"\"\r\n");
  // Counts for buffer sizes 0, 1, 2, ...: a quoted value loses one more
  // character when the buffer ends just at its closing quote.
  const std::vector<Dword> quoted = {0, 0, 1, 2, 3, 4, 5, 6, 7, 7, 8, 8, 8};
  for (Dword size = 0; size < quoted.size(); ++size) {
    const ProfileString read = Read(L"S", L"q", L"d", size);
    EXPECT_EQ(read.count, quoted[size]) << size;
    EXPECT_EQ(read.value, std::wstring(L"abcdefgh").substr(0, quoted[size])) << size;
  }
  EXPECT_EQ(Read(L"S", L"p", L"d", 3).value, L"ab");
  EXPECT_EQ(Read(L"S", L"p", L"d", 6).value, L"abcd");
  EXPECT_EQ(Read(L"S", L"e", L"d", 1).count, 0u);
  EXPECT_EQ(Read(L"S", L"e", L"d", 2).count, 0u);
}

TEST_F(ProfileSimTest, DefaultLosesTrailingSpacesOnlyThenIsCut) {
  EXPECT_EQ(Read(L"S", L"x", L"  def  ").value, L"  def");
  EXPECT_EQ(Read(L"S", L"x", L"d \t ").value, L"d \t");
  EXPECT_EQ(Read(L"S", L"x", L"defgh  ", 3).value, L"de");
  EXPECT_EQ(Read(L"S", L"x", L"d \t ", 3).value, L"d ");
  EXPECT_EQ(Read(L"S", L"x", L"").count, 0u);
}

TEST_F(ProfileSimTest, HugeValuesAndNamesRoundTrip) {
  const std::wstring big(100000, L'y');
  const std::wstring name(3000, L'k');
  ASSERT_TRUE(profile_.WritePrivateProfileStringW(L"S", L"big", big, File()).ok);
  ASSERT_TRUE(profile_.WritePrivateProfileStringW(name, name, L"v", File()).ok);
  EXPECT_EQ(Read(L"S", L"big", L"d", 200000).value, big);
  EXPECT_EQ(Read(L"S", L"big").count, 2047u);
  EXPECT_EQ(Read(name, name).value, L"v");
}

TEST_F(ProfileSimTest, GarbageFilesReadWithoutHarm) {
  std::string garbage;
  for (int i = 0; i < 70000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  for (const std::string& prefix : {std::string(), std::string("\xFF\xFE"),
                                    std::string("\xEF\xBB\xBF"), std::string("\xFE\xFF")}) {
    folder_.WriteBytes("p.ini", prefix + garbage + "\xC3");
    EXPECT_EQ(Read(L"nothing", L"here").value, L"d");
    EXPECT_TRUE(profile_.WritePrivateProfileStringW(L"new", L"key", L"v", File()).ok);
    EXPECT_EQ(Read(L"new", L"key").value, L"v");
  }
}

TEST_F(ProfileSimTest, WriteFailuresReportTheSystemsErrors) {
  const auto missing =
      profile_.WritePrivateProfileStringW(L"S", L"k", L"v", folder_.Windows("no") + L"\\p.ini");
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, kErrorPathNotFound);
  std::filesystem::create_directory(folder_.Native() / "dir.ini");
  const auto directory =
      profile_.WritePrivateProfileStringW(L"S", L"k", L"v", folder_.Windows("dir.ini"));
  EXPECT_FALSE(directory.ok);
  EXPECT_EQ(directory.error, kErrorAccessDenied);
  EXPECT_EQ(Read(L"S", L"k").value, L"d");  // missing file
}

}  // namespace
}  // namespace quillet::os::sim
