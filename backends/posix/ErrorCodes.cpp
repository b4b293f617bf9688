#include "backends/posix/ErrorCodes.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "os/System.h"
#include "wineprefix/CodePage.h"

namespace backends::posix {
using namespace os;
using namespace wineprefix;
namespace {
thread_local std::uint32_t t_last_error = 0;
thread_local std::string t_failure_detail;

constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// As ls and chmod write it.
std::string ModeText(mode_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "mode %04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string OwnerName(uid_t uid) {
  const passwd* owner = getpwuid(uid);
  return owner ? owner->pw_name : "uid " + std::to_string(uid);
}

// A refusal explained by the file's own mode, or by its folder's.
std::string PermissionCause(const std::string& host_path, int error) {
  struct stat info;
  if (stat(host_path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      (info.st_mode & kAnyWrite) == 0) {
    return ModeText(info.st_mode) + ": read-only";
  }
  const std::string folder = HostFolderOf(ResolvedHostPath(host_path));
  if (access(folder.c_str(), W_OK) != 0 && stat(folder.c_str(), &info) == 0) {
    return std::string(std::strerror(error)) + " (folder " + folder + ": " +
           ModeText(info.st_mode) + ", owner " + OwnerName(info.st_uid) + ")";
  }
  return std::strerror(error);
}

std::string PathOfDescriptor(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return "descriptor " + std::to_string(fd);
  return std::string(target, static_cast<std::size_t>(length));
}

}  // namespace

std::string HostFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path through the prefix's drive links, as a player finds it in a file
// manager: the folder resolved, the name kept.
std::string ResolvedHostPath(const std::string& path) {
  char* folder = realpath(HostFolderOf(path).c_str(), nullptr);
  if (!folder) return path;
  std::string resolved = folder;
  std::free(folder);
  const std::size_t slash = path.find_last_of('/');
  return resolved + (resolved == "/" ? "" : "/") + path.substr(slash + 1);
}

std::uint32_t Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EEXIST: return kErrorAlreadyExists;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EINVAL: return kErrorInvalidParameter;
    case EIO: return kErrorWriteFault;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

std::uint32_t LastWin32Error() { return t_last_error; }

void SetLastWin32Error(std::uint32_t code) { t_last_error = code; }

bool FailWithErrno() {
  SetLastWin32Error(Win32ErrorFromErrno(errno));
  return false;
}

std::string FailureCause(const std::string& host_path, int error) {
  if (error == EACCES || error == EPERM) return PermissionCause(host_path, error);
  if (error == EISDIR) return "not a regular file";
  return std::strerror(error);
}

std::string DescribeFileFailure(const std::string& host_path, int error) {
  return ResolvedHostPath(host_path) + ": " + FailureCause(host_path, error);
}

bool FailWithErrno(const std::string& host_path) {
  const int error = errno;
  NoteFailureDetail(DescribeFileFailure(host_path, error));
  errno = error;
  return FailWithErrno();
}

bool FailWithErrnoOn(int fd) {
  const int error = errno;
  const std::string path = PathOfDescriptor(fd);
  errno = error;
  return FailWithErrno(path);
}

bool FailMoving(const std::string& host_from, const std::string& host_to) {
  const int error = errno;
  // The one that is missing is the source; the one in the way is the target.
  const std::string& subject = error == ENOENT ? host_from : host_to;
  NoteFailureDetail("cannot rename " + ResolvedHostPath(host_from) + " to " +
                    ResolvedHostPath(host_to) + ": " + FailureCause(subject, error));
  errno = error;
  return FailWithErrno();
}

void NoteFailureDetail(std::string line) { t_failure_detail = std::move(line); }

std::string TakeFailureDetail() {
  std::string line;
  line.swap(t_failure_detail);
  return line;
}

void NoteUnmappablePath(const char* path) {
  NoteFailureDetail(Cp932ToUtf8Lossy(path ? path : "") +
                    ": no file in the Wine prefix can have this name (a network path, or bytes "
                    "that are not Shift-JIS)");
}

}  // namespace backends::posix
