// Wine's text registry format, fed to the parser as strings.
#include <gtest/gtest.h>

#include <string>

#include "wineprefix/RegFileParser.h"

using wineprefix::RegFile;
using wineprefix::RegFileValue;
using namespace std::string_literals;

namespace {

constexpr char kHeader[] = "WINE REGISTRY Version 2\n";

RegFile Parsed(const std::string& body) {
  RegFile file;
  EXPECT_TRUE(file.Parse(kHeader + body));
  return file;
}

std::u16string Units(const std::string& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

// A string as stored: with its terminating NUL.
std::u16string Z(std::u16string text) {
  text.push_back(0);
  return text;
}

RegFileValue Value(const RegFile& file, std::u16string_view key, std::u16string_view name) {
  const auto* found = file.FindKey(key);
  const RegFileValue* value = found ? found->FindValue(name) : nullptr;
  return value ? *value : RegFileValue{0xFFFF, "<none>"};
}

std::u16string StringOf(const RegFile& file, std::u16string_view key, std::u16string_view name) {
  return Units(Value(file, key, name).data);
}

TEST(RegFileParserTest, DecodesWinesStringEscapes) {
  RegFile file = Parsed(
      "[K]\n"
      "\"Plain\"=\"C:\\\\Games\\\\say \\\"hi\\\"\"\n"
      "\"Controls\"=\"a\\nb\\tc\\rd\\ae\\bf\\vg\\fh\\ei\"\n"
      // Wine writes the shortest \x form unless a hex digit follows.
      "\"Hex\"=\"fr\\x00e9d\\xe9\\x88681a\\x30DF\\xyz\\q\"\n"
      "\"Octal\"=\"a\\101\\0012\\7\"\n"
      "\"Raw\"=\"caf\xC3\xA9 \xE8\xA1\xA8 \xF0\x9F\x98\x80\"\n"
      "\"Invalid\"=\"a\xFF\xFE" "b\xE8\xA1" "c\xED\xA0\x80" "d\"\n"
      "\"Brackets\"=\"[x] \\[y\\]\" ignored\n");
  EXPECT_EQ(StringOf(file, u"K", u"Plain"), Z(u"C:\\Games\\say \"hi\""));
  EXPECT_EQ(StringOf(file, u"K", u"Controls"), Z(u"a\nb\tc\rd\ae\bf\vg\fh\x1bi"));
  EXPECT_EQ(StringOf(file, u"K", u"Hex"), Z(u"fr\u00e9d\u00e9\u88681a\u30dfxyzq"));
  EXPECT_EQ(StringOf(file, u"K", u"Octal"), Z(u"aA\x01" u"2\x07"));
  // Raw UTF-8 is decoded; bytes that are not UTF-8 are dropped, as Wine 8 does.
  EXPECT_EQ(StringOf(file, u"K", u"Raw"), Z(u"caf\u00e9 \u8868 \U0001F600"));
  EXPECT_EQ(StringOf(file, u"K", u"Invalid"), Z(u"abcd"));
  EXPECT_EQ(StringOf(file, u"K", u"Brackets"), Z(u"[x] [y]"));
}

TEST(RegFileParserTest, ReadsEveryValueForm) {
  RegFile file = Parsed(
      "[K]\n"
      "@=\"default\"\n"
      "\"Expand\"=str(2):\"%A%\"\n"
      "\"Multi\"=str(7):\"one\\0two\\0\"\n"
      "\"Dword\"=dword:12345678\n"
      "\"Short\"=dword:a\n"
      "\"Spaced\" = hex:0 , ff,\n"
      "\"Qword\"=hex(b):01,02,03,04,05,06,07,08\n"
      // A string stored without its NUL, continued over lines with CRLF ends.
      "\"NoNul\"=hex(2):25,00,41,00,\\\r\n"
      "  25,00,\\  \r\n"
      "\t68,88\r\n"
      "\"After\"=\"read\"\n");
  EXPECT_EQ(StringOf(file, u"K", u""), Z(u"default"));
  EXPECT_EQ(Value(file, u"K", u"Expand").type, 2u);
  EXPECT_EQ(Value(file, u"K", u"Multi").type, 7u);
  EXPECT_EQ(StringOf(file, u"K", u"Multi"), std::u16string(u"one\0two\0\0", 9));
  EXPECT_EQ(Value(file, u"K", u"Dword").data, "\x78\x56\x34\x12");
  EXPECT_EQ(Value(file, u"K", u"Short").data, "\x0a\0\0\0"s);
  EXPECT_EQ(Value(file, u"K", u"Spaced").type, 3u);
  EXPECT_EQ(Value(file, u"K", u"Spaced").data, "\x00\xff"s);
  EXPECT_EQ(Value(file, u"K", u"Qword").type, 11u);
  EXPECT_EQ(Value(file, u"K", u"NoNul").type, 2u);
  EXPECT_EQ(Value(file, u"K", u"NoNul").data, "%\0A\0%\0\x68\x88"s);
  EXPECT_EQ(StringOf(file, u"K", u"After"), Z(u"read"));
}

TEST(RegFileParserTest, FindsKeysCaseInsensitivelyWithImplicitParents) {
  RegFile file = Parsed(
      ";; All keys relative to REGISTRY\\\\Machine\n"
      "[Software\\\\Velk\\\\MIRKAN\\\\\\x8868\\x30bd] 1796618153\n"
      "#time=1dd860471ad1bac\n"
      "\"Name\"=\"first\"\n"
      "[software\\\\velk\\\\mirkan\\\\\\x8868\\x30BD]\n"
      "\"NAME\"=\"second\"\n"
      "[Caf\\xc9]\n"
      "[Software\\\\Wow6432Node\\\\Wine\\\\Ports]\n"
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00\n"
      "[]\n"
      "#link\n");
  EXPECT_NE(file.FindKey(u""), nullptr);  // even marked as a link
  EXPECT_NE(file.FindKey(u"SOFTWARE\\velk"), nullptr);
  EXPECT_EQ(file.FindKey(u"Software\\velkx"), nullptr);
  EXPECT_EQ(file.FindKey(u"Software\\Velk\\MIRKAN\\\u8868"), nullptr);
  // Empty components do not count; a repeated key adds to the first.
  EXPECT_EQ(StringOf(file, u"\\software\\\\velk\\Mirkan\\\u8868\u30bd\\", u"name"), Z(u"second"));
  EXPECT_NE(file.FindKey(u"caf\u00e9"), nullptr);
  // Links are not followed: not found, though their parents are.
  EXPECT_EQ(file.FindKey(u"Software\\Wow6432Node\\Wine\\Ports"), nullptr);
  EXPECT_NE(file.FindKey(u"Software\\Wow6432Node\\Wine"), nullptr);
}

TEST(RegFileParserTest, NeedsWinesHeaderAndReadsTheArchitecture) {
  RegFile file;
  EXPECT_FALSE(file.Parse(""));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 1\n[K]\n"));
  EXPECT_FALSE(file.Parse("\xEF\xBB\xBFWINE REGISTRY Version 2\n[K]\n"));
  EXPECT_FALSE(file.Parse("WINE REGISTRY Version 2 \n[K]\n"));
  ASSERT_TRUE(file.Parse("WINE REGISTRY Version 2\r\n#arch=win64\r\n[K]\r\n"));
  EXPECT_TRUE(file.win64());
  ASSERT_TRUE(file.Parse(kHeader + "#arch=win32\n[K]\n"s));
  EXPECT_FALSE(file.win64());
  // Inside a key it is a key option, not the prefix's architecture.
  ASSERT_TRUE(file.Parse(kHeader + "[K]\n#arch=win64\n"s));
  EXPECT_FALSE(file.win64());
}

TEST(RegFileParserTest, SkipsWhatDoesNotParse) {
  RegFile file = Parsed(
      "\"Orphan\"=\"before any key\"\n"
      "[Good]\n"
      "\"Unterminated\"=\"abc\n"
      "\"NoEquals\" \"x\"\n"
      "\"BadType\"=str(3):\"x\"\n"
      "\"BadDword\"=dword:123456789\n"
      "\"BigByte\"=hex:100\n"
      "\"BadHex\"=hex:01,zz\n"
      "\"BadHexType\"=hex(" + std::string(20, 'f') + "):00\n"
      "\"EscapeAtEnd\"=\"abc\\\n"
      "\"Ok\"=\"yes\"\n"
      // A continued list takes its next line even when that looks like a value.
      "\"Bin\"=hex:01,\\\n"
      "\"Swallowed\"=\"x\"\n"
      "\"Nul\"=\"x\0y\"\n"s
      "[Unclosed\n"
      "\"Lost\"=\"x\"\n"
      "\"Dangling\"=hex:01,\\\n");
  ASSERT_NE(file.FindKey(u"Good"), nullptr);
  EXPECT_EQ(file.FindKey(u"Good")->values.size(), 1u);
  EXPECT_NE(file.FindKey(u"Good")->FindValue(u"Ok"), nullptr);
  EXPECT_EQ(file.FindKey(u"")->values.size(), 0u);
  EXPECT_EQ(file.FindKey(u"Unclosed"), nullptr);
}

TEST(RegFileParserTest, ParsingForOneKeyKeepsJustWhatItsOpenNeeds) {
  const std::string text = kHeader +
      "#arch=win64\n"
      "[Software\\\\Wow6432Node\\\\velk\\\\MIRKAN\\\\Sub]\n"
      "\"Bin\"=hex:01,\\\n"
      // Swallowed by the list above, so no section, whichever way it is read.
      "[Software\\\\Wow6432Node\\\\Other]\n"
      "[Software\\\\Wow6432Node\\\\velk\\\\MIRKAN]\n"
      "\"InstPath\"=\"C:\\\\32\"\n"
      "[Software\\\\velk\\\\MIRKAN]\n"
      "\"InstPath\"=\"C:\\\\64\"\n"s;
  RegFile file;
  ASSERT_TRUE(file.ParseFor32BitKey(text, u"SOFTWARE\\velk\\mirkan"));
  EXPECT_EQ(file.StoredPath32(u"Software\\velk\\MIRKAN"), u"software\\wow6432node\\velk\\mirkan");
  EXPECT_EQ(StringOf(file, file.StoredPath32(u"Software\\velk\\MIRKAN"), u"InstPath"),
            Z(u"C:\\32"));
  EXPECT_EQ(file.FindKey(u"Software\\velk\\MIRKAN"), nullptr);
  // A parent exists through the keys below it.
  ASSERT_TRUE(file.ParseFor32BitKey(text, u"Software\\velk"));
  EXPECT_NE(file.FindKey(file.StoredPath32(u"Software\\velk")), nullptr);
  ASSERT_TRUE(file.ParseFor32BitKey(text, u"Software\\Other"));
  EXPECT_EQ(file.FindKey(file.StoredPath32(u"Software\\Other")), nullptr);
  ASSERT_TRUE(file.Parse(text));
  EXPECT_EQ(file.FindKey(u"Software\\Wow6432Node\\Other"), nullptr);
  EXPECT_EQ(StringOf(file, u"Software\\velk\\MIRKAN", u"InstPath"), Z(u"C:\\64"));
}

}  // namespace
