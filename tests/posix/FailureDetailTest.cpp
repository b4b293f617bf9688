// The English line a Linux player gets after a file failure: the file on disk
// and the cause in Unix words, whatever Win32 number the message shows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <string>

#include "backends/posix/ErrorCodes.h"
#include "backends/posix/PosixFiles.h"
#include "support/TempDir.h"

namespace {

using namespace os;
namespace posix = backends::posix;

// The folder as the line names it: with its links resolved.
std::string RealFolder(const TempDir& dir) {
  char* real = realpath(dir.path().c_str(), nullptr);
  std::string folder = real;
  std::free(real);
  return folder;
}

TEST(FailureDetailTest, NamesTheFileAndTheCauseOfEachFailure) {
  TempDir dir;
  const std::string folder = RealFolder(dir);
  posix::TakeFailureDetail();

  // Root may unlink it, but Windows refuses to delete a read-only file.
  const std::string archive = dir.Write("mes.arc", "old");
  chmod(archive.c_str(), 0444);
  EXPECT_FALSE(posix::PathDelete(archive.c_str()));
  EXPECT_EQ(posix::LastWin32Error(), kErrorAccessDenied);
  EXPECT_EQ(posix::TakeFailureDetail(), folder + "/mes.arc: mode 0444: read-only");

  EXPECT_EQ(posix::FileOpen(dir.Path("gone.arc").c_str(), FileOpenMode::kReadShareRead),
            kInvalidHandle);
  EXPECT_EQ(posix::TakeFailureDetail(), folder + "/gone.arc: No such file or directory");

  const std::string fresh = dir.Write("mes.arc_", "new");
  EXPECT_FALSE(posix::PathMove(fresh.c_str(), archive.c_str()));
  EXPECT_EQ(posix::LastWin32Error(), kErrorAlreadyExists);
  EXPECT_EQ(posix::TakeFailureDetail(),
            "cannot rename " + folder + "/mes.arc_ to " + folder + "/mes.arc: File exists");
  EXPECT_EQ(posix::TakeFailureDetail(), "") << "taking the line clears it";
}

// A write that meets a full disk knows only its descriptor: the line names
// the file that descriptor has open. (linux_e2e.sh fills a real tmpfs.)
TEST(FailureDetailTest, AFailedWriteNamesTheFileItsDescriptorHolds) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc_", "");
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  posix::TakeFailureDetail();
  errno = ENOSPC;
  EXPECT_FALSE(posix::FailWithErrnoOn(fd));
  close(fd);
  EXPECT_EQ(posix::LastWin32Error(), kErrorDiskFull);
  EXPECT_EQ(posix::TakeFailureDetail(), RealFolder(dir) + "/mes.arc_: No space left on device");
}

}  // namespace
