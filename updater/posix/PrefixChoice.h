// Which Wine prefix this run works in: --prefix, else $WINEPREFIX, else the
// search of the Wine managers' folders, with the player choosing when the
// game is in several. Says on standard error (and under the first desktop
// dialog) which copy that is, or why none was found.
#pragma once

#include <string>
#include <vector>

#include "updater/posix/PrefixSearch.h"

namespace prefix_search {

struct Location {
  std::string prefix;  // for the backend; "" when no prefix holds the game
  std::string source;  // how it was chosen, for the lines about it
  bool searched = false;
  bool found = false;  // copy is the archive this run updates
  GameCopy copy;
  // After "not installed": the lines that say where the search looked.
  std::vector<std::string> not_found;
  // The run ends here, before anything is read or asked: with this code.
  bool stop = false;
  int exit_code = 0;
};

// option_prefix: --prefix's folder, or "". yes: --yes was given.
Location Locate(const std::string& option_prefix, bool yes);

// The lines after "not installed" when the search found nothing.
std::vector<std::string> NotFoundLines(const SearchReport& report);
// "original", "patched", ... for the list.
const char* StateWords(const GameCopy& copy);

}  // namespace prefix_search
