#include "updater/posix/ListDialog.h"

#include <cstdlib>

namespace prefix_search {

using backends::posix::DialogExit;
using backends::posix::ProgramRun;
namespace {

// The chosen row's number is all the program prints; more is not read.
constexpr std::size_t kLongestAnswer = 64;

// "3\n" → 2; anything else → -1.
int RowOfAnswer(const std::string& answer, std::size_t rows) {
  std::size_t end = answer.find_first_of("\n|");
  const std::string digits = answer.substr(0, end);
  if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  const int number = std::atoi(digits.c_str());
  return number >= 1 && static_cast<std::size_t>(number) <= rows ? number - 1 : -1;
}

}  // namespace

std::vector<std::string> ListDialogArguments(DialogProgram program, const ListChoice& choice) {
  std::vector<std::string> arguments{"--title=" + choice.title};
  if (program == DialogProgram::kKdialog) {
    // kdialog --radiolist TEXT [TAG ITEM on|off]...: one line of text per row.
    arguments.push_back("--radiolist");
    arguments.push_back(choice.text);
    for (std::size_t r = 0; r < choice.rows.size(); ++r) {
      std::string item;
      for (std::size_t c = 0; c < choice.rows[r].size(); ++c) {
        item += (c > 0 ? "  " : "") + choice.rows[r][c];
      }
      arguments.push_back(std::to_string(r + 1));
      arguments.push_back(item);
      arguments.push_back(r == 0 ? "on" : "off");
    }
    return arguments;
  }
  arguments.insert(arguments.end(), {"--list", "--text=" + choice.text, "--width=900",
                                     "--height=360", "--print-column=1"});
  for (const std::string& column : choice.columns) arguments.push_back("--column=" + column);
  for (std::size_t r = 0; r < choice.rows.size(); ++r) {
    arguments.push_back(std::to_string(r + 1));
    for (const std::string& cell : choice.rows[r]) arguments.push_back(cell);
  }
  return arguments;
}

int ChooseFromList(const std::string& path, DialogProgram program, const ListChoice& choice,
                   std::string* failure) {
  // Under a UTF-8 locale, as every dialog: zenity refuses non-ASCII text in any other.
  const ProgramRun run =
      backends::posix::RunDialogProgram(path, ListDialogArguments(program, choice), kLongestAnswer);
  const DialogExit exit = backends::posix::ReadDialogExit(run);
  if (exit == DialogExit::kFailed) {
    *failure = backends::posix::DialogFailure(program, "list", run);
    return kListNotShown;
  }
  if (exit != DialogExit::kYes) return -1;
  return RowOfAnswer(run.output, choice.rows.size());
}

}  // namespace prefix_search
