// Windows paths (Shift-JIS bytes) mapped into a prefix's drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "os/System.h"
#include "wineprefix/CodePage.h"
#include "backends/posix/WinePaths.h"
#include "posix/TempWinePrefix.h"
#include "posix/Utf16Le.h"

using backends::posix::MapWindowsPath;
using wineprefix::Utf16LeToCp932WithAliases;

namespace {

// ミルカナ表ソ in code page 932 (iconv -t CP932): 表 and ソ end in 0x5C.
const std::string kGameSjis = "\x83\x7e\x83\x8b\x83\x4a\x83\x69\x95\x5c\x83\x5c";
const std::string kGameUtf8 = "ミルカナ表ソ";

class WinePathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.MakeDriveC();
    prefix_.WriteFile("drive_c/Games/" + kGameUtf8 + "/mes.arc", "archive");
    drive_ = prefix_.path() + "/dosdevices/c:";
    folder_ = drive_ + "/Games/" + kGameUtf8;
  }

  std::string Mapped(const std::string& windows) {
    std::string host = "<unchanged>";
    EXPECT_TRUE(MapWindowsPath(windows.c_str(), &host)) << windows;
    return host;
  }

  TempWinePrefix prefix_;
  std::string drive_, folder_;
};

TEST_F(WinePathsTest, ResolvesDriveLettersThroughDosdevices) {
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\mes.arc"), folder_ + "/mes.arc");
  EXPECT_EQ(Mapped("c:/Games/" + kGameSjis + "/mes.arc"), folder_ + "/mes.arc");
  // The trail bytes of 表 and ソ are no separators: the folder is one name.
  EXPECT_TRUE(std::filesystem::is_directory(Mapped("C:\\Games\\" + kGameSjis)));
  // The drive's root names the directory, never the link itself.
  EXPECT_EQ(Mapped("C:\\"), drive_ + "/");
  EXPECT_EQ(Mapped("D:\\x"), prefix_.path() + "/dosdevices/d:/x");
  // Entries that do not exist (yet) keep their converted names.
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\mes.arc_"), folder_ + "/mes.arc_");
  EXPECT_EQ(Mapped("C:\\GAMES\\New\\" + kGameSjis), drive_ + "/Games/New/" + kGameUtf8);
}

TEST_F(WinePathsTest, SkipsEmptyAndDotComponents) {
  // An install path ending in '\' with "\mes.arc" appended.
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\\\mes.arc"), folder_ + "/mes.arc");
  EXPECT_EQ(Mapped("C:\\\\Games\\" + kGameSjis + "\\"), folder_);
  EXPECT_EQ(Mapped("C:\\Games\\.\\Other\\..\\" + kGameSjis), folder_);
  EXPECT_EQ(Mapped("C:\\..\\..\\Games"), drive_ + "/Games");  // ".." stops at the root
}

TEST_F(WinePathsTest, MatchesNamesCaseInsensitivelyPreferringTheExactOne) {
  EXPECT_EQ(Mapped("c:\\GAMES\\" + kGameSjis + "\\Mes.Arc"), folder_ + "/mes.arc");
  prefix_.WriteFile("drive_c/Games/" + kGameUtf8 + "/MES.ARC", "other");
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\MES.ARC"), folder_ + "/MES.ARC");
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\mes.arc"), folder_ + "/mes.arc");
  // With no exact match, the first in byte order, so the choice is stable.
  EXPECT_EQ(Mapped("C:\\Games\\" + kGameSjis + "\\Mes.arc"), folder_ + "/MES.ARC");
}

TEST_F(WinePathsTest, PassesPosixPathsAndRefusesWhatCannotBeMapped) {
  EXPECT_EQ(Mapped("/tmp/x/mes.arc"), "/tmp/x/mes.arc");
  EXPECT_EQ(Mapped("relative/mes.arc"), "relative/mes.arc");
  std::string host = "<unchanged>";
  EXPECT_FALSE(MapWindowsPath("\\\\server\\share\\mes.arc", &host));
  EXPECT_FALSE(MapWindowsPath("\\\\?\\C:\\Games", &host));
  // A lead byte with no second byte, and one whose second byte is no trail.
  EXPECT_FALSE(MapWindowsPath("C:\\Games\\\x95", &host));
  EXPECT_FALSE(MapWindowsPath("C:\\Games\\\x95\x20x", &host));
  EXPECT_EQ(host, "<unchanged>");
}

TEST_F(WinePathsTest, BackendFileCallsGoThroughTheMapping) {
  os::System& system = os::NativeSystem();
  std::string folder = "C:\\games\\" + kGameSjis + "\\";
  EXPECT_TRUE(system.PathExists((folder + "MES.ARC").c_str()));
  EXPECT_TRUE(system.PathMove((folder + "mes.arc").c_str(), (folder + "mes.arc_").c_str()));
  EXPECT_TRUE(std::filesystem::is_regular_file(folder_ + "/mes.arc_"));
  EXPECT_FALSE(system.PathExists("\\\\server\\share\\mes.arc"));
  EXPECT_EQ(system.LastError(), os::kErrorPathNotFound);
}

// A folder Shift-JIS cannot name, as the registry reading gives it: each
// character it lacks a user-defined code, turned back at every file call,
// also when the code's second byte is 0x5C, the byte of '\'.
TEST_F(WinePathsTest, ReachesFoldersShiftJisCannotNameThroughTheirAliases) {
  prefix_.WriteFile("drive_c/Games/Caf\u00E9 Mirkan/mes.arc", "archive");
  std::string cafe;
  ASSERT_TRUE(Utf16LeToCp932WithAliases(Utf16Le(u"C:\\Games\\Caf\u00E9 Mirkan\\mes.arc"), &cafe));
  EXPECT_EQ(Mapped(cafe), drive_ + "/Games/Caf\u00E9 Mirkan/mes.arc");
  EXPECT_TRUE(os::NativeSystem().PathExists(cafe.c_str()));

  // Hangul syllables take the next codes, until one ends in 0x5C.
  std::u16string name;
  std::string code, utf8;
  for (char16_t c = u'\uAC00'; code.size() != 2 || code[1] != '\\'; ++c) {
    name.assign(1, c);
    ASSERT_TRUE(Utf16LeToCp932WithAliases(Utf16Le(name), &code));
  }
  ASSERT_TRUE(wineprefix::Utf16LeToUtf8(Utf16Le(name), &utf8));
  prefix_.WriteFile("drive_c/Games/" + utf8 + "/mes.arc", "archive");
  const std::string path = "C:\\Games\\" + code + "\\mes.arc";
  EXPECT_EQ(Mapped(path), drive_ + "/Games/" + utf8 + "/mes.arc");
  EXPECT_TRUE(os::NativeSystem().PathExists(path.c_str()));
}

TEST(WinePrefixTest, ReadsTheEnvironmentAtEachCall) {
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  TempWinePrefix prefix;
  std::string host;
  ASSERT_TRUE(MapWindowsPath("C:\\x", &host));
  EXPECT_EQ(host, prefix.path() + "/dosdevices/c:/x");
  setenv("WINEPREFIX", "", 1);
  EXPECT_EQ(backends::posix::WinePrefixDirectory(), home + "/.wine");
  unsetenv("WINEPREFIX");
  EXPECT_EQ(backends::posix::WinePrefixDirectory(), home + "/.wine");
}

}  // namespace
