#include "backends/posix/FileSharing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/System.h"
#include "backends/posix/ErrorCodes.h"
#include "backends/posix/FileHolders.h"

namespace backends::posix {
using namespace os;
namespace {

struct InjectedFault {
  int times = 0;
  SharingStep step = SharingStep::kLock;
  int error = 0;
};
InjectedFault g_fault;

// Whether the test asked this step to fail; errno then holds its error.
bool Broken(SharingStep step) {
  if (g_fault.times == 0 || g_fault.step != step) return false;
  --g_fault.times;
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

bool NoOtherHolder(const struct stat& file, const std::string& host) {
  const std::string holder = OtherHolder(file);
  return holder.empty() || Refuse(kErrorSharingViolation, host, "held open by " + holder);
}

bool NotHeldByOthers(int fd, const std::string& host) {
  if (SoleOpen(fd)) return true;
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

bool FolderFsync(const std::string& folder) {
  const int fd =
      Broken(SharingStep::kFolderOpen) ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = !Broken(SharingStep::kFolderSync) && fsync(fd) == 0;
  const int error = errno;
  close(fd);
  errno = error;
  // EINVAL: a file system that has nothing to flush for a folder.
  return flushed || error == EINVAL;
}

// A name made, removed or changed in folder reaches the disk. A folder that
// cannot be opened (mode 0300 lets a player write there but not read) is
// reached through the file system of file_fd, a file in it.
bool FlushFolder(const std::string& folder, int file_fd) {
  if (FolderFsync(folder)) return true;
  if (file_fd >= 0 && !Broken(SharingStep::kFolderSync) && syncfs(file_fd) == 0) return true;
  const int error = errno;
  return Refuse(Win32ErrorFromErrno(error), folder,
                std::string("the folder could not be flushed to disk: ") + std::strerror(error));
}

bool SameRecordedFile(const struct stat& info, const FileRecord& record) {
  return info.st_dev == record.device && info.st_ino == record.inode;
}

// The name must still lead to the file that was read there: a file put in
// its place meanwhile (a modder's pack, a restored backup) is not ours to
// delete.
bool StillTheFileRead(int fd, const std::string& host, const FileRecord* read_as) {
  struct stat info;
  if (!read_as) return true;
  if ((fd >= 0 ? fstat(fd, &info) : stat(host.c_str(), &info)) != 0) return FailWithErrno(host);
  return SameRecordedFile(info, *read_as) ||
         Refuse(kErrorSharingViolation, host, "replaced by another file since it was read");
}

// The moved file takes the mode of the one it succeeds, and its owner and
// group where this process may give them (as dpkg does): run as root or
// under umask 077, the new archive must stay readable to the player.
bool TakeAfter(int fd, const std::string& host, const FileRecord* previous) {
  if (!previous) return true;
  if (fchown(fd, previous->owner, previous->group) != 0 &&
      fchown(fd, static_cast<uid_t>(-1), previous->group) != 0 && errno != EPERM) {
    return FailWithErrno(host);
  }
  // After the owner: a change of owner clears the set-id bits.
  if (fchmod(fd, previous->mode & 07777) != 0 && errno != EPERM) return FailWithErrno(host);
  return fsync(fd) == 0 || FailWithErrno(host);
}

// The move has happened whatever its flush says: a flush that fails is told,
// never reported as a failed move.
void FlushAfterMove(const std::string& from, const std::string& to, int fd) {
  bool flushed = FlushFolder(HostFolderOf(to), fd);
  if (flushed && HostFolderOf(from) != HostFolderOf(to)) {
    flushed = FlushFolder(HostFolderOf(from), fd);
  }
  if (flushed) return;
  NoteFailureDetail("renamed " + ResolvedHostPath(from) + " to " + ResolvedHostPath(to) +
                    ", but " + TakeFailureDetail());
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

bool RecordFile(int fd, const std::string& host, FileRecord* record) {
  struct stat info;
  if (fstat(fd, &info) != 0) return FailWithErrno(host);
  *record = {info.st_dev, info.st_ino, info.st_mode, info.st_uid, info.st_gid};
  return true;
}

bool FlushNewFile(int fd, const std::string& host) {
  if (fsync(fd) != 0) return FailWithErrnoOn(fd);
  return FlushFolder(HostFolderOf(host), fd);
}

bool RemoveName(const std::string& host, const FileRecord* read_as) {
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return FailWithErrno(host);
  // A link, a FIFO: only the name goes.
  if (!S_ISREG(info.st_mode)) return StillTheFileRead(-1, host, read_as) && Unlink(host);
  if (RefusedAsReadOnly(host)) return false;
  const int fd = OpenLocked(host, O_RDONLY, LockKind::kChange, Follow::kNoLinks);
  if (fd < 0) return false;
  const bool removed =
      StillTheFileRead(fd, host, read_as) && NotHeldByOthers(fd, host) && Unlink(host);
  close(fd);
  return removed;
}

bool MoveName(const std::string& from, const std::string& to, const FileRecord* takes_after) {
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) return FailWithErrno(from);
  // A link would put a file outside the folder in the archive's place.
  if (!S_ISREG(info.st_mode)) return Refuse(kErrorAccessDenied, from, "not a regular file");
  const int fd = OpenLocked(from, O_RDONLY, LockKind::kChange, Follow::kNoLinks);
  if (fd < 0) return false;
  const bool moved = NotHeldByOthers(fd, from) && TakeAfter(fd, from, takes_after) &&
                     RenameNoReplace(from, to);
  if (moved) FlushAfterMove(from, to, fd);
  close(fd);
  return moved;
}

bool ReplaceName(const std::string& from, const std::string& to) {
  struct stat info;
  int held = -1;
  const bool exists = lstat(to.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return FailWithErrno(to);
  // Only a file is guarded; a link or nothing under the name is just replaced.
  if (exists && S_ISREG(info.st_mode)) {
    held = OpenLocked(to, O_RDONLY, LockKind::kChange, Follow::kNoLinks);
    if (held < 0) return false;
    if (!NotHeldByOthers(held, to)) return Discard(held), false;
  }
  const bool replaced = rename(from.c_str(), to.c_str()) == 0 || FailMoving(from, to);
  if (held >= 0) close(held);
  if (!replaced) return false;
  const int moved = open(to.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  FlushAfterMove(from, to, moved);
  if (moved >= 0) close(moved);
  return true;
}

void FailNextSharingStepForTesting(SharingStep step, int error, int times) {
  g_fault.times = times;
  g_fault.step = step;
  g_fault.error = error;
}

}  // namespace backends::posix
