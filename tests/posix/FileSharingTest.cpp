// The sharing rules only the Linux backend has (those of every backend are in
// SystemContractTest): other processes that hold a file open, a new file never
// written through a name that was already there, a forced failure of a lock
// or a removal fails the call (a failed folder flush never undoes a move),
// mesarc replaces no file in use, and a stop signal during the write leaves
// no new file.
#include <gtest/gtest.h>

#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "archive/MesArchive.h"
#include "os/CodePageText.h"
#include "platform/MessageTexts.h"
#include "os/System.h"
#include "backends/posix/ErrorCodes.h"
#include "backends/posix/FileSharing.h"
#include "backends/posix/StopSignals.h"
#include "support/ArchiveMessages.h"
#include "support/FaultySystem.h"
#include "support/TempDir.h"

namespace {

using os::FileOpenMode;
using os::NativeSystem;
using backends::posix::SharingStep;

// A child process that holds path open until it is killed.
class OtherHolder {
 public:
  explicit OtherHolder(const std::string& path) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(path.c_str(), O_RDONLY);
      const char byte = fd >= 0 ? 'y' : 'n';
      (void)!write(ready[1], &byte, 1);
      pause();
      _exit(0);
    }
    char byte = 0;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y');
    close(ready[0]);
    close(ready[1]);
  }
  ~OtherHolder() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_;
};

TEST(FileSharingTest, AFileAnotherProcessHoldsOpenIsNeitherDeletedNorMoved) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc", "archive");
  os::System& sys = NativeSystem();
  OtherHolder holder(path);
  backends::posix::TakeFailureDetail();
  EXPECT_FALSE(sys.PathDelete(path.c_str()));
  EXPECT_EQ(sys.LastError(), os::kErrorSharingViolation);
  EXPECT_EQ(backends::posix::TakeFailureDetail(),
            path + ": held open by PID " + std::to_string(holder.pid()) + " (unit_tests)");
  EXPECT_FALSE(sys.PathMove(path.c_str(), dir.Path("moved").c_str()));
  EXPECT_EQ(sys.LastError(), os::kErrorSharingViolation);
  EXPECT_TRUE(FileExists(path));
}

TEST(FileSharingTest, StaleNamesGoButWhatTheyPointAtStays) {
  TempDir dir;
  const std::string target = dir.Write("outside", "someone else's");
  const std::string archive = dir.Write("mes.arc", "archive");
  const std::string fresh = dir.Path("mes.arc_");
  os::System& sys = NativeSystem();
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    const int made = kind == 0   ? symlink(target.c_str(), fresh.c_str())
                     : kind == 1 ? symlink("mes.arc", fresh.c_str())
                                 : link(archive.c_str(), fresh.c_str());
    ASSERT_EQ(made, 0);
    os::StreamHandle stream = sys.StreamCreate(fresh.c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(sys.StreamWrite(stream, "new", 3));
    EXPECT_TRUE(sys.StreamClose(stream));
    EXPECT_EQ(ReadFileBytes(fresh), "new");
    EXPECT_EQ(ReadFileBytes(target), "someone else's");
    EXPECT_EQ(ReadFileBytes(archive), "archive");
    ASSERT_EQ(unlink(fresh.c_str()), 0);
  }
}

TEST(FileSharingTest, NamesThatAreNoRegularFileAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  os::System& sys = NativeSystem();
  EXPECT_EQ(sys.FileOpen(fifo.c_str(), FileOpenMode::kReadShareRead), os::kInvalidHandle);
  EXPECT_EQ(sys.LastError(), os::kErrorAccessDenied);
  EXPECT_EQ(sys.StreamCreate(fifo.c_str()), nullptr);
  EXPECT_EQ(sys.LastError(), os::kErrorAccessDenied);
  EXPECT_EQ(backends::posix::TakeFailureDetail(), fifo + ": not a regular file; left alone");
  struct stat info;
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(FileSharingTest, AForcedFailureOfALockOrARemovalFailsTheCallAndAFlushNotTheMove) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc", "archive");
  os::System& sys = NativeSystem();

  backends::posix::FailNextSharingStepForTesting(SharingStep::kLock, ENOMEM);
  EXPECT_EQ(sys.FileOpen(path.c_str(), FileOpenMode::kReadShareRead), os::kInvalidHandle);
  EXPECT_EQ(sys.LastError(), os::kErrorNotEnoughMemory);
  // A file system that keeps no locks: the open goes ahead on the look at
  // other processes alone.
  backends::posix::FailNextSharingStepForTesting(SharingStep::kLock, ENOLCK);
  const os::NativeHandle unlocked = sys.FileOpen(path.c_str(), FileOpenMode::kReadShareRead);
  ASSERT_NE(unlocked, os::kInvalidHandle);
  sys.FileClose(unlocked);

  backends::posix::FailNextSharingStepForTesting(SharingStep::kRemove, EIO);
  EXPECT_FALSE(sys.PathDelete(path.c_str()));
  EXPECT_TRUE(FileExists(path));

  // A folder that cannot be opened (mode 0300) is flushed through its file
  // system; and once the rename is done, a flush that fails both ways is
  // told, but the move stands.
  const std::string moved = dir.Path("moved");
  backends::posix::TakeFailureDetail();
  backends::posix::FailNextSharingStepForTesting(SharingStep::kFolderOpen, EACCES);
  EXPECT_TRUE(sys.PathMove(path.c_str(), moved.c_str()));
  EXPECT_EQ(backends::posix::TakeFailureDetail(), "");
  backends::posix::FailNextSharingStepForTesting(SharingStep::kFolderSync, EIO, 2);
  EXPECT_TRUE(sys.PathMove(moved.c_str(), path.c_str()));
  EXPECT_EQ(ReadFileBytes(path), "archive");
  EXPECT_EQ(backends::posix::TakeFailureDetail(),
            "renamed " + moved + " to " + path + ", but " + dir.path() +
                ": the folder could not be flushed to disk: Input/output error");

  // A stale file that cannot be removed is not written through.
  const std::string fresh = dir.Write("mes.arc_", "stale");
  backends::posix::FailNextSharingStepForTesting(SharingStep::kRemove, EIO);
  EXPECT_EQ(sys.StreamCreate(fresh.c_str()), nullptr);
  EXPECT_EQ(ReadFileBytes(fresh), "stale");
}

// mesarc's output does not replace a file the updater is reading (its lock)
// or another process holds open, as Windows refuses to replace an open file.
TEST(FileSharingTest, NoFileInUseIsReplaced) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc", "read");
  const std::string packed = dir.Write("packed", "packed");
  os::System& sys = NativeSystem();
  std::string why;
  const os::NativeHandle read = sys.FileOpen(path.c_str(), FileOpenMode::kReadShareRead);
  ASSERT_NE(read, os::kInvalidHandle);
  EXPECT_FALSE(os::MoveOverFile(packed, path, &why));
  EXPECT_EQ(why, path + ": in use by another mesupdate or mesarc");
  sys.FileClose(read);
  {
    OtherHolder holder(path);
    EXPECT_FALSE(os::MoveOverFile(packed, path, &why));
    EXPECT_EQ(why, path + ": held open by PID " + std::to_string(holder.pid()) + " (unit_tests)");
  }
  EXPECT_EQ(ReadFileBytes(path), "read");
  EXPECT_TRUE(os::MoveOverFile(packed, path, &why));
  EXPECT_EQ(ReadFileBytes(path), "packed");
}

TEST(FileSharingTest, MoveNeverReplacesAndNeedsNoWritePermission) {
  TempDir dir;
  const std::string from = dir.Write("mes.arc_", "new");
  const std::string to = dir.Write("mes.arc", "old");
  EXPECT_FALSE(NativeSystem().PathMove(from.c_str(), to.c_str()));
  EXPECT_EQ(NativeSystem().LastError(), os::kErrorAlreadyExists);
  EXPECT_EQ(ReadFileBytes(to), "old");
  // A file without write permission moves as on Windows: the checks only read it.
  ASSERT_EQ(chmod(from.c_str(), 0444), 0);
  EXPECT_TRUE(NativeSystem().PathMove(from.c_str(), dir.Path("free").c_str()));
}

// The program's handler decides what a stop says and how the run ends; this
// one tells what the file calls reported.
void ReportAndExit(const backends::posix::StopEvent& event) {
  std::fprintf(stderr, "signal %d before the swap, new file removed: %d\n", event.signal,
               event.new_file_removed);
  std::_Exit(3);
}

TEST(FileSharingDeathTest, AStopSignalDuringTheWriteRemovesTheNewFileAndTellsTheProgram) {
  TempDir dir;
  const std::string fresh = dir.Path("mes.arc_");
  EXPECT_EXIT(
      {
        backends::posix::HoldStopSignals(ReportAndExit);
        os::StreamHandle stream = NativeSystem().StreamCreate(fresh.c_str());
        NativeSystem().StreamWrite(stream, "part", 4);
        raise(SIGTERM);
        NativeSystem().StreamWrite(stream, "more", 4);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(3), "signal 15 before the swap, new file removed: 1");
  EXPECT_FALSE(FileExists(fresh));
}

// Once closed, the new file is no longer locked and another run may have
// put its own under the name: a stop then removes nothing of that run's.
TEST(FileSharingDeathTest, AStopAfterTheCloseLeavesAnotherRunsNewFile) {
  TempDir dir;
  const std::string fresh = dir.Path("mes.arc_");
  const std::string archive = dir.Write("mes.arc", "old");
  EXPECT_EXIT(
      {
        backends::posix::HoldStopSignals(ReportAndExit);
        os::StreamHandle stream = NativeSystem().StreamCreate(fresh.c_str());
        NativeSystem().StreamClose(stream);
        unlink(fresh.c_str());
        WriteFileBytes(fresh, "another run's");
        raise(SIGTERM);
        NativeSystem().PathDelete(archive.c_str());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(3), "signal 15 before the swap, new file removed: 0");
  EXPECT_EQ(ReadFileBytes(fresh), "another run's");
  EXPECT_EQ(ReadFileBytes(archive), "old");
}

// Sizes and offsets are 32-bit: reading only the low part of a larger size
// would rebuild a cut-down archive.
TEST(LargeArchiveTest, AnArchiveOver4GiBIsRefusedAsUnreadable) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc", std::string(4, '\0'));
  ASSERT_EQ(truncate(path.c_str(), (std::int64_t{1} << 32) + 178), 0);
  FaultySystem recorder;
  ScopedSystem scoped(&recorder);
  MesArchive archive;
  EXPECT_EQ(archive.OpenArchive(path.c_str()), 0);
  ExpectOnlyArchiveMessage(recorder, text::kIndexReadFailed, path);
}

}  // namespace
