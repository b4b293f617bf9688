// Which other process holds a file open, found through /proc as fuser finds
// it, but without asking any file system about any descriptor: a descriptor
// on a file system whose server has stopped (sshfs after a network drop, a
// stuck FUSE mount) must not hang the look, and a busy desktop holds
// hundreds of thousands of descriptors. Processes of other users are not
// visible there.
#pragma once

#include <sys/stat.h>

#include <string>

namespace platform::posix {

// "PID n (name)" of the first other process that holds the file open, or empty.
std::string OtherHolder(const struct stat& file);

}  // namespace platform::posix
