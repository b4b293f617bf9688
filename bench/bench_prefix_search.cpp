// The search for the game's Wine prefix in a home where the Wine managers
// keep 50 ordinary prefixes: 30 Lutris prefixes in ~/Games, 10 Proton
// prefixes in a Steam library, 10 Bottles bottles, each with a system.reg of
// about 1.5 MB (some 9,000 keys, as a fresh 64-bit prefix holds), one of
// them with the game and its archive. Google Benchmark times whole searches.
//   cmake --preset native-release && cmake --build --preset native-release --target bench_prefix_search
//   build/native-release/bin/bench_prefix_search
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "updater/posix/PrefixSearch.h"

namespace fs = std::filesystem;

namespace {

constexpr int kKeysPerRegistry = 9000;

// A registry the size of a fresh prefix's: keys with a few values each.
std::string OrdinaryRegistry(bool with_game) {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
  for (int k = 0; k < kKeysPerRegistry; ++k) {
    text += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(100000 + k) +
            "-0000-0000-C000-000000000046}\\\\InprocServer32] 1733550000\n#time=1db48a1f2c3d4e5\n"
            "@=\"C:\\\\windows\\\\system32\\\\ole32.dll\"\n\"ThreadingModel\"=\"Both\"\n\n";
  }
  if (with_game) {
    text += "[Software\\\\Wow6432Node\\\\velk\\\\MIRKAN] 1733550000\n\"InstPath\"=\"C:\\\\Mirkan\"\n";
  }
  return text;
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void MakePrefix(const fs::path& prefix, bool with_game) {
  WriteFile(prefix / "system.reg", OrdinaryRegistry(with_game));
  fs::create_directories(prefix / "drive_c/Mirkan");
  fs::create_directories(prefix / "dosdevices");
  fs::create_symlink("../drive_c", prefix / "dosdevices/c:");
  // An archive with no entries: enough for the search to find and examine.
  if (with_game) WriteFile(prefix / "drive_c/Mirkan/mes.arc", std::string(4, '\0'));
}

class Home {
 public:
  Home() {
    char pattern[] = "/tmp/bench-prefix-search-XXXXXX";
    root_ = mkdtemp(pattern);
    const fs::path home = root_;
    for (int i = 0; i < 30; ++i) MakePrefix(home / "Games" / ("game" + std::to_string(i)), i == 17);
    for (int i = 0; i < 10; ++i) {
      MakePrefix(home / ".local/share/Steam/steamapps/compatdata" / std::to_string(3000000 + i) / "pfx",
                 false);
    }
    for (int i = 0; i < 10; ++i) {
      MakePrefix(home / ".local/share/bottles/bottles" / ("bottle" + std::to_string(i)), false);
    }
    environment_ = {root_, root_ + "/.local/share", root_ + "/.config"};
  }
  ~Home() { fs::remove_all(root_); }

  const prefix_search::Environment& environment() const { return environment_; }

 private:
  std::string root_;
  prefix_search::Environment environment_;
};

void BM_SearchFiftyPrefixes(benchmark::State& state) {
  static const Home home;
  for (auto _ : state) {
    const prefix_search::SearchReport report = prefix_search::SearchPrefixes(home.environment());
    if (report.copies.size() != 1 || report.rejected.size() != 49) {
      state.SkipWithError("the search did not find the one copy among 50 prefixes");
      break;
    }
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_SearchFiftyPrefixes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
