#include "updater/posix/PrefixSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <utility>

#include "backends/posix/ErrorCodes.h"
#include "backends/posix/WinePaths.h"
#include "backends/posix/WineRegistry.h"
#include "updater/UpdaterApp.h"
#include "updater/posix/EntryTexts.h"
#include "updater/posix/LauncherConfigs.h"
#include "updater/posix/SteamLibraries.h"

namespace prefix_search {

// The one table of places; README.md and --help show the same list.
const SearchPlace kSearchPlaces[] = {
    {"Wine", Base::kHome, ".wine", Layout::kPrefix},
    {"Steam (Proton)", Base::kDataHome, "Steam", Layout::kSteamRoot},
    {"Steam (Proton)", Base::kHome, ".steam/steam", Layout::kSteamRoot},
    {"Steam (Proton)", Base::kHome, ".var/app/com.valvesoftware.Steam/.local/share/Steam",
     Layout::kSteamRoot},
    {"Steam (Proton)", Base::kHome, ".var/app/com.valvesoftware.Steam/data/Steam",
     Layout::kSteamRoot},
    {"Lutris", Base::kConfigHome, "lutris/games", Layout::kLutrisConfigs},
    {"Lutris", Base::kDataHome, "lutris/games", Layout::kLutrisConfigs},
    {"Lutris", Base::kHome, ".var/app/net.lutris.Lutris/config/lutris/games",
     Layout::kLutrisConfigs},
    {"Lutris", Base::kHome, ".var/app/net.lutris.Lutris/data/lutris/games",
     Layout::kLutrisConfigs},
    {"Lutris", Base::kHome, "Games", Layout::kPrefixesIn},
    {"Bottles", Base::kDataHome, "bottles/bottles", Layout::kPrefixesIn},
    {"Bottles", Base::kHome, ".var/app/com.usebottles.bottles/data/bottles/bottles",
     Layout::kPrefixesIn},
    {"Heroic", Base::kConfigHome, "heroic/GamesConfig", Layout::kHeroicConfigs},
    {"Heroic", Base::kHome, ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig",
     Layout::kHeroicConfigs},
    {"Heroic", Base::kHome, "Games/Heroic/Prefixes", Layout::kPrefixesIn},
    {"Heroic", Base::kHome, "Games/Heroic/Prefixes/default", Layout::kPrefixesIn},
    {"winetricks", Base::kDataHome, "wineprefixes", Layout::kPrefixesIn},
    {"PlayOnLinux", Base::kHome, ".PlayOnLinux/wineprefix", Layout::kPrefixesIn},
};
const std::size_t kSearchPlaceCount = sizeof kSearchPlaces / sizeof kSearchPlaces[0];

namespace {

bool StatRegular(const std::string& path, struct stat* info) {
  return stat(path.c_str(), info) == 0 && S_ISREG(info->st_mode);
}

bool IsAbsolute(const char* path) { return path && path[0] == '/'; }

// The folder's entries, sorted so that the list the player sees is stable;
// at most `limit` of them are read.
std::vector<std::string> ListFolder(const std::string& folder, std::size_t limit) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (names.size() == limit) break;
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string_view end(suffix);
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A small file read whole, or nothing when it is not a regular file or larger.
bool ReadSmallFile(const std::string& path, std::uint64_t limit, std::string* text) {
  struct stat info;
  if (!StatRegular(path, &info) || static_cast<std::uint64_t>(info.st_size) > limit) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(static_cast<std::size_t>(info.st_size), '\0');
  in.read(text->data(), info.st_size);
  text->resize(static_cast<std::size_t>(in.gcount()));
  return true;
}

using FileId = std::pair<dev_t, ino_t>;

class Search {
 public:
  Search(const Environment& environment, const Limits& limits)
      : environment_(environment), limits_(limits) {}

  SearchReport Run() {
    for (std::size_t i = 0; i < kSearchPlaceCount; ++i) SearchAt(kSearchPlaces[i]);
    return std::move(report_);
  }

 private:
  void SearchAt(const prefix_search::SearchPlace& place) {
    const std::string folder = PlaceFolder(place, environment_);
    if (folder.empty()) return;
    switch (place.layout) {
      case Layout::kPrefix:
        Consider(folder, place.manager);
        break;
      case Layout::kPrefixesIn:
        for (const std::string& name : ListFolder(folder, limits_.entries_per_folder)) {
          Consider(folder + "/" + name, place.manager);
        }
        break;
      case Layout::kSteamRoot:
        SearchSteam(folder, place.manager);
        break;
      case Layout::kLutrisConfigs:
      case Layout::kHeroicConfigs:
        SearchConfigs(folder, place.layout, place.manager);
        break;
    }
  }

  // The install's own library first, then every one its lists name.
  void SearchSteam(const std::string& root, const char* manager) {
    std::vector<std::string> libraries{root};
    for (const char* list : {"/steamapps/libraryfolders.vdf", "/config/libraryfolders.vdf"}) {
      std::string text;
      if (!ReadSmallFile(root + list, limits_.config_bytes, &text)) continue;
      for (std::string& folder : ReadSteamLibraryFolders(text)) libraries.push_back(folder);
    }
    for (const std::string& library : libraries) {
      if (!FirstVisit(library, &visited_libraries_)) continue;
      const std::string compatdata = library + "/steamapps/compatdata";
      for (const std::string& id : ListFolder(compatdata, limits_.entries_per_folder)) {
        Consider(compatdata + "/" + id, manager);
      }
    }
  }

  void SearchConfigs(const std::string& folder, Layout layout, const char* manager) {
    const bool lutris = layout == Layout::kLutrisConfigs;
    for (const std::string& name : ListFolder(folder, limits_.entries_per_folder)) {
      if (!EndsWith(name, lutris ? ".yml" : ".json")) continue;
      std::string text, prefix;
      if (!ReadSmallFile(folder + "/" + name, limits_.config_bytes, &text)) continue;
      const bool named = lutris ? ReadLutrisGamePrefix(text, &prefix)
                                : ReadHeroicWinePrefix(text, &prefix);
      if (named) Consider(ExpandHome(prefix), manager);
    }
  }

  // Launchers may keep "~/..." as the player typed it.
  std::string ExpandHome(const std::string& path) const {
    if (path == "~" || path.rfind("~/", 0) == 0) return environment_.home + path.substr(1);
    return path;
  }

  // True the first time a folder (by device and inode, so links and other
  // spellings of it count as one) is seen.
  static bool FirstVisit(const std::string& folder, std::set<FileId>* visited) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    return visited->insert({info.st_dev, info.st_ino}).second;
  }

  void Consider(const std::string& folder, const char* manager) {
    if (folder.empty() || folder[0] != '/') return;
    const std::string prefix = PrefixFolderOf(folder);
    if (prefix.empty() || !FirstVisit(prefix, &visited_prefixes_)) return;
    if (examined_ == limits_.prefixes) {
      report_.limit_reached = true;
      return;
    }
    ++examined_;
    std::string why;
    if (RegistryWithinLimits(prefix, &why)) {
      GameCopy copy;
      copy.manager = manager;
      if (ExamineGameCopy(prefix, &copy, &why)) {
        report_.copies.push_back(std::move(copy));
        return;
      }
    }
    report_.rejected.push_back({manager, prefix, why});
  }

  bool RegistryWithinLimits(const std::string& prefix, std::string* why) {
    struct stat info;
    if (!StatRegular(prefix + "/system.reg", &info)) {
      *why = entry_text::kRegistryNotRegular;
      return false;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > limits_.registry_bytes) {
      *why = entry_text::RegistryTooLarge(limits_.registry_bytes >> 20);
      return false;
    }
    if (bytes_read_ + size > limits_.total_bytes) {
      report_.limit_reached = true;
      *why = entry_text::kRegistryOverLimit;
      return false;
    }
    bytes_read_ += size;
    return true;
  }

  const Environment& environment_;
  const Limits& limits_;
  SearchReport report_;
  std::set<FileId> visited_prefixes_;
  std::set<FileId> visited_libraries_;
  std::size_t examined_ = 0;
  std::uint64_t bytes_read_ = 0;
};

}  // namespace

Environment EnvironmentFromProcess() {
  Environment environment;
  // Without an absolute home the places under it are nowhere: never the
  // root or the current folder.
  const char* home = std::getenv("HOME");
  environment.home = IsAbsolute(home) ? home : "";
  const auto under_home = [&](const char* path) {
    return environment.home.empty() ? std::string() : environment.home + path;
  };
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* config = std::getenv("XDG_CONFIG_HOME");
  environment.data_home = IsAbsolute(data) ? data : under_home("/.local/share");
  environment.config_home = IsAbsolute(config) ? config : under_home("/.config");
  return environment;
}

std::string PlaceFolder(const SearchPlace& place, const Environment& environment) {
  const std::string& base = place.base == Base::kHome       ? environment.home
                            : place.base == Base::kDataHome ? environment.data_home
                                                            : environment.config_home;
  return base.empty() ? "" : base + "/" + place.path;
}

std::string ShownPlace(const SearchPlace& place) {
  const char* base = place.base == Base::kHome       ? "~/"
                     : place.base == Base::kDataHome ? "~/.local/share/"
                                                     : "~/.config/";
  return base + std::string(place.path);
}

const char* LayoutWords(Layout layout) {
  switch (layout) {
    case Layout::kPrefix: return entry_text::kLayoutPrefix;
    case Layout::kPrefixesIn: return entry_text::kLayoutPrefixesIn;
    case Layout::kSteamRoot: return entry_text::kLayoutSteamRoot;
    case Layout::kLutrisConfigs: return entry_text::kLayoutLutrisConfigs;
    case Layout::kHeroicConfigs: return entry_text::kLayoutHeroicConfigs;
  }
  return "";
}

SearchReport SearchPrefixes(const Environment& environment, const Limits& limits) {
  return Search(environment, limits).Run();
}

std::string PrefixFolderOf(const std::string& folder) {
  struct stat info;
  if (StatRegular(folder + "/system.reg", &info)) return folder;
  if (StatRegular(folder + "/pfx/system.reg", &info)) return folder + "/pfx";
  return "";
}

bool ExamineGameCopy(const std::string& prefix, GameCopy* copy, std::string* why) {
  namespace posix = backends::posix;
  posix::UseWinePrefix(prefix);
  char archive[kMaxPath];
  if (!ReadGameArchivePath(archive)) {
    const posix::RegistryLookup lookup =
        posix::LookUpRegistryValue(prefix, kGameKey, kInstallPathValue, kMaxPath);
    *why = lookup.fault == posix::LookupFault::kNone ? entry_text::kUnusableInstPath
                                                     : entry_text::WhyNotNamed(lookup);
    return false;
  }
  copy->named = true;
  std::string host;
  if (!posix::MapWindowsPath(archive, &host)) {
    *why = entry_text::kInstPathOutsidePrefix;
    return false;
  }
  copy->prefix = prefix;
  copy->archive = posix::ResolvedHostPath(host);
  copy->game_folder = posix::HostFolderOf(copy->archive);
  struct stat info;
  if (StatRegular(host, &info)) {
    copy->state = ExamineInstalledArchive(archive);
    return true;
  }
  const std::string leftover = std::string(archive) + "_";
  if (CarriesPatchSet(leftover.c_str())) {
    copy->leftover = true;
    copy->state = ArchiveState::kPatched;
    return true;
  }
  *why = entry_text::NoArchiveIn(copy->game_folder);
  return false;
}

}  // namespace prefix_search
