// Sharing rules that only Windows enforces: the archive held for reading
// cannot be deleted or written by others, and a file being created is
// exclusive, and a stale file under a new file's name is replaced, never
// written through.
#include <gtest/gtest.h>
#include <windows.h>

#include "os/System.h"
#include "platform/FileHandle.h"
#include "support/TempDir.h"

namespace {

HANDLE OpenForWriteAsOther(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

HANDLE OpenForReadAsOther(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

TEST(SharingTest, FileHeldForReadingCanBeReadButNotWrittenOrDeleted) {
  TempDir dir;
  std::string path = dir.Path("held");
  WriteFileBytes(path, "data");
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(path.c_str()), 1);

  HANDLE reader = OpenForReadAsOther(path);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  EXPECT_EQ(OpenForWriteAsOther(path), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  ASSERT_EQ(file.Close(), 1);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(SharingTest, FileBeingCreatedCannotBeOpenedByOthers) {
  TempDir dir;
  std::string path = dir.Path("new");
  FileHandle file;
  ASSERT_EQ(file.CreateForWrite(path.c_str()), 1);
  EXPECT_EQ(OpenForReadAsOther(path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(file.Close(), 1);
}

TEST(SharingTest, StreamBeingWrittenIsNoOnesElseAndReplacesAStaleFile) {
  TempDir dir;
  const std::string path = dir.Path("mes.arc_");
  WriteFileBytes(path, "stale bytes");
  platform::System& sys = platform::NativeSystem();
  platform::StreamHandle stream = sys.StreamCreate(path.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(OpenForReadAsOther(path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.StreamCreate(path.c_str()), nullptr);
  EXPECT_EQ(sys.LastError(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(sys.StreamWrite(stream, "new", 3));
  EXPECT_TRUE(sys.StreamClose(stream));
  EXPECT_EQ(ReadFileBytes(path), "new");

  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(sys.StreamCreate(path.c_str()), nullptr);
  EXPECT_EQ(ReadFileBytes(path), "new");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
