#include "backends/posix/FileHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace backends::posix {
using namespace os;
namespace {

std::string ProcessName(const std::string& pid) {
  // The kernel's own file: read once, without following a link.
  const int fd = open(("/proc/" + pid + "/comm").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  char line[64];
  const ssize_t got = read(fd, line, sizeof line);
  close(fd);
  if (got <= 0) return {};
  const std::string name(line, static_cast<std::size_t>(got));
  return name.substr(0, name.find('\n'));
}

// The link's text comes from the kernel's own record of the open file:
// sockets, pipes and anonymous inodes read as "socket:[…]" and the like,
// never as a path.
bool NamesAPath(int fd_dir, const char* fd) {
  char target[2];
  return readlinkat(fd_dir, fd, target, sizeof target) > 0 && target[0] == '/';
}

// The inode number the kernel prints in /proc/PID/fdinfo/N (since Linux
// 5.14), or 0 when it prints none.
unsigned long long FdInfoInode(int info_dir, const char* fd) {
  const int info = openat(info_dir, fd, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (info < 0) return 0;
  char text[256];
  const ssize_t got = read(info, text, sizeof text - 1);
  close(info);
  if (got <= 0) return 0;
  text[got] = '\0';
  const char* field = std::strstr(text, "\nino:");
  return field ? std::strtoull(field + 5, nullptr, 10) : 0;
}

// The file's own device and inode as the kernel already knows them: with
// AT_STATX_DONT_SYNC a FUSE file system is not asked (NFS may still check a
// stale cache). Reached only for a descriptor with the file's inode number.
bool SameFileCached(int fd_dir, const char* fd, const struct stat& file) {
  struct statx info;
  return statx(fd_dir, fd, AT_STATX_DONT_SYNC, STATX_INO, &info) == 0 &&
         makedev(info.stx_dev_major, info.stx_dev_minor) == file.st_dev &&
         info.stx_ino == file.st_ino;
}

// Only a descriptor with the file's inode number is looked at through its
// link, and then only from the kernel's cache.
bool IsTheFile(int fd_dir, int info_dir, const char* fd, const struct stat& file) {
  if (!NamesAPath(fd_dir, fd)) return false;
  const unsigned long long inode = FdInfoInode(info_dir, fd);
  return (inode == 0 || inode == file.st_ino) && SameFileCached(fd_dir, fd, file);
}

bool HoldsOpen(const std::string& pid, const struct stat& file) {
  DIR* fds = opendir(("/proc/" + pid + "/fd").c_str());
  // Another user's process: the kernel does not say what it holds.
  if (!fds) return false;
  // Without it, every descriptor that names a path is looked at in the cache.
  const int info_dir =
      open(("/proc/" + pid + "/fdinfo").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  bool holds = false;
  while (dirent* entry = readdir(fds)) {
    if (entry->d_name[0] != '.' && IsTheFile(dirfd(fds), info_dir, entry->d_name, file)) {
      holds = true;
      break;
    }
  }
  closedir(fds);
  if (info_dir >= 0) close(info_dir);
  return holds;
}

}  // namespace

bool SoleOpen(int fd) {
  // Another open during the lease would break it and signal SIGIO, whose
  // default ends the process: ignored for that moment.
  struct sigaction ignore = {}, before;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGIO, &ignore, &before);
  const bool sole = fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
  if (sole) fcntl(fd, F_SETLEASE, F_UNLCK);
  sigaction(SIGIO, &before, nullptr);
  return sole;
}

std::string OtherHolder(const struct stat& file) {
  DIR* proc = opendir("/proc");
  if (!proc) return {};
  const long self = getpid();
  std::string holder;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == self) continue;
    if (HoldsOpen(entry->d_name, file)) {
      holder = "PID " + std::string(entry->d_name) + " (" + ProcessName(entry->d_name) + ")";
      break;
    }
  }
  closedir(proc);
  return holder;
}

}  // namespace backends::posix
