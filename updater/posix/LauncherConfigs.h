// The prefix a launcher's game configuration names. The caller reads the
// file (bounded); these only parse its text and never throw.
#pragma once

#include <string>
#include <string_view>

namespace prefix_search {

// Lutris: games/<slug>.yml, the key "prefix" of the mapping "game". Parsed
// with yaml-cpp, linked statically so that the Linux package does not need
// it installed. False when the text is not YAML or names no prefix.
bool ReadLutrisGamePrefix(std::string_view yaml, std::string* prefix);

// Heroic: GamesConfig/<app>.json, the string member "winePrefix" of the
// game's object (the first one found at any depth). JSON strings are decoded
// in full (escapes, \u pairs to UTF-8). False when there is none.
bool ReadHeroicWinePrefix(std::string_view json, std::string* prefix);

}  // namespace prefix_search
