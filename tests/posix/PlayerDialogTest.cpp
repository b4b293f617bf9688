// What the Linux player types, and what the desktop dialog programs are given.
#include <gtest/gtest.h>

#include "platform/posix/DesktopDialog.h"
#include "platform/posix/TerminalDialog.h"

namespace {

using platform::MessageStyle;
using platform::posix::DialogArguments;
using platform::posix::DialogProgram;
using platform::posix::IsYesAnswer;

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
  const platform::posix::ShownMessage warning{"cap", "-a & <b>", MessageStyle::kWarning};
  using Args = std::vector<std::string>;
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, warning),
            (Args{"--warning", "--title=cap", "--text=-a & <b>", "--no-markup"}));
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, warning),
            (Args{"--title=cap", "--sorry=-a & <b>"}));
  const platform::posix::ShownMessage question{"cap", "q", MessageStyle::kQuestion};
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, question)[0], "--question");
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, question)[1], "--yesno=q");
  const platform::posix::ShownMessage info{"cap", "i", MessageStyle::kInformation};
  EXPECT_EQ(DialogArguments(DialogProgram::kZenity, info)[0], "--info");
  EXPECT_EQ(DialogArguments(DialogProgram::kKdialog, info)[1], "--msgbox=i");
}

}  // namespace
