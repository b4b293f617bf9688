#include "updater/posix/PrefixChoice.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "os/System.h"
#include "backends/posix/DesktopDialog.h"
#include "backends/posix/ErrorCodes.h"
#include "updater/posix/ListDialog.h"
#include "backends/posix/WinePaths.h"
#include "backends/posix/WineRegistry.h"
#include "updater/UpdaterApp.h"
#include "updater/posix/EntryTexts.h"
#include "updater/posix/PlayerSystem.h"

namespace prefix_search {
namespace {

namespace posix = backends::posix;

constexpr int kExitUsage = UpdaterApp::kExitUsage;
constexpr int kExitStopped = UpdaterApp::kExitStopped;
// Prefixes named one by one after "not installed"; the rest are counted.
constexpr std::size_t kListedRejections = 20;
// The longest answer read for the number of a copy.
constexpr std::size_t kLongestAnswer = 32;

void TellLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) TellPlayer(line);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// An explicit prefix: the folder itself, or its pfx/.
Location Explicit(const std::string& folder, const std::string& source, bool from_environment) {
  Location location;
  location.source = source;
  location.prefix = PrefixFolderOf(folder);
  if (location.prefix.empty()) location.prefix = folder;
  if (from_environment && location.prefix != folder) {
    TellPlayer(entry_text::PfxHint(folder, location.prefix));
  }
  std::string why;
  location.found = ExamineGameCopy(location.prefix, &location.copy, &why);
  // The registry does not name the game: the not-installed box comes first,
  // with the reason under it.
  if (!location.copy.named) {
    posix::NoteUnderNextDialog(entry_text::NotInstalledIn(location.prefix, source, why));
  }
  // Named before the question, as a copy the search found is.
  if (location.found) {
    const std::string line = entry_text::FoundInNamed(location.prefix, source,
                                                      location.copy.archive, location.copy.leftover);
    TellPlayer(line);
    posix::NoteUnderNextDialog(line);
  }
  return location;
}

std::vector<std::string> ListLines(const std::vector<GameCopy>& copies) {
  std::vector<std::string> lines{entry_text::SeveralCopies(copies.size())};
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const GameCopy& copy = copies[i];
    lines.push_back("  " + std::to_string(i + 1) + "  " + copy.manager + "  " + copy.game_folder +
                    "  " + StateWords(copy) + "  (prefix " + copy.prefix + ")");
  }
  return lines;
}

// One bounded line from standard input, a byte at a time and past any
// buffer, so that the question after it reads the next line whatever way it
// reads. False at the end of input, or when the line is longer than any
// number of the list (the rest is left unread).
bool ReadAnswer(std::string* answer) {
  for (;;) {
    char c;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return !answer->empty();
    if (c == '\n') return true;
    if (answer->size() == kLongestAnswer) return false;
    answer->push_back(c);
  }
}

int ChooseOnTerminal(const std::vector<GameCopy>& copies) {
  std::fputs(entry_text::ChoicePrompt(copies.size()).c_str(), stderr);
  std::fflush(stderr);
  std::string answer;
  const bool read = ReadAnswer(&answer);
  if (!read) std::fputc('\n', stderr);
  const std::size_t begin = answer.find_first_not_of(" \t\r");
  const std::size_t end = answer.find_last_not_of(" \t\r");
  if (!read || begin == std::string::npos) return -1;
  const std::string digits = answer.substr(begin, end - begin + 1);
  if (digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long number = std::strtol(digits.c_str(), nullptr, 10);
  return number >= 1 && static_cast<std::size_t>(number) <= copies.size()
             ? static_cast<int>(number - 1)
             : -1;
}

int ChooseOnDesktop(const std::string& path, posix::DialogProgram program,
                    const std::vector<GameCopy>& copies, std::string* failure) {
  ListChoice choice;
  choice.title = entry_text::kListTitle;
  choice.text = entry_text::kListText;
  choice.columns = {entry_text::kColumnNumber, entry_text::kColumnManager,
                    entry_text::kColumnFolder, entry_text::kColumnState,
                    entry_text::kColumnPrefix};
  for (const GameCopy& copy : copies) {
    choice.rows.push_back({copy.manager, copy.game_folder, StateWords(copy), copy.prefix});
  }
  return ChooseFromList(path, program, choice, failure);
}

// The copy the player picks, or -1 after saying why none was.
int Choose(const std::vector<GameCopy>& copies, bool yes) {
  TellLines(ListLines(copies));
  if (yes) {
    TellPlayer(entry_text::YesCannotChoose(copies[0].prefix));
    return -1;
  }
  std::string path;
  posix::DialogProgram program;
  int chosen = kListNotShown;
  std::string failure;
  if (posix::AsksOnDesktop(&path, &program)) {
    chosen = ChooseOnDesktop(path, program, copies, &failure);
  }
  // A list that could not be shown is nobody's answer: say why, and ask on
  // the terminal where there is one.
  if (chosen == kListNotShown && posix::CanAnswerOnInput()) {
    chosen = ChooseOnTerminal(copies);
  } else if (chosen == kListNotShown) {
    TellPlayer(entry_text::NoOneToChoose(failure));
    return -1;
  }
  if (chosen < 0) TellPlayer(entry_text::kNoneChosen);
  return chosen;
}

void Found(Location* location, const GameCopy& copy) {
  location->found = true;
  location->copy = copy;
  location->prefix = copy.prefix;
  const std::string line =
      entry_text::FoundIn(copy.manager, copy.prefix, copy.archive, copy.leftover);
  TellPlayer(line);
  posix::NoteUnderNextDialog(line);
}

Location Search(bool yes) {
  Location location;
  location.searched = true;
  location.source = entry_text::SourceOfSearch();
  const SearchReport report = SearchPrefixes(EnvironmentFromProcess());
  // What the probes of the search met is nobody's failure to report.
  os::Sys().TakeFailureCause();
  if (report.copies.empty()) {
    location.not_found = NotFoundLines(report);
    posix::NoteUnderNextDialog(Joined(location.not_found));
  } else if (report.copies.size() == 1) {
    Found(&location, report.copies[0]);
  } else {
    const int chosen = Choose(report.copies, yes);
    if (chosen < 0) {
      location.stop = true;
      location.exit_code = yes ? kExitUsage : kExitStopped;
      return location;
    }
    Found(&location, report.copies[static_cast<std::size_t>(chosen)]);
  }
  return location;
}

}  // namespace

Location Locate(const std::string& option_prefix, bool yes) {
  Location location;
  if (!option_prefix.empty()) {
    location = Explicit(option_prefix, entry_text::SourceOfOption(), false);
  } else if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable) {
    location = Explicit(variable, entry_text::SourceOfEnvironment(), true);
  } else {
    location = Search(yes);
  }
  if (!location.stop) posix::UseWinePrefix(location.prefix);
  os::Sys().TakeFailureCause();
  return location;
}

std::vector<std::string> NotFoundLines(const SearchReport& report) {
  std::vector<std::string> lines{
      entry_text::NotFoundAnywhere(report.copies.size() + report.rejected.size())};
  for (std::size_t i = 0; i < kSearchPlaceCount; ++i) {
    const SearchPlace& place = kSearchPlaces[i];
    lines.push_back(
        entry_text::PlaceSearched(ShownPlace(place), place.manager, LayoutWords(place.layout)));
  }
  if (!report.rejected.empty()) lines.push_back(entry_text::kPrefixesExamined);
  for (std::size_t i = 0; i < report.rejected.size() && i < kListedRejections; ++i) {
    const RejectedPrefix& rejected = report.rejected[i];
    lines.push_back(entry_text::PrefixExamined(rejected.manager, rejected.prefix, rejected.why));
  }
  if (report.rejected.size() > kListedRejections) {
    lines.push_back(entry_text::MorePrefixes(report.rejected.size() - kListedRejections));
  }
  if (report.limit_reached) lines.push_back(entry_text::kSearchLimited);
  lines.push_back(entry_text::kWhatToDo);
  return lines;
}

const char* StateWords(const GameCopy& copy) {
  if (copy.leftover) return entry_text::kStateLeftover;
  switch (copy.state) {
    case ArchiveState::kOriginal: return entry_text::kStateOriginal;
    case ArchiveState::kPartlyPatched: return entry_text::kStatePartlyPatched;
    case ArchiveState::kPatched: return entry_text::kStatePatched;
    case ArchiveState::kDamaged: return entry_text::kStateDamaged;
  }
  return "";
}

}  // namespace prefix_search
