// Rebuild benchmark, the whole process as a player runs it: generates an
// archive inside a throw-away Wine prefix, then times the native mesupdate
// (answering yes) against cp + sync of the same file and takes the updater's
// peak resident memory from wait4. Targets: rebuild <= 1.1 x (cp + sync);
// peak <= 10 MiB (14 MiB from 100,000 entries on). See bench/README.md.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/MesArchive.h"

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Case {
  std::uint32_t entries;
  std::uint64_t largest_bytes;
};

struct Options {
  std::vector<Case> cases;  // default: 1,000, 20,000, 100,000 and one 64 MiB entry among 20,000
  std::uint64_t total_bytes = 256 * kMiB;
  int repeat = 5;
  std::string dir;      // default: a new folder under $TMPDIR
  std::string updater;  // default: mesupdate beside this program
};

// One finished child process.
struct Run {
  double seconds = 0;
  double peak_mib = 0;  // ru_maxrss
  int exit_code = -1;
};

bool ParseArguments(int argc, char** argv, Options* options) {
  std::uint32_t entries = 0;
  std::uint64_t largest = 4 * kMiB;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&arg](const char* name) -> const char* {
      const std::size_t length = std::strlen(name);
      return arg.compare(0, length, name) == 0 ? arg.c_str() + length : nullptr;
    };
    if (const char* v = value("--entries=")) {
      entries = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (const char* v = value("--total-mib=")) {
      options->total_bytes = std::strtoull(v, nullptr, 10) * kMiB;
    } else if (const char* v = value("--largest-mib=")) {
      largest = std::strtoull(v, nullptr, 10) * kMiB;
    } else if (const char* v = value("--repeat=")) {
      options->repeat = std::max(1, std::atoi(v));
    } else if (const char* v = value("--dir=")) {
      options->dir = v;
    } else if (const char* v = value("--updater=")) {
      options->updater = v;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--entries=N [--largest-mib=4]] [--total-mib=256] [--repeat=5] "
                   "[--dir=DIR] [--updater=PATH]\n",
                   argv[0]);
      return false;
    }
  }
  if (entries != 0) {
    options->cases = {{entries, largest}};
  } else {
    options->cases = {{1000, 4 * kMiB}, {20000, 4 * kMiB}, {100000, 4 * kMiB}, {20000, 64 * kMiB}};
  }
  for (Case& c : options->cases) {
    if (c.entries < 11 || options->total_bytes == 0 ||
        options->total_bytes + 32ull * (c.entries + 5) > 0xF0000000u) {
      std::fprintf(stderr, "need at least 11 entries and an archive below 3.75 GiB\n");
      return false;
    }
    c.largest_bytes = std::min(c.largest_bytes, options->total_bytes / 2);
  }
  if (options->updater.empty()) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return false;
    self[length] = '\0';
    options->updater = std::string(self, std::strrchr(self, '/') + 1) + "mesupdate";
  }
  return true;
}

// Writes the archive: one entry of exactly the largest size, the rest varied
// (up to 7 times the smallest share) so that the total is exact. Five entries
// carry the names the update supersedes.
bool Generate(const std::string& path, const Case& options, std::uint64_t total_bytes) {
  const std::uint32_t n = options.entries;
  std::mt19937 random(12345);
  std::vector<std::uint32_t> weights(n - 1);
  std::uint64_t weight_sum = 0;
  for (auto& w : weights) weight_sum += (w = 1 + random() % 7);
  const std::uint64_t rest = total_bytes - options.largest_bytes;

  std::vector<ArchiveEntry> index(n);
  std::uint64_t assigned = 0;
  const std::uint32_t largest_at = n / 2;
  for (std::uint32_t i = 0, k = 0; i < n; ++i) {
    ArchiveEntry& entry = index[i];
    std::memset(&entry, 0, sizeof entry);
    if (i == largest_at) {
      entry.size = static_cast<std::uint32_t>(options.largest_bytes);
    } else {
      entry.size = static_cast<std::uint32_t>(rest * weights[k++] / weight_sum);
      assigned += entry.size;
    }
    std::snprintf(entry.name, sizeof entry.name, "M%06u.MES", i);
  }
  index[n - 1 == largest_at ? 0 : n - 1].size += static_cast<std::uint32_t>(rest - assigned);
  const char* superseded[] = {"T27C.MES", "C_TALK00.MES", "C_TALK80.MES", "C_TALK90.MES",
                              "T09C.MES"};
  for (std::uint32_t j = 0; j < 5; ++j) {
    std::snprintf(index[(j * 2 + 1) * (n / 10)].name, kEntryNameSize, "%s", superseded[j]);
  }
  std::uint64_t position = 4 + 32ull * n;
  for (ArchiveEntry& entry : index) {
    entry.offset = static_cast<std::uint32_t>(position);
    position += entry.size;
  }
  ScrambleEntries(index.data(), n);

  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(&n, 4, 1, file) == 1 && std::fwrite(index.data(), 32, n, file) == n;
  std::vector<unsigned char> pattern(kMiB);
  for (auto& byte : pattern) byte = static_cast<unsigned char>(random());
  for (std::uint64_t left = total_bytes; ok && left > 0;) {
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, pattern.size()));
    ok = std::fwrite(pattern.data(), 1, chunk, file) == chunk;
    left -= chunk;
  }
  ok = std::fflush(file) == 0 && fsync(fileno(file)) == 0 && ok;
  return std::fclose(file) == 0 && ok;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs argv with stdin from in_path (or /dev/null) and output to log_path;
// the time from fork to wait4 and the child's peak resident set. A forked
// child starts as a copy of this process, whose resident set therefore is
// the floor of every peak measured (see Floor).
Run Spawn(const std::vector<std::string>& argv, const char* in_path, const std::string& log_path,
          const char* wine_prefix = nullptr) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  Run run;
  const double start = Now();
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(in_path ? in_path : "/dev/null", O_RDONLY);
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || log < 0) _exit(126);
    dup2(in, 0);
    dup2(log, 1);
    dup2(log, 2);
    if (wine_prefix) setenv("WINEPREFIX", wine_prefix, 1);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (child < 0) return run;
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) return run;
  run.seconds = Now() - start;
  run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Copies a file and syncs it, so that every run starts from a clean page cache state.
bool CopySynced(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY);
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool ok = in >= 0 && out >= 0;
  std::vector<char> buffer(kMiB);
  while (ok) {
    const ssize_t got = read(in, buffer.data(), buffer.size());
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = write(out, buffer.data(), static_cast<std::size_t>(got)) == got;
  }
  ok = ok && fsync(out) == 0;
  if (in >= 0) close(in);
  if (out >= 0) ok = close(out) == 0 && ok;
  return ok;
}

bool WriteText(const std::string& path, const char* text) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return false;
  const bool ok = std::fputs(text, file) >= 0;
  return std::fclose(file) == 0 && ok;
}

// A prefix as Wine makes it for a 32-bit program, with the game's key.
bool MakePrefix(const std::string& prefix, const std::string& game) {
  for (const std::string& folder : {prefix, prefix + "/dosdevices", prefix + "/drive_c",
                                    prefix + "/drive_c/Games", game}) {
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  if (symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()) != 0 && errno != EEXIST) {
    return false;
  }
  return WriteText(prefix + "/system.reg",
                   "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                   "#arch=win32\n\n[Software\\\\velk\\\\MIRKAN] 1733550000\n"
                   "\"InstPath\"=\"C:\\\\Games\\\\Mirkan\"\n");
}

// The updater finished the swap: the archive in place holds the old entries and five more.
bool Updated(const std::string& archive, std::uint32_t old_count) {
  std::uint32_t count = 0;
  FILE* file = std::fopen(archive.c_str(), "rb");
  const bool read = file && std::fread(&count, 4, 1, file) == 1;
  if (file) std::fclose(file);
  return read && count == old_count + 5 && MesArchive::IsCompleteArchive(archive.c_str()) == 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Spread {
  std::vector<double> values;
  void Add(double value) { values.push_back(value); }
  // "median (min-max)"
  std::string Text(const char* format) const {
    char median[32], low[32], high[32], text[112];
    std::snprintf(median, sizeof median, format, Median(values));
    std::snprintf(low, sizeof low, format, *std::min_element(values.begin(), values.end()));
    std::snprintf(high, sizeof high, format, *std::max_element(values.begin(), values.end()));
    std::snprintf(text, sizeof text, "%s (%s-%s)", median, low, high);
    return text;
  }
};

// Runs one case; false when a run failed.
bool Measure(const Case& c, const Options& options, const std::string& dir) {
  const std::string original = dir + "/original.arc";
  const std::string copy = dir + "/copy.arc";
  const std::string prefix = dir + "/prefix";
  const std::string game = prefix + "/drive_c/Games/Mirkan";
  const std::string archive = game + "/mes.arc";
  const std::string yes = dir + "/yes.txt";
  const std::string log = dir + "/updater.log";
  std::printf("\n%u entries, %.0f MiB, largest entry %.0f MiB\n", c.entries,
              static_cast<double>(options.total_bytes) / kMiB,
              static_cast<double>(c.largest_bytes) / kMiB);
  if (!Generate(original, c, options.total_bytes) || !MakePrefix(prefix, game) ||
      !WriteText(yes, "y\n")) {
    std::fprintf(stderr, "could not prepare %s\n", dir.c_str());
    return false;
  }

  Spread copy_seconds, rm_seconds, update_seconds, ratios, peaks;
  bool ok = true;
  for (int r = 0; ok && r < options.repeat; ++r) {
    std::remove(log.c_str());
    const Run cp = Spawn({"cp", original, copy}, nullptr, log);
    const Run sync = Spawn({"sync", copy}, nullptr, log);
    // The update also deletes the old archive; what that costs alone, for context.
    const Run rm = Spawn({"rm", copy}, nullptr, log);
    std::remove((archive + "_").c_str());
    ok = cp.exit_code == 0 && sync.exit_code == 0 && rm.exit_code == 0 &&
         CopySynced(original, archive);
    const Run update = Spawn({options.updater}, yes.c_str(), log, prefix.c_str());
    // The updater answers 1 after an update attempt; only the archive says it worked.
    ok = ok && update.exit_code == 1 && Updated(archive, c.entries);
    if (!ok) {
      std::fprintf(stderr, "run %d failed: see %s\n", r + 1, log.c_str());
      break;
    }
    const double baseline = cp.seconds + sync.seconds;
    std::printf("run %d: cp + sync %.3f s (then rm %.3f s), mesupdate %.3f s (%.2f), peak %.1f MiB\n",
                r + 1, baseline, rm.seconds, update.seconds, update.seconds / baseline,
                update.peak_mib);
    copy_seconds.Add(baseline);
    rm_seconds.Add(rm.seconds);
    update_seconds.Add(update.seconds);
    ratios.Add(update.seconds / baseline);
    peaks.Add(update.peak_mib);
  }
  std::remove(original.c_str());
  std::remove(archive.c_str());
  if (!ok) return false;

  const double ratio = Median(update_seconds.values) / Median(copy_seconds.values);
  const double peak_limit = c.entries >= 100000 ? 14 : 10;
  std::printf("cp + sync %s s, rm %s s, mesupdate %s s, run ratios %s\n",
              copy_seconds.Text("%.3f").c_str(), rm_seconds.Text("%.3f").c_str(),
              update_seconds.Text("%.3f").c_str(), ratios.Text("%.2f").c_str());
  std::printf("time:   mesupdate / (cp + sync) = %.2f (medians; target <= 1.10) %s\n", ratio,
              ratio <= 1.1 ? "ok" : "OVER");
  // Context, not a target: the share of the old archive's delete, taken as rm's time.
  std::printf("        without the delete, about (mesupdate - rm) / (cp + sync) = %.2f\n",
              (Median(update_seconds.values) - Median(rm_seconds.values)) /
                  Median(copy_seconds.values));
  std::printf("memory: peak %s MiB (target <= %.0f) %s\n", peaks.Text("%.1f").c_str(),
              peak_limit, Median(peaks.values) <= peak_limit ? "ok" : "OVER");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, &options)) return 2;
  if (access(options.updater.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "no updater at %s (build mesupdate, or give --updater=PATH)\n",
                 options.updater.c_str());
    return 2;
  }

  std::string dir = options.dir;
  const bool own_dir = dir.empty();
  if (own_dir) {
    const char* base = std::getenv("TMPDIR");
    dir = std::string(base && *base ? base : "/tmp") + "/mesbench-XXXXXX";
    if (!mkdtemp(&dir[0])) {
      std::perror("mkdtemp");
      return 1;
    }
  }
  // A child's peak includes the copy of this process it starts as.
  const Run floor = Spawn({"true"}, nullptr, "/dev/null");
  std::printf("updater %s, folder %s, %d runs a case; measuring floor (a spawned true) %.1f MiB\n",
              options.updater.c_str(), dir.c_str(), options.repeat, floor.peak_mib);

  int status = 0;
  for (const Case& c : options.cases) {
    if (!Measure(c, options, dir)) status = 1;
  }
  if (own_dir && status == 0) {
    for (const char* leftover : {"/yes.txt", "/updater.log", "/prefix/system.reg",
                                 "/prefix/dosdevices/c:", "/prefix/drive_c/Games/Mirkan",
                                 "/prefix/drive_c/Games", "/prefix/drive_c", "/prefix/dosdevices",
                                 "/prefix", ""}) {
      std::remove((dir + leftover).c_str());
    }
  }
  return status;
}
