// Characters Shift-JIS lacks, carried through the program's Shift-JIS as
// user-defined codes and turned back into themselves on the way out. The
// codes are handed out once per process, so the tests compare codes with
// each other, never with fixed bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <set>
#include <string>

#include "wineprefix/CodePage.h"
#include "posix/Utf16Le.h"

using wineprefix::Cp932ToUtf8;
using wineprefix::Cp932ToUtf8Lossy;
using wineprefix::Utf16LeToCp932;
using wineprefix::Utf16LeToCp932WithAliases;
using wineprefix::Utf16LeToUtf8;
using wineprefix::Utf8ToCp932;
using namespace std::string_literals;

namespace {

// The conversion with aliases; "<refused>" when it fails.
std::string Aliased(const std::u16string& text) {
  std::string cp932;
  return Utf16LeToCp932WithAliases(Utf16Le(text), &cp932) ? cp932 : "<refused>";
}

std::string Utf8Of(const std::string& cp932) {
  std::string utf8;
  return Cp932ToUtf8(cp932, &utf8) ? utf8 : "<refused>";
}

bool IsUserDefinedCode(const std::string& code) {
  return code.size() == 2 && static_cast<unsigned char>(code[0]) >= 0xF0 &&
         static_cast<unsigned char>(code[0]) <= 0xF9;
}

struct Lacking {
  const char* name;
  std::u16string utf16;
  std::string utf8;
};

void PrintTo(const Lacking& c, std::ostream* out) { *out << c.name; }

class CodePageAliasTest : public ::testing::TestWithParam<Lacking> {};

// Each character sits between a letter and a '\', as in a path.
TEST_P(CodePageAliasTest, TakesOneUserDefinedCodeThatReadsBackAsTheCharacter) {
  const Lacking& c = GetParam();
  const std::string path = Aliased(u"C:\\" + c.utf16 + u"\\x");
  ASSERT_EQ(path.size(), 7u) << path;
  const std::string code = path.substr(3, 2);
  EXPECT_TRUE(IsUserDefinedCode(code));
  EXPECT_EQ(path.substr(0, 3) + path.substr(5), "C:\\\\x");
  // Stable: the character keeps its code.
  EXPECT_EQ(Aliased(c.utf16), code);
  EXPECT_EQ(Utf8Of(path), "C:\\" + c.utf8 + "\\x");
  EXPECT_EQ(Cp932ToUtf8Lossy(path + "\x80"), "C:\\" + c.utf8 + "\\x\xEF\xBF\xBD");
  // The strict conversions the tools use still refuse it (the user-defined
  // range has its natural codes there).
  std::string cp932;
  if (c.utf8 != "\xEE\x80\x80") {
    EXPECT_FALSE(Utf16LeToCp932(Utf16Le(c.utf16), &cp932));
    EXPECT_FALSE(Utf8ToCp932(c.utf8, &cp932));
  }
}

INSTANTIATE_TEST_SUITE_P(
    CharactersShiftJisLacks, CodePageAliasTest,
    ::testing::Values(Lacking{"e_acute", u"\u00E9", "\xC3\xA9"},
                      // iconv would make it 0x5C, the byte of '\'
                      Lacking{"yen_sign", u"\u00A5", "\xC2\xA5"},
                      // iconv takes it one way only
                      Lacking{"wave_dash", u"\u301C", "\xE3\x80\x9C"},
                      Lacking{"user_defined_range", u"\uE000", "\xEE\x80\x80"},
                      Lacking{"surrogate_pair", u"\U0001F600", "\xF0\x9F\x98\x80"}),
    [](const ::testing::TestParamInfo<Lacking>& info) { return std::string(info.param.name); });

TEST(CodePageAliasesTest, DifferentCharactersTakeDifferentCodesAndTextShiftJisHoldsKeepsItsBytes) {
  const std::string e = Aliased(u"\u00E9"), u = Aliased(u"\u00FC"), pua = Aliased(u"\uE000");
  EXPECT_EQ(std::set<std::string>({e, u, pua}).size(), 3u);
  // ミルカナ表ソ: 表 and ソ end in 0x5C; with é, only é changes.
  const std::string game = "\x83\x7e\x83\x8b\x83\x4a\x83\x69\x95\x5c\x83\x5c";
  EXPECT_EQ(Aliased(u"C:\\Games\\ミルカナ表ソ"), "C:\\Games\\" + game);
  EXPECT_EQ(Aliased(u"ミルカナ表ソ\u00E9"), game + e);
  EXPECT_EQ(Utf8Of(game + e), "ミルカナ表ソé");
  // A user-defined code no alias was given reads as iconv reads it.
  EXPECT_EQ(Utf8Of("\xF9\xFC"), "\xEE\x9D\x97");  // U+E757
}

TEST(CodePageAliasesTest, RefusesAnUnpairedSurrogate) {
  std::string cp932;
  EXPECT_FALSE(Utf16LeToCp932WithAliases(Utf16Le(u"Caf\u00E9") + "\x00\xD8"s, &cp932));
  EXPECT_FALSE(Utf16LeToCp932WithAliases("\x00\xDC"s, &cp932));
}

// Converts distinct characters until refused, then exits 0 when every code
// given was a new user-defined one that reads back as its character, the
// last of them (0xF9FC) among them, and characters already given one keep
// converting.
[[noreturn]] void FillTheTable() {
  std::set<std::string> codes;
  char16_t hangul = u'\uAC00';
  std::string code, utf8;
  while (Utf16LeToCp932WithAliases(Utf16Le(std::u16string(1, hangul)), &code)) {
    if (!IsUserDefinedCode(code) || !codes.insert(code).second) std::exit(1);
    if (!Utf16LeToUtf8(Utf16Le(std::u16string(1, hangul)), &utf8) || Utf8Of(code) != utf8) {
      std::exit(3);
    }
    ++hangul;
  }
  const bool last_given = codes.count("\xF9\xFC") == 1;
  const bool refused = Aliased(std::u16string(1, static_cast<char16_t>(hangul + 1))) == "<refused>";
  const bool kept = Aliased(u"\uAC00") == *codes.begin();
  std::exit(last_given && refused && kept ? 0 : 2);
}

// In a child process, so that the full table stays there.
TEST(CodePageAliasesDeathTest, GivesOutEachUserDefinedCodeOnceThenRefuses) {
  EXPECT_EXIT(FillTheTable(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
