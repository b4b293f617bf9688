// The look for other processes that hold a file open, on a busy desktop: one
// other process holds many descriptors (files of another inode, or sockets),
// none of them the file looked for. The kernel's answer that nobody else has
// the file open (the usual case); the scan of every descriptor, which runs
// when the kernel cannot tell or someone does hold the file; and, for
// reference, the scan as it was, stat'ing every descriptor through /proc
// (which also waited on every file system, a dead one too).
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "backends/posix/FileHolders.h"

namespace {

enum Kind { kFiles, kSockets };

// A child that opens `count` descriptors of one kind and waits to be killed.
class Holder {
 public:
  Holder(Kind kind, int count, const std::string& file) {
    int ready[2];
    if (pipe(ready) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      struct rlimit limit;
      getrlimit(RLIMIT_NOFILE, &limit);
      limit.rlim_cur = limit.rlim_max;
      setrlimit(RLIMIT_NOFILE, &limit);
      int pair[2];
      for (int opened = 0; opened < count; opened += kind == kFiles ? 1 : 2) {
        if (kind == kFiles ? open(file.c_str(), O_RDONLY) < 0
                           : socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
          break;
        }
      }
      (void)!write(ready[1], "y", 1);
      pause();
      _exit(0);
    }
    char byte;
    (void)!read(ready[0], &byte, 1);
    close(ready[0]);
    close(ready[1]);
  }
  ~Holder() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_;
};

struct Files {
  std::string held = "/tmp/bench_holders_held";
  std::string wanted = "/tmp/bench_holders_wanted";
  struct stat wanted_info;
  Files() {
    close(open(held.c_str(), O_WRONLY | O_CREAT, 0600));
    close(open(wanted.c_str(), O_WRONLY | O_CREAT, 0600));
    stat(wanted.c_str(), &wanted_info);
  }
  ~Files() {
    unlink(held.c_str());
    unlink(wanted.c_str());
  }
};

// The look as it was: every descriptor of every process stat'ed through its link.
bool StatEveryDescriptor(const struct stat& file) {
  DIR* proc = opendir("/proc");
  bool found = false;
  while (dirent* process = readdir(proc)) {
    if (process->d_name[0] < '0' || process->d_name[0] > '9' || atoi(process->d_name) == getpid()) {
      continue;
    }
    DIR* fds = opendir(("/proc/" + std::string(process->d_name) + "/fd").c_str());
    if (!fds) continue;
    while (dirent* entry = readdir(fds)) {
      struct stat target;
      found = found || (entry->d_name[0] != '.' &&
                        fstatat(dirfd(fds), entry->d_name, &target, 0) == 0 &&
                        target.st_dev == file.st_dev && target.st_ino == file.st_ino);
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}

void BM_OtherHolder(benchmark::State& state) {
  Files files;
  Holder holder(static_cast<Kind>(state.range(0)), static_cast<int>(state.range(1)), files.held);
  for (auto _ : state) {
    if (!backends::posix::OtherHolder(files.wanted_info).empty()) state.SkipWithError("held");
  }
  state.SetItemsProcessed(state.iterations() * state.range(1));
}

// The usual case, nobody else has the file open: the kernel says so at once.
void BM_SoleOpen(benchmark::State& state) {
  Files files;
  Holder holder(static_cast<Kind>(state.range(0)), static_cast<int>(state.range(1)), files.held);
  const int fd = open(files.wanted.c_str(), O_RDONLY);
  for (auto _ : state) {
    if (!backends::posix::SoleOpen(fd)) state.SkipWithError("not sole");
  }
  close(fd);
}

void BM_StatEveryDescriptor(benchmark::State& state) {
  Files files;
  Holder holder(static_cast<Kind>(state.range(0)), static_cast<int>(state.range(1)), files.held);
  for (auto _ : state) {
    if (StatEveryDescriptor(files.wanted_info)) state.SkipWithError("held");
  }
  state.SetItemsProcessed(state.iterations() * state.range(1));
}

// Arguments: the kind (0 files, 1 sockets), the number of descriptors.
BENCHMARK(BM_OtherHolder)->ArgsProduct({{kFiles, kSockets}, {1000, 16000}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoleOpen)->ArgsProduct({{kFiles}, {16000}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatEveryDescriptor)->ArgsProduct({{kFiles, kSockets}, {1000, 16000}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
