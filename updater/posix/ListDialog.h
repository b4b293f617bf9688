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

// What ChooseFromList returns when no list was shown at all (the program
// could not reach the display, refused its arguments, or did not run).
constexpr int kListNotShown = -2;

// Shows the list with the program at `path`; the chosen row (0-based), -1
// when the player cancelled or chose nothing, or kListNotShown with *failure
// saying why.
int ChooseFromList(const std::string& path, DialogProgram program, const ListChoice& choice,
                   std::string* failure);

}  // namespace prefix_search
