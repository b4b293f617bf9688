// The Linux entry's English texts, in one place: the help, and the lines that
// say which Wine prefix was used, what was found and why nothing was.
#pragma once

#include <string>

namespace entry_text {

constexpr char kUsageHead[] =
    "Usage: mesupdate [-y|--yes] [-p|--prefix DIR]\n"
    "       mesupdate -h|--help\n"
    "       mesupdate --version\n"
    "\n"
    "Updates the game's message archive mes.arc: five message files in it are\n"
    "superseded by the newer ones this program carries. The old archive is\n"
    "replaced only by a complete new one.\n"
    "\n"
    "The game's folder is the value InstPath of the key\n"
    "HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN in the registry (system.reg) of a\n"
    "Wine prefix: the one --prefix names, else $WINEPREFIX when set, else the one\n"
    "of the places below whose registry names the game and whose game folder\n"
    "holds mes.arc. DIR (and $WINEPREFIX) may also be a folder whose pfx/ holds\n"
    "system.reg, such as Proton's compatdata/<id>. When several prefixes hold\n"
    "the game the program lists them and asks which one to update; with --yes it\n"
    "refuses and asks for --prefix.\n"
    "\n"
    "Where it looks (~/.local/share and ~/.config follow $XDG_DATA_HOME and\n"
    "$XDG_CONFIG_HOME):\n";

constexpr char kUsageTail[] =
    "\n"
    "The program asks before it changes anything: y, yes or \xE3\x81\xAF\xE3\x81\x84 (any case,\n"
    "full-width letters too) goes ahead; anything else, or the end of input,\n"
    "answers No and nothing is changed. Started without a terminal (from a file\n"
    "manager or a launcher) in a desktop session, it asks and reports through\n"
    "zenity or kdialog dialogs; with neither installed it answers No and says\n"
    "why on standard error and in the journal (logger). After an update, one\n"
    "line on standard output names the archive it updated.\n"
    "\n"
    "A failed file operation is followed by one line on standard error: the\n"
    "file on disk and the cause.\n"
    "\n"
    "Options:\n"
    "  -p, --prefix DIR  the Wine prefix of the game (no search)\n"
    "  -y, --yes         answer the question Yes without reading standard input\n"
    "  -h, --help        print this help and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  1    the archive was updated\n"
    "  2    the update was attempted and did not complete (the messages say\n"
    "       why), the command line was not understood, or --yes was given\n"
    "       while several prefixes hold the game\n"
    "  255  the game is not installed, or the answer was No\n";

inline std::string SourceOfOption() { return "from --prefix"; }
inline std::string SourceOfEnvironment() { return "from $WINEPREFIX"; }

inline std::string PfxHint(const std::string& given, const std::string& used) {
  return "$WINEPREFIX (" + given + ") holds no system.reg; using " + used +
         ", the prefix inside it (Proton keeps a game's prefix in compatdata/<id>/pfx)";
}

inline std::string NotInstalledIn(const std::string& prefix, const std::string& source,
                                  const std::string& why) {
  return "not installed: searched " + prefix + "/system.reg of the Wine prefix " + prefix + " (" +
         source + "): " + why;
}

inline std::string NotFoundAnywhere(std::size_t examined) {
  return "not installed: no Wine prefix names the game with its mes.arc (" +
         std::to_string(examined) + (examined == 1 ? " prefix" : " prefixes") +
         " examined). Searched:";
}
inline std::string PlaceSearched(const std::string& place, const std::string& manager,
                                 const std::string& what) {
  return "  " + place + " (" + manager + ": " + what + ")";
}
inline std::string PrefixExamined(const std::string& manager, const std::string& prefix,
                                  const std::string& why) {
  return "  " + manager + " prefix " + prefix + ": " + why;
}
constexpr char kPrefixesExamined[] = "Prefixes examined:";
inline std::string MorePrefixes(std::size_t more) {
  return "  and " + std::to_string(more) + " more";
}
constexpr char kSearchLimited[] =
    "the search stopped at its limits (prefixes, or bytes of system.reg read)";
constexpr char kWhatToDo[] =
    "if the game is installed in another Wine prefix, name it: mesupdate --prefix DIR";

inline std::string FoundIn(const std::string& manager, const std::string& prefix,
                           const std::string& archive, bool leftover) {
  return "the game is in the " + manager + " prefix " + prefix + "; " +
         (leftover ? "an interrupted update to finish: " + archive + "_"
                   : "the archive to update: " + archive);
}

// The same for a prefix the player named (--prefix or $WINEPREFIX).
inline std::string FoundInNamed(const std::string& prefix, const std::string& source,
                                const std::string& archive, bool leftover) {
  return "the game is in the Wine prefix " + prefix + " (" + source + "); " +
         (leftover ? "an interrupted update to finish: " + archive + "_"
                   : "the archive to update: " + archive);
}

inline std::string SeveralCopies(std::size_t count) {
  return "the game is installed in " + std::to_string(count) + " Wine prefixes:";
}
constexpr char kListTitle[] = "mesupdate";
constexpr char kListText[] =
    "The game is installed in several Wine prefixes. Choose the copy to update:";
constexpr char kColumnNumber[] = "#";
constexpr char kColumnManager[] = "Manager";
constexpr char kColumnFolder[] = "Game folder";
constexpr char kColumnState[] = "Archive";
constexpr char kColumnPrefix[] = "Prefix";
inline std::string ChoicePrompt(std::size_t count) {
  return "Which one to update? [1-" + std::to_string(count) + ", anything else: none] ";
}
inline std::string YesCannotChoose(const std::string& example_prefix) {
  return "--yes cannot choose between them: nothing was changed; name one with --prefix, "
         "for example: mesupdate --yes --prefix " + example_prefix;
}
constexpr char kNoneChosen[] = "no copy was chosen: nothing was changed";
// failure: why the list dialog showed nothing, when one was run.
inline std::string NoOneToChoose(const std::string& failure) {
  return "no one could choose: " +
         (failure.empty() ? std::string("standard input is not a terminal and no desktop dialog "
                                        "could ask")
                          : failure) +
         ", so nothing was changed; name the prefix with --prefix";
}

constexpr char kStateOriginal[] = "original";
constexpr char kStatePartlyPatched[] = "partly patched";
constexpr char kStatePatched[] = "patched";
constexpr char kStateDamaged[] = "damaged";
constexpr char kStateLeftover[] = "interrupted update (mes.arc_)";

inline std::string Updated(const std::string& archive) { return "updated " + archive; }
constexpr char kAnswerNo[] = "the answer was No: nothing was changed";

}  // namespace entry_text
