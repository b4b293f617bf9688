// Windows paths inside a Wine prefix, as the Linux build sees them.
#pragma once

#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

// The prefix the program entry chose (UseWinePrefix); before it chooses,
// $WINEPREFIX, or $HOME/.wine when that is unset.
std::string WinePrefixDirectory();
// The entry decides which prefix the backend works in (an option, the
// environment, or a search of the Wine managers' folders). "" means none: the
// registry then holds nothing and drive letters name no file.
void UseWinePrefix(const std::string& directory);

// Maps a path as the program holds it (Shift-JIS bytes) to a host path.
// "X:\..." resolves through <prefix>/dosdevices/x:, components separated by
// '\' (double-byte aware), each converted to UTF-8 (the user-defined codes
// that stand for characters Shift-JIS lacks turned back into them, see
// Utf16LeToCp932WithAliases) and matched case-insensitively when no entry
// has the exact name; a path without a drive letter is a POSIX path used as
// it is. Components that do not exist keep their converted names, so a file
// about to be created maps too. Returns false for paths that cannot be mapped
// (UNC paths, bytes that are not Shift-JIS).
bool MapWindowsPath(const char* path, std::string* host_path);

}  // namespace backends::posix
