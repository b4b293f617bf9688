// The Wine path resolver on paths as the program could be handed them (a
// registry value a player edited): long, full of "..", odd separators,
// invalid Shift-JIS. A drive path must resolve below that drive's mapping in
// the prefix, never above it; other paths pass through unchanged; UNC paths
// are refused. The prefix is a small real folder made once per process.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "backends/posix/WinePaths.h"

namespace {

void Check(bool condition, const char* what, const std::string& path) {
  if (condition) return;
  std::fprintf(stderr, "path resolver is wrong: %s (%s)\n", what, path.c_str());
  abort();
}

std::string g_prefix;

void RemovePrefix() {
  std::error_code ignored;
  std::filesystem::remove_all(g_prefix, ignored);
}

// drive_c with a game folder (one name in Japanese, one in another case),
// c: linked to it and d: to a folder that does not exist.
void MakePrefix() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/mespathfuzz-XXXXXX";
  if (!mkdtemp(&pattern[0])) abort();
  g_prefix = pattern;
  namespace fs = std::filesystem;
  fs::create_directories(g_prefix + "/drive_c/Games/Mirkan");
  // ゲーム in UTF-8, as Wine names it on the host
  fs::create_directories(g_prefix + "/drive_c/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0/sub");
  fs::create_directories(g_prefix + "/drive_c/windows");
  fs::create_directories(g_prefix + "/dosdevices");
  std::ofstream(g_prefix + "/drive_c/Games/Mirkan/mes.arc") << "x";
  std::ofstream(g_prefix + "/drive_c/Games/Mirkan/MES.ARC") << "y";
  fs::create_directory_symlink("../drive_c", g_prefix + "/dosdevices/c:");
  fs::create_directory_symlink(g_prefix + "/missing", g_prefix + "/dosdevices/d:");
  setenv("WINEPREFIX", g_prefix.c_str(), 1);
  std::atexit(RemovePrefix);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Below <prefix>/dosdevices/<x>:/ every component is a plain name: no "",
// ".", ".." that could climb out of the drive.
void CheckInsideDrive(const std::string& path, const std::string& host) {
  const char letter = static_cast<char>(path[0] | 0x20);
  const std::string drive = g_prefix + "/dosdevices/" + letter + ":/";
  Check(host.compare(0, drive.size(), drive) == 0, "below the drive's mapping", path);
  Check(host.find('\0') == std::string::npos, "no NUL", path);
  const std::string rest = host.substr(drive.size());
  if (rest.empty()) return;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = rest.find('/', start);
    const std::string component = rest.substr(start, end - start);
    Check(!component.empty() && component != "." && component != "..", "plain components", path);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakePrefix();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The program holds paths as C strings.
  std::string path(reinterpret_cast<const char*>(data), size);
  path = path.substr(0, path.find('\0'));
  std::string host;
  const bool mapped = backends::posix::MapWindowsPath(path.c_str(), &host);
  const bool unc = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                   (path[0] == '\\' || path[1] == '\\');
  const bool drive = path.size() >= 2 && path[1] == ':' && IsLetter(path[0]);
  if (unc) Check(!mapped, "UNC paths are refused", path);
  if (!mapped) return 0;
  if (drive) {
    CheckInsideDrive(path, host);
  } else {
    Check(host == path, "a POSIX path passes through", path);
  }
  return 0;
}
