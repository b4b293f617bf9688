// Where the game is: the Wine prefixes that the Wine managers (Steam's
// Proton, Lutris, Bottles, Heroic, winetricks, PlayOnLinux) keep, searched
// before the update starts, so that a player who never set WINEPREFIX is
// still served. It only reads, within limits, and decides nothing: the entry
// tells the player what it found and hands the chosen prefix to the backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "updater/PatchSet.h"

namespace prefix_search {

// Which folder a place's path is relative to.
enum class Base { kHome, kDataHome, kConfigHome };

// What is found at a place.
enum class Layout {
  kPrefix,         // the folder is a prefix
  kPrefixesIn,     // each folder in it is a prefix
  kSteamRoot,      // a Steam install: compatdata/* of each library it lists
  kLutrisConfigs,  // Lutris' games/*.yml, each naming its game's prefix
  kHeroicConfigs,  // Heroic's GamesConfig/*.json, each naming a prefix
};

struct SearchPlace {
  const char* manager;
  Base base;
  const char* path;
  Layout layout;
};

// Every place searched, in order; the first to reach a prefix names its manager.
extern const SearchPlace kSearchPlaces[];
extern const std::size_t kSearchPlaceCount;

struct Environment {
  std::string home;
  std::string data_home;    // $XDG_DATA_HOME, or ~/.local/share
  std::string config_home;  // $XDG_CONFIG_HOME, or ~/.config
};
// From $HOME and the XDG variables (relative ones are ignored, as the XDG
// rules say).
Environment EnvironmentFromProcess();

// The place's folder, and as the player reads it (~/... for the defaults).
std::string PlaceFolder(const SearchPlace& place, const Environment& environment);
std::string ShownPlace(const SearchPlace& place);
// What the place holds, in a few words ("Steam libraries", "games/*.yml").
const char* LayoutWords(Layout layout);

struct Limits {
  std::size_t prefixes = 256;           // prefixes examined
  std::size_t entries_per_folder = 4096;
  std::uint64_t registry_bytes = 64u << 20;  // one system.reg
  std::uint64_t total_bytes = 512u << 20;    // all system.reg files together
  std::uint64_t config_bytes = 1u << 20;     // one launcher configuration
};

// A prefix that holds the game.
struct GameCopy {
  bool named = false;  // the registry names the game's folder
  std::string manager;
  std::string prefix;       // the folder that holds system.reg
  std::string game_folder;  // InstPath on disk
  std::string archive;      // mes.arc on disk
  bool leftover = false;    // only an update's mes.arc_ to finish
  ArchiveState state = ArchiveState::kOriginal;
};

// A prefix examined that does not hold the game, and why.
struct RejectedPrefix {
  std::string manager;
  std::string prefix;
  std::string why;
};

struct SearchReport {
  std::vector<GameCopy> copies;
  std::vector<RejectedPrefix> rejected;
  bool limit_reached = false;
};

SearchReport SearchPrefixes(const Environment& environment, const Limits& limits = Limits());

// The prefix a folder names: itself when it holds system.reg, else its pfx/
// when that does (Proton's compatdata/<id>); "" when neither.
std::string PrefixFolderOf(const std::string& folder);

// Looks the game up in one prefix with the updater's own registry lookup.
// The backend is left working in that prefix. False with *why when the
// registry does not name the game or its folder holds no archive.
bool ExamineGameCopy(const std::string& prefix, GameCopy* copy, std::string* why);

}  // namespace prefix_search
