// The in-memory backend must answer as Windows does, or tests and fuzzers
// built on it would pass where the real program fails.
#include <gtest/gtest.h>

#include <string>

#include "platform/FileHandle.h"
#include "platform/memory/MemorySystem.h"
#include "support/FaultySystem.h"

namespace {

using platform::FileOpenMode;
using platform::kInvalidHandle;
using platform::memory::MemorySystem;

constexpr const char* kArc = "C:\\Games\\mes.arc";

// Registry calls return their Win32 code as a signed status.
constexpr std::int32_t Status(std::uint32_t code) { return static_cast<std::int32_t>(code); }

class MemorySystemTest : public ::testing::Test {
 protected:
  MemorySystemTest() { memory_.AddFile(kArc, "0123456789"); }
  platform::NativeHandle Open(const char* path, FileOpenMode mode) {
    return memory_.FileOpen(path, mode);
  }
  MemorySystem memory_;
};

TEST_F(MemorySystemTest, OpenModesAndTheStreamShareAsWindowsDoes) {
  const auto reader = Open(kArc, FileOpenMode::kReadShareRead);
  ASSERT_NE(reader, kInvalidHandle);
  const auto second = Open("c:/games/MES.ARC", FileOpenMode::kReadShareRead);
  EXPECT_NE(second, kInvalidHandle);  // readers share, any case and separator
  EXPECT_EQ(Open(kArc, FileOpenMode::kWriteCreateExclusive), kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), platform::kErrorSharingViolation);
  EXPECT_EQ(memory_.StreamCreate(kArc), nullptr);
  EXPECT_EQ(memory_.LastError(), platform::kErrorSharingViolation);
  ASSERT_TRUE(memory_.FileClose(reader) && memory_.FileClose(second));

  platform::StreamHandle stream = memory_.StreamCreate(kArc);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(Open(kArc, FileOpenMode::kReadShareRead), kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), platform::kErrorSharingViolation);
  ASSERT_TRUE(memory_.StreamWrite(stream, "ab", 2) && memory_.StreamClose(stream));
  std::string bytes;
  ASSERT_TRUE(memory_.GetFile(kArc, &bytes));
  EXPECT_EQ(bytes, "ab");  // "wb" truncates
  EXPECT_EQ(memory_.OpenCount(), 0u);
}

TEST_F(MemorySystemTest, PathCallsReportWin32Codes) {
  EXPECT_FALSE(memory_.PathDelete("C:\\Games\\none"));
  EXPECT_EQ(memory_.LastError(), platform::kErrorFileNotFound);
  EXPECT_FALSE(memory_.PathExists("C:\\Nowhere\\mes.arc"));
  EXPECT_EQ(memory_.LastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(Open("C:\\Nowhere\\new", FileOpenMode::kWriteCreateExclusive), kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(Open("C:\\Games", FileOpenMode::kReadShareRead), kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), platform::kErrorAccessDenied);

  memory_.AddFile("C:\\Games\\other", "x");
  EXPECT_FALSE(memory_.PathMove(kArc, "C:\\GAMES\\OTHER"));  // never replaces
  EXPECT_EQ(memory_.LastError(), platform::kErrorAlreadyExists);
  const auto held = Open(kArc, FileOpenMode::kReadShareRead);
  EXPECT_FALSE(memory_.PathDelete(kArc));
  EXPECT_EQ(memory_.LastError(), platform::kErrorSharingViolation);
  EXPECT_FALSE(memory_.PathMove(kArc, "C:\\Games\\moved"));
  EXPECT_EQ(memory_.LastError(), platform::kErrorSharingViolation);
  ASSERT_TRUE(memory_.FileClose(held));
  ASSERT_TRUE(memory_.PathMove(kArc, "C:\\Games\\moved"));
  EXPECT_FALSE(memory_.HasFile(kArc));
  EXPECT_TRUE(memory_.PathExists("c:\\games\\MOVED"));
  ASSERT_TRUE(memory_.PathDelete("C:\\Games\\moved"));
  EXPECT_FALSE(memory_.HasFile("C:\\Games\\moved"));
}

TEST_F(MemorySystemTest, ReadsSeeksAndWritesLikeTheFileCalls) {
  ScopedSystem scope(&memory_);
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(kArc), 1);
  char buffer[16] = {};
  std::uint32_t got = 0;
  ASSERT_EQ(file.Seek(7, platform::kSeekBegin), 1);
  ASSERT_EQ(file.ReadCounted(buffer, sizeof buffer, &got), 1);
  EXPECT_EQ(std::string(buffer, got), "789");  // a short read at the end succeeds
  ASSERT_EQ(file.ReadCounted(buffer, 4, &got), 1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(memory_.FileSeek(file.handle(), static_cast<std::uint32_t>(-11), nullptr,
                             platform::kSeekCurrent),
            platform::kInvalidSetFilePointer);
  EXPECT_NE(memory_.LastError(), 0u);
  EXPECT_EQ(file.Write("x", 1), 0);  // read access only
  EXPECT_EQ(memory_.LastError(), platform::kErrorAccessDenied);

  platform::StreamHandle stream = memory_.StreamCreate("C:\\Games\\copy");
  ASSERT_TRUE(memory_.StreamWrite(stream, ">", 1));
  std::uint32_t copied = 0;
  EXPECT_EQ(memory_.StreamCopyFromFile(stream, file.handle(), 2, 5, &copied),
            platform::CopyResult::kCopied);
  EXPECT_EQ(memory_.StreamCopyFromFile(stream, file.handle(), 8, 5, &copied),
            platform::CopyResult::kReadFailed);  // source ends early
  memory_.StreamClose(stream);
  std::string copy;
  ASSERT_TRUE(memory_.GetFile("C:\\Games\\copy", &copy));
  EXPECT_EQ(copy.substr(0, 6), ">23456");
  file.Close();

  memory_.SetCapacity(12);  // less than the files hold already
  stream = memory_.StreamCreate("C:\\Games\\full");
  EXPECT_FALSE(memory_.StreamWrite(stream, "0123456789", 10));
  EXPECT_EQ(memory_.LastError(), platform::kErrorDiskFull);
  memory_.StreamClose(stream);
}

TEST_F(MemorySystemTest, RegistryQueryAnswersAsWin32) {
  memory_.SetRegistryValue("SoftWare\\velk\\MIRKAN", "InstPath", platform::kRegSz,
                           std::string("C:\\Games", 8));  // stored without its NUL
  platform::NativeHandle key = 0;
  ASSERT_EQ(memory_.RegistryOpen(platform::kHkeyLocalMachine, "software\\VELK", 0, &key), 0);
  platform::NativeHandle game = 0;
  ASSERT_EQ(memory_.RegistryOpen(key, "mirkan", 0, &game), 0);
  unsigned char data[16];
  std::uint32_t type = 0, size = 4;
  EXPECT_EQ(memory_.RegistryQuery(game, "instpath", &type, data, &size),
            Status(platform::kErrorMoreData));
  EXPECT_EQ(size, 8u);
  size = sizeof data;
  ASSERT_EQ(memory_.RegistryQuery(game, "InstPath", &type, data, &size), 0);
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "C:\\Games");  // NUL added where it fits
  EXPECT_EQ(memory_.RegistryQuery(game, "Other", &type, data, &size),
            Status(platform::kErrorFileNotFound));
  EXPECT_EQ(memory_.RegistryOpen(0x80000001u, "Software", 0, &key),
            Status(platform::kErrorFileNotFound));
  EXPECT_EQ(memory_.RegistryOpen(0x1234u, "Software", 0, &key),
            Status(platform::kErrorInvalidHandle));
  EXPECT_EQ(memory_.RegistryClose(game), 0);
  EXPECT_EQ(memory_.RegistryClose(game), Status(platform::kErrorInvalidHandle));
}

}  // namespace
