// Steam's steamapps/libraryfolders.vdf: where each of a player's Steam
// libraries lies. The file is Valve's KeyValues text, for which no packaged
// parser exists; this reader takes only what it needs and stops at limits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace prefix_search {

// The libraries' folders, in the file's order: the "path" of each entry
// under "libraryfolders", or the value of a numbered key (the older layout).
// Malformed text yields what was read before the fault; at most
// kMaxSteamLibraries folders, nesting deeper than a few levels is not read.
std::vector<std::string> ReadSteamLibraryFolders(std::string_view text);

constexpr std::size_t kMaxSteamLibraries = 64;

}  // namespace prefix_search
