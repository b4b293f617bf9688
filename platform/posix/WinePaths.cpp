#include "platform/posix/WinePaths.h"

#include <cstdlib>

namespace platform::posix {

std::string WinePrefixDirectory() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

// Placeholder until drive letters are mapped: POSIX paths only.
bool MapWindowsPath(const char* path, std::string* host_path) {
  *host_path = path;
  return true;
}

}  // namespace platform::posix
