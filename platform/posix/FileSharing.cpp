#include "platform/posix/FileSharing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/System.h"
#include "platform/posix/ErrorCodes.h"

namespace platform::posix {
namespace {

struct InjectedFault {
  bool armed = false;
  SharingStep step = SharingStep::kLock;
  int error = 0;
};
InjectedFault g_fault;

// Whether the test asked this step to fail; errno then holds its error.
bool Broken(SharingStep step) {
  if (!g_fault.armed || g_fault.step != step) return false;
  g_fault.armed = false;
  errno = g_fault.error;
  return true;
}

bool Refuse(std::uint32_t code, const std::string& host, const std::string& why) {
  SetLastWin32Error(code);
  NoteFailureDetail(ResolvedHostPath(host) + ": " + why);
  return false;
}

// Closes a descriptor on a failure path; the error already recorded stays.
int Discard(int fd) {
  close(fd);
  return -1;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

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

bool HoldsOpen(const std::string& pid, const struct stat& file) {
  DIR* fds = opendir(("/proc/" + pid + "/fd").c_str());
  // Another user's process: the kernel does not say what it holds.
  if (!fds) return false;
  bool holds = false;
  while (dirent* entry = readdir(fds)) {
    struct stat target;
    if (entry->d_name[0] != '.' && fstatat(dirfd(fds), entry->d_name, &target, 0) == 0 &&
        SameFile(target, file)) {
      holds = true;
      break;
    }
  }
  closedir(fds);
  return holds;
}

// "PID n (name)" of the first other process that holds the file open, as
// fuser finds it, or empty.
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

bool NoOtherHolder(const struct stat& file, const std::string& host) {
  const std::string holder = OtherHolder(file);
  return holder.empty() || Refuse(kErrorSharingViolation, host, "held open by " + holder);
}

bool NotHeldByOthers(int fd, const std::string& host) {
  struct stat file;
  if (fstat(fd, &file) != 0) return FailWithErrno(host);
  return NoOtherHolder(file, host);
}

// What a descriptor's lock keeps off: writers (a read), everyone (a write),
// or, for a delete or a move, writers by the lock and readers by a look
// first, so that neither needs write permission on the file.
enum class LockKind { kShared, kExclusive, kChange };

bool TryLock(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return !Broken(SharingStep::kLock) && fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether another open of the file holds any lock; a reader that locks after
// this look finds the name gone when it checks it.
bool OthersLocked(int fd, bool* locked) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  *locked = probe.l_type != F_UNLCK;
  return true;
}

// Some network and FUSE file systems keep no such locks: there only the look
// at other processes guards the file, as before locks were taken at all.
bool LocksUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == EINVAL;
}

bool Lock(int fd, LockKind kind, const std::string& host) {
  bool locked = false;
  const bool taken = TryLock(fd, kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK) &&
                     (kind != LockKind::kChange || OthersLocked(fd, &locked));
  if (taken && !locked) return true;
  if (!taken && LocksUnsupported(errno)) return true;
  if (!taken && errno != EAGAIN && errno != EACCES) return FailWithErrno(host);
  return Refuse(kErrorSharingViolation, host, "in use by another mesupdate or mesarc");
}

// A file just created is ours; another process may be looking at it for a
// moment (to see whether it is stale), so a conflict is tried again briefly.
bool LockOwnNewFile(int fd, const std::string& host) {
  const struct timespec pause = {0, 2 * 1000 * 1000};
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (TryLock(fd, F_WRLCK) || LocksUnsupported(errno)) return true;
    if (errno != EAGAIN && errno != EACCES) return FailWithErrno(host);
    nanosleep(&pause, nullptr);
  }
  return Refuse(kErrorSharingViolation, host, "in use by another mesupdate or mesarc");
}

bool RegularFile(int fd, const std::string& host) {
  struct stat info;
  if (fstat(fd, &info) != 0) return FailWithErrno(host);
  if (S_ISREG(info.st_mode)) return true;
  return Refuse(kErrorAccessDenied, host, S_ISDIR(info.st_mode) ? "a folder, not a file"
                                                                : "not a regular file");
}

// The lock was taken on what open found; the name must still lead there.
bool StillNamed(int fd, const std::string& host, Follow follow) {
  struct stat held, named;
  if (fstat(fd, &held) != 0) return FailWithErrno(host);
  const int flags = follow == Follow::kNoLinks ? AT_SYMLINK_NOFOLLOW : 0;
  if (fstatat(AT_FDCWD, host.c_str(), &named, flags) != 0) return FailWithErrno(host);
  return SameFile(held, named) ||
         Refuse(kErrorSharingViolation, host, "replaced by another file while being opened");
}

// Opened without blocking, so that a FIFO or a device cannot hang the run;
// reads and writes of the regular file then block as usual.
bool Blocking(int fd, const std::string& host) {
  const int flags = fcntl(fd, F_GETFL);
  return (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) || FailWithErrno(host);
}

int OpenLocked(const std::string& host, int flags, LockKind lock, Follow follow) {
  if (follow == Follow::kNoLinks) flags |= O_NOFOLLOW;
  const int fd = open(host.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == ELOOP && follow == Follow::kNoLinks) {
      Refuse(kErrorAccessDenied, host, "a symbolic link, not followed");
    } else {
      FailWithErrno(host);
    }
    return -1;
  }
  if (!RegularFile(fd, host) || !Lock(fd, lock, host) || !StillNamed(fd, host, follow) ||
      !Blocking(fd, host)) {
    return Discard(fd);
  }
  return fd;
}

bool Unlink(const std::string& host) {
  if (Broken(SharingStep::kRemove) || unlink(host.c_str()) != 0) return FailWithErrno(host);
  return true;
}

// Wine reports a regular file whose mode has no write bit as read-only, and
// Windows refuses to delete a read-only file. Refusing here too keeps both
// builds to the same outcome on the same prefix (even for root, whom unlink
// would let through).
bool IsReadOnlyFile(const std::string& host) {
  struct stat info;
  return stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool RefusedAsReadOnly(const std::string& host) {
  if (!IsReadOnlyFile(host)) return false;
  errno = EACCES;
  return !FailWithErrno(host);
}

// A leftover under the new file's name goes, unless it is in use or is
// something other than a file or a link (a FIFO, a device, a folder).
bool RemoveStale(const std::string& host) {
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return errno == ENOENT || FailWithErrno(host);
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    return Refuse(kErrorAccessDenied, host, "not a regular file; left alone");
  }
  // A second name of a file that keeps its first (mes.arc itself, say, which
  // this run holds locked): the name goes, the file and its data stay.
  if (S_ISREG(info.st_mode) && info.st_nlink > 1) {
    return !RefusedAsReadOnly(host) && NoOtherHolder(info, host) && Unlink(host);
  }
  if (RemoveName(host)) return true;
  // Gone meanwhile is as good as removed, and no failure to tell of.
  if (LastWin32Error() != kErrorFileNotFound) return false;
  TakeFailureDetail();
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return FailMoving(from, to);
  // Some network and FUSE file systems cannot refuse to replace: look first.
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) {
    errno = EEXIST;
    return FailMoving(from, to);
  }
  if (errno != ENOENT) return FailWithErrno(to);
  return rename(from.c_str(), to.c_str()) == 0 || FailMoving(from, to);
}

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailWithErrno(folder);
  const bool flushed = !Broken(SharingStep::kFolderSync) && fsync(fd) == 0;
  const int error = errno;
  close(fd);
  // EINVAL: a file system that has nothing to flush for a folder.
  if (flushed || error == EINVAL) return true;
  return Refuse(Win32ErrorFromErrno(error), folder,
                std::string("the folder could not be flushed to disk: ") + std::strerror(error));
}

}  // namespace


int OpenForSharedRead(const std::string& host, Follow follow) {
  return OpenLocked(host, O_RDONLY, LockKind::kShared, follow);
}

int OpenForExclusiveWrite(const std::string& host) {
  const int fd = OpenLocked(host, O_WRONLY | O_CREAT, LockKind::kExclusive, Follow::kNoLinks);
  if (fd < 0) return -1;
  // Emptied only now: truncating at open would cut another writer's file.
  if (!NotHeldByOthers(fd, host)) return Discard(fd);
  if (ftruncate(fd, 0) != 0) return FailWithErrno(host), Discard(fd);
  return fd;
}

int CreateOwnFile(const std::string& host) {
  if (!RemoveStale(host)) return -1;
  const int fd =
      open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno != EEXIST) return FailWithErrno(host), -1;
    return Refuse(kErrorSharingViolation, host, "created by another program at the same moment"),
           -1;
  }
  if (!LockOwnNewFile(fd, host) || !Blocking(fd, host)) return Discard(fd);
  return fd;
}

bool RemoveName(const std::string& host) {
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return FailWithErrno(host);
  // A link, a FIFO: only the name goes.
  if (!S_ISREG(info.st_mode)) return Unlink(host);
  if (RefusedAsReadOnly(host)) return false;
  const int fd = OpenLocked(host, O_RDONLY, LockKind::kChange, Follow::kNoLinks);
  if (fd < 0) return false;
  const bool removed = NotHeldByOthers(fd, host) && Unlink(host);
  close(fd);
  return removed;
}

bool MoveName(const std::string& from, const std::string& to) {
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) return FailWithErrno(from);
  // A link would put a file outside the folder in the archive's place.
  if (!S_ISREG(info.st_mode)) return Refuse(kErrorAccessDenied, from, "not a regular file");
  const int fd = OpenLocked(from, O_RDONLY, LockKind::kChange, Follow::kNoLinks);
  if (fd < 0) return false;
  if (!NotHeldByOthers(fd, from)) return Discard(fd), false;
  bool moved = RenameNoReplace(from, to) && SyncFolder(HostFolderOf(to));
  if (moved && HostFolderOf(from) != HostFolderOf(to)) moved = SyncFolder(HostFolderOf(from));
  close(fd);
  return moved;
}

void FailNextSharingStepForTesting(SharingStep step, int error) {
  g_fault.armed = true;
  g_fault.step = step;
  g_fault.error = error;
}

}  // namespace platform::posix
