// The readers of the Wine managers' files that name prefixes, on text from
// anywhere: a launcher of another version, a file cut short, an editor's
// slip. Each input goes through all three readers; its bytes also become a
// library path and a prefix written in each format's escapes, which must
// read back as written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updater/posix/LauncherConfigs.h"
#include "updater/posix/SteamLibraries.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "launcher configuration reader is wrong: %s\n", what);
  abort();
}

void ReadAsText(std::string_view text) {
  const auto folders = prefix_search::ReadSteamLibraryFolders(text);
  Check(folders.size() <= prefix_search::kMaxSteamLibraries, "more libraries than the limit");
  for (const std::string& folder : folders) Check(!folder.empty(), "an empty library");
  std::string prefix;
  if (prefix_search::ReadHeroicWinePrefix(text, &prefix)) Check(!prefix.empty(), "an empty prefix");
  prefix.clear();
  if (prefix_search::ReadLutrisGamePrefix(text, &prefix)) Check(!prefix.empty(), "an empty prefix");
}

// The bytes as a JSON string (every byte below 0x20 as \u00XX).
std::string JsonEscaped(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

// Steam's escapes: \\ and \", and \n, \t for those two bytes.
std::string VdfEscaped(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\t') {
      out += "\\t";
      continue;
    }
    out += c;
  }
  return out;
}

void ReadBack(std::string_view bytes) {
  if (bytes.empty()) return;
  std::string prefix;
  const std::string json = "{\"game\": {\"winePrefix\": \"" + JsonEscaped(bytes) + "\"}}";
  Check(prefix_search::ReadHeroicWinePrefix(json, &prefix) && prefix == bytes,
        "a JSON prefix does not read back");
  const std::string vdf = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                          VdfEscaped(bytes) + "\"\n\t}\n}\n";
  const auto folders = prefix_search::ReadSteamLibraryFolders(vdf);
  Check(folders.size() == 1 && folders[0] == bytes, "a library path does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadAsText(text);
  ReadBack(text.substr(0, 4096));
  return 0;
}
