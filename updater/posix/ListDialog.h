// A desktop dialog that lets the player pick one row of a list: zenity's
// --list or kdialog's --radiolist, started as the message dialogs are.
#pragma once

#include <string>
#include <vector>

#include "backends/posix/DesktopDialog.h"

namespace prefix_search {

using backends::posix::DialogProgram;

struct ListChoice {
  std::string title;
  std::string text;                           // above the list
  std::vector<std::string> columns;           // zenity's headings, the number's first
  std::vector<std::vector<std::string>> rows; // a cell for each column after the number
};

// The dialog program's arguments (after its name): each row is preceded by
// its 1-based number, which the program prints for the chosen row.
std::vector<std::string> ListDialogArguments(DialogProgram program, const ListChoice& choice);

// Shows the list with the program at `path`; the chosen row (0-based), or -1
// when the player cancelled, chose nothing, or the dialog did not run.
int ChooseFromList(const std::string& path, DialogProgram program, const ListChoice& choice);

}  // namespace prefix_search
