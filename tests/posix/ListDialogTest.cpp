// The list dialog for choosing a copy: what zenity and kdialog are given, and
// how the row chosen is read back from a stand-in program's output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "updater/posix/ListDialog.h"
#include "support/TempDir.h"

using prefix_search::ChooseFromList;
using backends::posix::DialogProgram;
using prefix_search::ListChoice;
using prefix_search::ListDialogArguments;
using prefix_search::kListNotShown;
using Args = std::vector<std::string>;

namespace {

ListChoice TwoCopies() {
  return {"mesupdate", "Choose:", {"#", "Manager", "Folder"}, {{"Wine", "/a"}, {"Lutris", "/b"}}};
}

TEST(ListDialogTest, NumbersTheRowsForEitherProgram) {
  EXPECT_EQ(ListDialogArguments(DialogProgram::kZenity, TwoCopies()),
            (Args{"--title=mesupdate", "--list", "--text=Choose:", "--width=900", "--height=360",
                  "--print-column=1", "--column=#", "--column=Manager", "--column=Folder", "1",
                  "Wine", "/a", "2", "Lutris", "/b"}));
  EXPECT_EQ(ListDialogArguments(DialogProgram::kKdialog, TwoCopies()),
            (Args{"--title=mesupdate", "--radiolist", "Choose:", "1", "Wine  /a", "on", "2",
                  "Lutris  /b", "off"}));
}

// A stand-in dialog that prints `output`, complains `errors` and exits with `status`.
int ChooseWith(const std::string& output, int status, const std::string& errors = "") {
  TempDir dir;
  const std::string program =
      dir.Write("dialog", "#!/bin/sh\nprintf '" + output + "'\nprintf '" + errors +
                              "' >&2\nexit " + std::to_string(status) + "\n");
  chmod(program.c_str(), 0755);
  std::string failure;
  return ChooseFromList(program, DialogProgram::kZenity, TwoCopies(), &failure);
}

TEST(ListDialogTest, ReadsTheChosenRowOnly) {
  EXPECT_EQ(ChooseWith("2\\n", 0), 1);
  EXPECT_EQ(ChooseWith("1", 0), 0);
  EXPECT_EQ(ChooseWith("1|Wine\\n", 0), 0);  // zenity's separator, when it prints more columns
  EXPECT_EQ(ChooseWith("2\\n", 1), -1);      // cancelled
  EXPECT_EQ(ChooseWith("\\n", 0), -1);       // nothing chosen
  EXPECT_EQ(ChooseWith("3\\n", 0), -1);      // no such row
  EXPECT_EQ(ChooseWith("0\\n", 0), -1);
  EXPECT_EQ(ChooseWith("-1\\n", 0), -1);
  EXPECT_EQ(ChooseWith("00001\\n", 0), -1);  // longer than any row number
}

TEST(ListDialogTest, AListNeverShownIsNoOnesAnswer) {
  EXPECT_EQ(ChooseWith("", 1, "Gtk-WARNING: cannot open display: :99"), kListNotShown);
  EXPECT_EQ(ChooseWith("", 255, "This option is not available."), kListNotShown);
  std::string failure;
  EXPECT_EQ(ChooseFromList("/nonexistent/dialog", DialogProgram::kZenity, TwoCopies(), &failure),
            kListNotShown);
  EXPECT_NE(failure.find("zenity could not show the list"), std::string::npos) << failure;
}

TEST(ListDialogTest, ReadsABoundedAnswer) {
  // Megabytes of output: the first bytes decide, the rest is drained, not kept.
  TempDir dir;
  const std::string program =
      dir.Write("dialog", "#!/bin/sh\nprintf 2; head -c 3000000 /dev/zero\nexit 0\n");
  chmod(program.c_str(), 0755);
  std::string failure;
  EXPECT_EQ(ChooseFromList(program, DialogProgram::kZenity, TwoCopies(), &failure), -1);
}

}  // namespace
