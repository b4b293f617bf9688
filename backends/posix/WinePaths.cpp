#include "backends/posix/WinePaths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "os/WindowsPath.h"
#include "wineprefix/CodePage.h"

namespace backends::posix {
using namespace os;
using namespace wineprefix;
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

bool AsciiEqualIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The entry of `directory` that `name` refers to: the exact name when it
// exists, else one that differs only in ASCII case (the first in byte order,
// so the choice is stable), as Wine resolves names. *exists says whether
// either was found; when not, the name is kept for a file about to be made.
std::string ResolveEntry(const std::string& directory, const std::string& name, bool* exists) {
  struct stat info;
  *exists = lstat((directory + "/" + name).c_str(), &info) == 0;
  if (*exists) return name;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return name;
  std::string best;
  while (const dirent* entry = readdir(dir)) {
    std::string_view candidate = entry->d_name;
    if (!AsciiEqualIgnoreCase(candidate, name)) continue;
    if (!*exists || candidate < best) best = candidate;
    *exists = true;
  }
  closedir(dir);
  return *exists ? best : name;
}

std::optional<std::string> g_chosen_prefix;

}  // namespace

void UseWinePrefix(const std::string& directory) { g_chosen_prefix = directory; }

std::string WinePrefixDirectory() {
  if (g_chosen_prefix) return *g_chosen_prefix;
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

bool MapWindowsPath(const char* path, std::string* host_path) {
  if (!path) return false;
  std::string_view windows(path);
  // \\server\share, \\?\ and \\.\ have no place in a prefix.
  if (windows.size() >= 2 && IsSeparator(windows[0]) && IsSeparator(windows[1]) &&
      (windows[0] == '\\' || windows[1] == '\\')) {
    return false;
  }
  if (windows.size() < 2 || windows[1] != ':' || !IsAsciiLetter(windows[0])) {
    *host_path = windows;
    return true;
  }

  std::vector<std::string_view> components;
  if (!SplitShiftJisPath(windows.substr(2), &components)) return false;
  std::vector<std::string> names;
  for (std::string_view component : components) {
    if (component == ".") continue;
    if (component == "..") {
      // As on Windows, ".." is lexical and stops at the drive's root.
      if (!names.empty()) names.pop_back();
      continue;
    }
    std::string utf8;
    if (!Cp932ToUtf8(component, &utf8)) return false;
    names.push_back(std::move(utf8));
  }

  const std::string prefix = WinePrefixDirectory();
  if (prefix.empty()) return false;
  // Wine keeps each drive as a symbolic link <prefix>/dosdevices/<letter>:.
  std::string host = prefix + "/dosdevices/" + AsciiLower(windows[0]) + ":";
  bool exists = true;
  for (const std::string& name : names) {
    // Below a missing entry nothing exists, so there is nothing to look up.
    host += '/';
    host += exists ? ResolveEntry(host.substr(0, host.size() - 1), name, &exists) : name;
  }
  // The drive's root keeps its slash, so that it names the directory, never
  // the link itself (unlinking "C:\" must not remove the drive).
  if (names.empty()) host += '/';
  *host_path = std::move(host);
  return true;
}

}  // namespace backends::posix
