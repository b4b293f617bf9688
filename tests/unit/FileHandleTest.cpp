// The file wrappers against the build's own backend: natively on Linux and,
// in the Windows build, against the Win32 calls under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/FileHandle.h"
#include "support/FaultySystem.h"
#include "support/TempDir.h"

namespace {

class FileHandleTest : public ::testing::Test {
 protected:
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    std::string path = dir_.Path(name);
    WriteFileBytes(path, bytes);
    return path;
  }
  TempDir dir_;
};

TEST_F(FileHandleTest, MissingFileLeavesHandleNoneAndSizeUnchanged) {
  SizedInputFile file;
  ASSERT_EQ(file.OpenForRead(MakeFile("ten", "0123456789").c_str()), 1);
  EXPECT_EQ(file.GetSize(), 10u);
  ASSERT_EQ(file.Close(), 1);

  FaultySystem counting;
  ScopedSystem scope(&counting);
  EXPECT_EQ(file.OpenForRead(dir_.Path("missing").c_str()), 0);
  EXPECT_EQ(file.handle(), os::kNoHandle);
  EXPECT_EQ(file.GetSize(), 10u);
  EXPECT_EQ(file.Close(), 1);
  EXPECT_EQ(file.Close(), 1);
  EXPECT_EQ(counting.file_closes, 0);  // nothing held, nothing closed
}

TEST_F(FileHandleTest, EmptyFileHasSizeZero) {
  SizedInputFile file;
  ASSERT_EQ(file.OpenForRead(MakeFile("empty", "").c_str()), 1);
  EXPECT_EQ(file.GetSize(), 0u);
  char byte = 'x';
  std::uint32_t got = 99;
  EXPECT_EQ(file.ReadCounted(&byte, 1, &got), 1);
  EXPECT_EQ(got, 0u);
}

TEST_F(FileHandleTest, ShortReadAtEndSucceedsAndReportsWhatArrived) {
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(MakeFile("f", "0123456789").c_str()), 1);
  EXPECT_EQ(file.GetSize(), 10u);
  ASSERT_EQ(file.Seek(6, os::kSeekBegin), 1);
  char buffer[10];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_NE(file.Read(buffer, 10), 0);
  EXPECT_EQ(std::string(buffer, 10), "6789######");

  ASSERT_EQ(file.Seek(6, os::kSeekBegin), 1);
  std::uint32_t got = 0;
  EXPECT_EQ(file.ReadCounted(buffer, 10, &got), 1);
  EXPECT_EQ(got, 4u);
  EXPECT_NE(file.Read(buffer, 0), 0);
}

TEST_F(FileHandleTest, SeekDistanceIsZeroExtended) {
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(MakeFile("f", "0123456789").c_str()), 1);
  ASSERT_EQ(file.Seek(2, os::kSeekBegin), 1);
  EXPECT_EQ(file.Tell(), 2u);
  // The two's complement of 4 moves 4294967292 bytes forwards, not 4 back.
  EXPECT_EQ(file.Seek(0xFFFFFFFCu, os::kSeekCurrent), 1);
  EXPECT_EQ(file.Tell(), 0xFFFFFFFEu);

  // A new position whose low 32 bits are 0xFFFFFFFF reads as failure.
  ASSERT_EQ(file.Seek(3, os::kSeekBegin), 1);
  EXPECT_EQ(file.Seek(0xFFFFFFFCu, os::kSeekCurrent), 0);
}

TEST_F(FileHandleTest, CreateForWriteTruncatesAndWrites) {
  std::string path = MakeFile("out", "old content that is long");
  {
    FileHandle file;
    ASSERT_EQ(file.CreateForWrite(path.c_str()), 1);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_NE(file.Write("new", 3), 0);
    EXPECT_EQ(file.Tell(), 3u);
  }  // closed by the destructor
  EXPECT_EQ(ReadFileBytes(path), "new");

  FileHandle created;
  ASSERT_EQ(created.CreateForWrite(dir_.Path("fresh").c_str()), 1);
  EXPECT_EQ(created.Close(), 1);
  EXPECT_EQ(ReadFileBytes(dir_.Path("fresh")), "");
}

TEST_F(FileHandleTest, DuplicateGivesAnIndependentReadHandle) {
  FileHandle closed;
  EXPECT_EQ(closed.Duplicate(), os::kNoHandle);

  FileHandle file;
  ASSERT_EQ(file.OpenForRead(MakeFile("f", "abcdef").c_str()), 1);
  FileHandle::Handle copy = file.Duplicate();
  ASSERT_NE(copy, os::kNoHandle);
  EXPECT_EQ(file.Close(), 1);

  FileHandle other;
  other.Attach(copy);
  char buffer[6];
  std::uint32_t got = 0;
  ASSERT_EQ(other.ReadCounted(buffer, 6, &got), 1);
  EXPECT_EQ(std::string(buffer, got), "abcdef");
}

TEST_F(FileHandleTest, FailedCloseKeepsTheHandle) {
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(MakeFile("f", "x").c_str()), 1);
  FileHandle::Handle held = file.handle();
  FaultySystem counting;
  {
    ScopedSystem scope(&counting);
    counting.fail_file_close = true;
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(file.handle(), held);
    counting.fail_file_close = false;
    EXPECT_EQ(file.Close(), 1);
  }
  EXPECT_EQ(file.handle(), os::kNoHandle);
  EXPECT_EQ(counting.file_closes, 2);
}

TEST_F(FileHandleTest, CloseHandleAtWorksOnAnyVariable) {
  FileHandle opener;
  ASSERT_EQ(opener.OpenForRead(MakeFile("f", "x").c_str()), 1);
  FileHandle::Handle borrowed = opener.Duplicate();
  FileHandle closer;  // holds nothing itself
  EXPECT_EQ(closer.CloseHandleAt(&borrowed), 1);
  EXPECT_EQ(borrowed, os::kNoHandle);
  EXPECT_EQ(closer.CloseHandleAt(&borrowed), 1);
}

}  // namespace
