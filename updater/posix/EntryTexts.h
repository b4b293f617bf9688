// The Linux program's English texts, in one place: the help, the lines that
// say which Wine prefix was used, what was found and why nothing was, why
// nobody could be asked, what a stop did and what the archive holds. The
// backend gives facts and causes; the sentences are here.
#pragma once

#include <cstdint>
#include <string>

#include "backends/posix/WineRegistry.h"

namespace entry_text {

// Every line to the player starts with it, on standard error and in the journal.
constexpr char kProgramName[] = "mesupdate";

inline std::string UsageError(const std::string& error) {
  return std::string(kProgramName) + ": " + error + "\nTry 'mesupdate --help'.\n";
}
inline std::string VersionLine(const char* version, const char* commit) {
  return std::string("mesupdate ") + version + " (commit " + commit + ")";
}
inline std::string NeedsFolder(const char* option) {
  return std::string("option '") + option + "' needs a folder";
}
inline std::string UnrecognizedOption(const char* option) {
  return std::string("unrecognized option '") + option + "'";
}
inline std::string UnexpectedArgument(const char* argument) {
  return std::string("unexpected argument '") + argument + "'";
}

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
inline std::string SourceOfSearch() { return "found by the search"; }

// What the search reads in each kind of place, for --help and the lines
// after "not installed".
constexpr char kLayoutPrefix[] = "a prefix";
constexpr char kLayoutPrefixesIn[] = "*/";
constexpr char kLayoutSteamRoot[] = "each library's steamapps/compatdata/*/pfx";
constexpr char kLayoutLutrisConfigs[] = "*.yml, game: prefix:";
constexpr char kLayoutHeroicConfigs[] = "*.json, winePrefix";
// Why the search did not read a prefix's registry.
constexpr char kRegistryNotRegular[] = "system.reg is not a regular file";
inline std::string RegistryTooLarge(std::uint64_t mebibytes) {
  return "system.reg is larger than " + std::to_string(mebibytes) + " MiB: not read";
}
constexpr char kRegistryOverLimit[] = "not read: the search had read its limit of registry files";

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

inline std::string ArchiveToUpdate(const std::string& archive, bool leftover) {
  return leftover ? "an interrupted update to finish: " + archive + "_"
                  : "the archive to update: " + archive;
}

inline std::string FoundIn(const std::string& manager, const std::string& prefix,
                           const std::string& archive, bool leftover) {
  return "the game is in the " + manager + " prefix " + prefix + "; " +
         ArchiveToUpdate(archive, leftover);
}

// The same for a prefix the player named (--prefix or $WINEPREFIX).
inline std::string FoundInNamed(const std::string& prefix, const std::string& source,
                                const std::string& archive, bool leftover) {
  return "the game is in the Wine prefix " + prefix + " (" + source + "); " +
         ArchiveToUpdate(archive, leftover);
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

// A question nobody could answer: the dialog program's failure, when one ran.
inline std::string NobodyAsked(const std::string& failure, bool desktop_session) {
  if (!failure.empty()) {
    return "no one could be asked: " + failure +
           ", so the answer is No; run mesupdate in a terminal, or with --yes";
  }
  if (!desktop_session) {
    return "no one could be asked: standard input is not a terminal and there is no desktop "
           "session ($DISPLAY and $WAYLAND_DISPLAY are unset), so the answer is No; run "
           "mesupdate in a terminal, or with --yes";
  }
  return "no one could be asked: standard input is not a terminal, and neither zenity nor "
         "kdialog is installed to ask on the desktop, so the answer is No; install zenity, or "
         "run mesupdate in a terminal";
}

// program: the name it was started under; signal: "SIGINT", ...
inline std::string StoppedBeforeSwap(const char* program, const char* signal,
                                     bool new_file_removed) {
  return std::string(program) + ": stopped by " + signal +
         " before the old archive was touched: mes.arc is unchanged" +
         (new_file_removed ? ", the unfinished new file was removed" : "") + "\n";
}
inline std::string StoppedDuringSwap(const char* program, const char* signal, bool moved) {
  return std::string(program) + ": " + signal + " arrived while mes.arc was being replaced: " +
         (moved ? "the swap was finished first"
                : "the swap did not complete (the messages say why); nothing more was done") +
         "\n";
}

// Why the registry of a prefix did not name the game.
inline std::string ValueOfKey(const backends::posix::RegistryLookup& lookup) {
  return "the value " + lookup.value + " of " + lookup.key;
}
inline std::string WhyNotNamed(const backends::posix::RegistryLookup& lookup) {
  using backends::posix::LookupFault;
  switch (lookup.fault) {
    case LookupFault::kNone: break;
    case LookupFault::kNoPrefix: return "no Wine prefix holds the game";
    case LookupFault::kNoPrefixFolder: return "the prefix does not exist";
    case LookupFault::kNoSystemReg: return "there is no system.reg";
    case LookupFault::kUnreadable: return "system.reg cannot be read";
    case LookupFault::kNotRegistry: return "system.reg is not a Wine registry file";
    case LookupFault::kNoKey:
      return "no key " + lookup.key +
             (lookup.win64 ? " (looked up under Software\\Wow6432Node, as a 32-bit program "
                             "sees a 64-bit prefix)"
                           : "");
    case LookupFault::kNoValue: return "no value " + lookup.value + " in " + lookup.key;
    case LookupFault::kNotShiftJis:
      return ValueOfKey(lookup) + " is not text Shift-JIS can hold (an unpaired surrogate, or "
                                  "more characters Shift-JIS lacks than its user-defined codes)";
    case LookupFault::kTooLong:
      return ValueOfKey(lookup) + " holds " + std::to_string(lookup.size) + " bytes, more than " +
             std::to_string(lookup.room);
  }
  return "";
}
// The value was read, but the updater refused it: too long for the
// archive's path, or a full buffer with no NUL.
inline std::string UnusableFolder(const backends::posix::RegistryLookup& lookup) {
  return ValueOfKey(lookup) + " names no folder the updater can use (the path is too long)";
}
constexpr char kUnusableInstPath[] =
    "InstPath names no folder the updater can use (the path is too long)";
constexpr char kInstPathOutsidePrefix[] = "InstPath names no folder of this prefix";
inline std::string NoArchiveIn(const std::string& game_folder) {
  return "the game's folder " + game_folder + " holds no mes.arc";
}

// After the archive's own messages: what the file holds and what to do.
constexpr char kPutItBack[] =
    "; put the game's own mes.arc back (from a backup, or reinstall the game)";
inline std::string LeftAlone(const std::string& leftover) {
  return leftover +
         ": left by an update that did not finish, but not a complete update by this "
         "version, so it was left alone; if it is the game's archive (mesarc status "
         "tells), rename it to mes.arc and run mesupdate again; otherwise put the game's "
         "own mes.arc back (from a backup, or reinstall the game)";
}
inline std::string TooLarge(std::uint64_t size) {
  return std::to_string(size) + " bytes, more than a message archive can hold (4 GiB)";
}
inline std::string NotAnArchive(const std::string& error) {
  return "not a message archive: " + error;
}
inline std::string DamagedEntry(std::uint32_t position, bool unterminated) {
  return "damaged: entry " + std::to_string(position) +
         (unterminated ? "'s name has no end" : "'s data ends past the end of the file");
}

}  // namespace entry_text
