// Which other process holds a file open, found through /proc as fuser finds
// it, but without asking any file system about any descriptor: a descriptor
// on a file system whose server has stopped (sshfs after a network drop, a
// stuck FUSE mount) must not hang the look, and a busy desktop holds
// hundreds of thousands of descriptors, so the kernel is asked first whether
// anyone else has the file open at all. Processes of other users are not
// visible in /proc.
#pragma once

#include <sys/stat.h>

#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

// Whether fd is the file's only open anywhere, asked of the kernel in one
// call (it grants a write lease only to the sole opener). false also where
// it cannot tell (another user's file, a file system without leases).
bool SoleOpen(int fd);

// "PID n (name)" of the first other process that holds the file open, or empty.
std::string OtherHolder(const struct stat& file);

}  // namespace backends::posix
