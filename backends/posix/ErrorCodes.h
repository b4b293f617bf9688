#pragma once

#include <cstdint>
#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

// The Win32 error code that corresponds to an errno value.
std::uint32_t Win32ErrorFromErrno(int error);

// The calling thread's last error, as GetLastError keeps it.
std::uint32_t LastWin32Error();
void SetLastWin32Error(std::uint32_t code);
// Records errno's translation and returns false, for one-line failure paths.
bool FailWithErrno();

// The cause of the last failure of a file call, for a Linux player who
// cannot act on a Win32 error number: the host path and the cause in Unix
// words. Set where the failure is met; taken (and cleared) through
// System::TakeFailureCause.
void NoteFailureDetail(std::string line);
std::string TakeFailureDetail();

// The folder part of a host path ("." for a bare name).
std::string HostFolderOf(const std::string& host_path);
// The host path with its folder's links (the prefix's drive letters) resolved,
// as the player finds the file.
std::string ResolvedHostPath(const std::string& host_path);
// Why a call on host_path failed with errno `error`, in Unix words: errno's
// text, or what the modes say (a read-only file, a folder that refuses new
// files). DescribeFileFailure gives "<host path>: <cause>".
std::string FailureCause(const std::string& host_path, int error);
std::string DescribeFileFailure(const std::string& host_path, int error);
// As FailWithErrno, and notes errno's cause for the host path, or for the
// file a descriptor has open, or for a rename.
bool FailWithErrno(const std::string& host_path);
bool FailWithErrnoOn(int fd);
bool FailMoving(const std::string& host_from, const std::string& host_to);
// Notes that a path as the program holds it (Shift-JIS) names no host file.
void NoteUnmappablePath(const char* path);

}  // namespace backends::posix
