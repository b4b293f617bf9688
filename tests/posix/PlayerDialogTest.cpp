// What the Linux player types, and what the desktop dialog programs are given.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "backends/posix/DesktopDialog.h"
#include "backends/posix/TerminalDialog.h"

namespace {

using os::MessageStyle;
using backends::posix::DialogArguments;
using backends::posix::DialogProgram;
using backends::posix::IsYesAnswer;
using backends::posix::DialogExit;
using backends::posix::ProgramRun;
using backends::posix::ReadDialogExit;

TEST(PlayerDialogTest, YesInEnglishJapaneseOrFullWidthAnyCase) {
  for (const char* yes : {"y", "Y", "yes", " YeS \t", "\xE3\x81\xAF\xE3\x81\x84",  // はい
                          "\xEF\xBD\x99",                                          // ｙ
                          "\xEF\xBC\xB9",                                          // Ｙ
                          "\xEF\xBD\x99\xEF\xBD\x85\xEF\xBD\x93"}) {               // ｙｅｓ
    EXPECT_TRUE(IsYesAnswer(yes)) << yes;
  }
  for (const char* no : {"", "n", "no", "yes please", "ye", "\xE3\x81\x84\xE3\x81\x84\xE3\x81\x88",
                         "\xEF\xBD\x8E",  // ｎ
                         "\xEF\xBC\xBA"}) {  // Ｚ
    EXPECT_FALSE(IsYesAnswer(no)) << no;
  }
}

// Each value is joined to its option, so a text starting with '-' is no
// option; zenity takes the text without markup, so '&' and '<' stay text.
TEST(PlayerDialogTest, TitleTextAndIconReachTheDialogProgramsAsSingleArguments) {
  const backends::posix::ShownMessage warning{"cap", "-a & <b>", MessageStyle::kWarning};
  using Args = std::vector<std::string>;
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, warning),
            (Args{"--warning", "--title=cap", "--text=-a & <b>", "--no-markup"}));
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, warning),
            (Args{"--title=cap", "--sorry=-a & <b>"}));
  const backends::posix::ShownMessage question{"cap", "q", MessageStyle::kQuestion};
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, question)[0], "--question");
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, question)[1], "--yesno=q");
  const backends::posix::ShownMessage info{"cap", "i", MessageStyle::kInformation};
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, info)[0], "--info");
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, info)[1], "--msgbox=i");
}

// zenity and kdialog give 1 both for No and when they cannot reach the
// display; only the latter says so on standard error. Anything else but 0
// (zenity's 255 for arguments it refuses, a crash) showed nothing.
TEST(PlayerDialogTest, ADialogThatShowedNothingIsNoAnswer) {
  EXPECT_EQ(ReadDialogExit(ProgramRun{0, "", ""}), DialogExit::kYes);
  EXPECT_EQ(ReadDialogExit(ProgramRun{1, "", ""}), DialogExit::kNo);
  EXPECT_EQ(ReadDialogExit(ProgramRun{1, "Gtk-Message: GtkDialog mapped without a transient parent", ""}),
            DialogExit::kNo);
  for (const ProgramRun& failed :
       {ProgramRun{1, "(zenity:1): Gtk-WARNING **: cannot open display: :99", ""},
        ProgramRun{1, "qt.qpa.xcb: could not connect to display :99", ""},
        ProgramRun{255, "This option is not available. Please see --help for all possible usages.", ""},
        ProgramRun{5, "", ""}, ProgramRun{-1, "", ""}}) {
    EXPECT_EQ(ReadDialogExit(failed), DialogExit::kFailed) << failed.status << " " << failed.errors;
  }
}

struct LocaleCase {
  const char* lc_all;
  const char* given;  // LC_ALL as the dialog program gets it
};

class DialogLocaleTest : public ::testing::TestWithParam<LocaleCase> {};

// ja_JP.UTF-8 is one of the locales the test machine generates.
TEST_P(DialogLocaleTest, TheDialogProgramRunsUnderAUtf8Locale) {
  const char* saved = std::getenv("LC_ALL");
  const std::string restore = saved ? saved : "";
  setenv("LC_ALL", GetParam().lc_all, 1);
  const std::vector<std::string> environment = backends::posix::DialogEnvironment();
  if (saved) setenv("LC_ALL", restore.c_str(), 1);
  else unsetenv("LC_ALL");
  EXPECT_EQ(std::count_if(environment.begin(), environment.end(),
                          [](const std::string& v) { return v.compare(0, 7, "LC_ALL=") == 0; }),
            1);
  EXPECT_NE(std::find(environment.begin(), environment.end(), std::string("LC_ALL=") + GetParam().given),
            environment.end());
}

INSTANTIATE_TEST_SUITE_P(Locales, DialogLocaleTest,
                         ::testing::Values(LocaleCase{"C", "C.UTF-8"}, LocaleCase{"POSIX", "C.UTF-8"},
                                           LocaleCase{"ja_JP.eucJP", "ja_JP.UTF-8"},
                                           LocaleCase{"ja_JP.UTF-8", "ja_JP.UTF-8"}),
                         [](const ::testing::TestParamInfo<LocaleCase>& info) {
                           std::string name = info.param.lc_all;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// A program in a relative $PATH entry (empty, ".", "bin") would be one the
// current folder chose.
TEST(PlayerDialogTest, RelativePathEntriesAreNeverSearched) {
  const std::string folder = ::testing::TempDir() + "path-test";
  mkdir(folder.c_str(), 0700);
  mkdir((folder + "/bin").c_str(), 0700);
  for (const std::string& file : {folder + "/fakedialog", folder + "/bin/fakedialog"}) {
    std::ofstream(file) << "#!/bin/sh\n";
    chmod(file.c_str(), 0755);
  }
  char* cwd = getcwd(nullptr, 0);
  const char* saved = std::getenv("PATH");
  const std::string restore = saved ? saved : "";
  ASSERT_EQ(chdir(folder.c_str()), 0);
  for (const char* path : {"", ":", ".", "bin", "/nonexistent::/nonexistent", "./bin:."}) {
    setenv("PATH", path, 1);
    EXPECT_EQ(backends::posix::FindOnPath("fakedialog"), "") << "PATH=" << path;
  }
  setenv("PATH", (folder + "/bin").c_str(), 1);
  EXPECT_EQ(backends::posix::FindOnPath("fakedialog"), folder + "/bin/fakedialog");
  setenv("PATH", restore.c_str(), 1);
  EXPECT_EQ(chdir(cwd), 0);
  std::free(cwd);
}

std::string Printed(std::FILE* out) {
  std::fflush(out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

// No input to read is No at once; an endless line is read only so far, and is No.
TEST(PlayerDialogTest, TheTerminalDialogReadsAtMostOneShortLine) {
  const backends::posix::ShownMessage question{"cap", "q?", MessageStyle::kQuestion};
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(backends::posix::ShowTerminalDialog(question, nullptr, out), os::MessageAnswer::kNo);
  EXPECT_EQ(Printed(out), "[cap] q? [y/N] \n");
  std::fclose(out);

  std::FILE* in = std::tmpfile();
  std::fputs((std::string(100000, ' ') + "y\n").c_str(), in);
  std::rewind(in);
  out = std::tmpfile();
  EXPECT_EQ(backends::posix::ShowTerminalDialog(question, in, out), os::MessageAnswer::kNo);
  EXPECT_LT(std::ftell(in), 100000) << "read on past a few hundred bytes";
  std::fclose(in);
  std::fclose(out);
}

// A registry value with ESC ] 2 ; ... BEL would retitle the terminal.
TEST(PlayerDialogTest, ControlBytesInTheTextAreShownNotObeyed) {
  const backends::posix::ShownMessage message{"c\x1b", "C:\\\x1b]2;x\x07\xC2\x9B\x7F\nline 2",
                                              MessageStyle::kWarning};
  std::FILE* out = std::tmpfile();
  backends::posix::ShowTerminalDialog(message, nullptr, out);
  EXPECT_EQ(Printed(out), "[c\\x1b] C:\\\\x1b]2;x\\x07\\x9b\\x7f\nline 2\n");
  std::fclose(out);
}

}  // namespace
