// The readers of the Wine managers' files that name prefixes: Steam's
// libraryfolders.vdf, Lutris' game YAML, Heroic's game JSON. Each case is a
// text and what the reader must make of it; bad input yields nothing or what
// came before the fault, never a crash or a wrong folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/posix/LauncherConfigs.h"
#include "updater/posix/SteamLibraries.h"

using prefix_search::ReadHeroicWinePrefix;
using prefix_search::ReadLutrisGamePrefix;
using prefix_search::ReadSteamLibraryFolders;

namespace {

struct VdfCase {
  const char* name;
  std::string text;
  std::vector<std::string> folders;
};

class SteamLibrariesTest : public testing::TestWithParam<VdfCase> {};

TEST_P(SteamLibrariesTest, ReadsTheLibraries) {
  EXPECT_EQ(ReadSteamLibraryFolders(GetParam().text), GetParam().folders);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SteamLibrariesTest,
    testing::Values(
        VdfCase{"Current",
                "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
                "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1\"\n\t\t}\n\t}\n"
                "\t\"1\"\n\t{\n\t\t\"label\"\t\"\"\n\t\t\"path\"\t\"/mnt/d/Steam Library\"\n\t}\n}\n",
                {"/home/p/.local/share/Steam", "/mnt/d/Steam Library"}},
        VdfCase{"OlderNumberedValues",
                "\"LibraryFolders\"\n{\n\"TimeNextStatsReport\" \"1\"\n\"1\" \"/mnt/a\"\n"
                "// a comment\n\"2\" \"/mnt/b\\\\c\"\n}\n",
                {"/mnt/a", "/mnt/b\\c"}},
        VdfCase{"PathOutsideTheList", "\"other\" { \"0\" { \"path\" \"/x\" } } \"path\" \"/y\"", {}},
        VdfCase{"PathTooDeep",
                "\"libraryfolders\" { \"0\" { \"apps\" { \"path\" \"/deep\" } } }", {}},
        VdfCase{"Unterminated", "\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" { \"path\" \"/b",
                {"/a"}},
        VdfCase{"UnbalancedClose", "} } \"libraryfolders\" { \"1\" \"/a\" }", {}},
        VdfCase{"NestingWithoutEnd", std::string("\"libraryfolders\" ") + std::string(100000, '{'), {}},
        VdfCase{"EmptyAndBinary", std::string("\0\xff\"", 3), {}}),
    [](const testing::TestParamInfo<VdfCase>& info) { return std::string(info.param.name); });

TEST(SteamLibrariesTest, StopsAtTheLimit) {
  std::string text = "\"libraryfolders\" {";
  for (int i = 0; i < 1000; ++i) text += " \"" + std::to_string(i) + "\" \"/lib\"";
  EXPECT_EQ(ReadSteamLibraryFolders(text).size(), prefix_search::kMaxSteamLibraries);
}

struct ConfigCase {
  const char* name;
  std::string text;
  const char* prefix;  // nullptr: none
};

class LutrisConfigTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(LutrisConfigTest, FindsTheGamePrefix) {
  std::string prefix;
  const bool found = ReadLutrisGamePrefix(GetParam().text, &prefix);
  ASSERT_EQ(found, GetParam().prefix != nullptr);
  if (found) {
    EXPECT_EQ(prefix, GetParam().prefix);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LutrisConfigTest,
    testing::Values(
        ConfigCase{"Plain", "game:\n  exe: /g/a.exe\n  prefix: /home/p/Games/mirkan\nwine: {}\n",
                   "/home/p/Games/mirkan"},
        ConfigCase{"Quoted", "game:\n  prefix: '/home/p/My ''Games''/m'\n", "/home/p/My 'Games'/m"},
        // How PyYAML writes a path it cannot keep plain: escapes, folded onto a second line.
        ConfigCase{"DoubleQuotedFolded",
                   "game:\n  prefix: \"/home/p/\\u30DF\\u30EB\\u30AB\\u30CA/a very long folder \\\n    name\"\n",
                   "/home/p/\xE3\x83\x9F\xE3\x83\xAB\xE3\x82\xAB\xE3\x83\x8A/a very long folder name"},
        ConfigCase{"PrefixOutsideGame", "system:\n  prefix: /x\nprefix: /y\n", nullptr},
        ConfigCase{"PrefixNotAString", "game:\n  prefix:\n    - /x\n", nullptr},
        ConfigCase{"EmptyPrefix", "game:\n  prefix: ''\n", nullptr},
        ConfigCase{"GameNotAMap", "game: [1, 2]\n", nullptr},
        ConfigCase{"NotYaml", "game: {prefix: /x\n", nullptr},
        ConfigCase{"UnclosedList", "game:\n  prefix: /x\n  prefix: [\n", nullptr},
        ConfigCase{"DeepNesting", std::string(100000, '[') , nullptr},
        ConfigCase{"Empty", "", nullptr}),
    [](const testing::TestParamInfo<ConfigCase>& info) { return std::string(info.param.name); });

class HeroicConfigTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(HeroicConfigTest, FindsTheWinePrefix) {
  std::string prefix;
  const bool found = ReadHeroicWinePrefix(GetParam().text, &prefix);
  ASSERT_EQ(found, GetParam().prefix != nullptr);
  if (found) {
    EXPECT_EQ(prefix, GetParam().prefix);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HeroicConfigTest,
    testing::Values(
        ConfigCase{"Current",
                   R"({"Mirkan": {"wineVersion": {"bin": "/w"}, "winePrefix": "\/home\/p\/Games\/Heroic\/Prefixes\/default\/Mirkan"}})",
                   "/home/p/Games/Heroic/Prefixes/default/Mirkan"},
        ConfigCase{"EscapesAndPairs", R"({"a":{"winePrefix" : "/p/\u30df\ud83c\udfae \"q\""}})",
                   "/p/\xE3\x83\x9F\xF0\x9F\x8E\xAE \"q\""},
        ConfigCase{"LoneSurrogate", R"({"winePrefix": "/p/\ud800x"})", "/p/\xEF\xBF\xBDx"},
        // Only a member name counts: the same text as a value is passed over.
        ConfigCase{"NameAsValue", R"({"x": "winePrefix", "y": ":", "winePrefix": "/real"})", "/real"},
        ConfigCase{"NotAString", R"({"winePrefix": 3, "b": {"winePrefix": null}})", nullptr},
        ConfigCase{"EmptyThenSet", R"({"a": {"winePrefix": ""}, "b": {"winePrefix": "/b"}})", "/b"},
        ConfigCase{"Unterminated", R"({"winePrefix": "/p)", nullptr},
        ConfigCase{"BadEscape", R"({"winePrefix": "/p\q"})", nullptr},
        ConfigCase{"ShortUnicodeEscape", R"({"winePrefix": "/p\u12"})", nullptr},
        ConfigCase{"Empty", "", nullptr}),
    [](const testing::TestParamInfo<ConfigCase>& info) { return std::string(info.param.name); });

}  // namespace
