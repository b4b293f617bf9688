#include "os/posix/ErrorCodes.h"

#include <cerrno>
#include <utility>

#include "os/System.h"

namespace platform::posix {
namespace {
thread_local std::uint32_t t_last_error = 0;
thread_local std::string t_failure_detail;
}  // namespace

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

void NoteFailureDetail(std::string line) { t_failure_detail = std::move(line); }

std::string TakeFailureDetail() {
  std::string line;
  line.swap(t_failure_detail);
  return line;
}

}  // namespace platform::posix
