// What only the in-memory backend has: paths folded as Windows folds them, a
// missing folder told from a missing file, a capacity that stands for a full
// disk, and string values stored without their NUL. The rules every backend
// keeps are in SystemContractTest.
#include <gtest/gtest.h>

#include <string>

#include "backends/memory/MemorySystem.h"

namespace {

using os::FileOpenMode;
using os::kInvalidHandle;
using backends::memory::MemorySystem;

constexpr const char* kArc = "C:\\Games\\mes.arc";

// Registry calls return their Win32 code as a signed status.
constexpr std::int32_t Status(std::uint32_t code) { return static_cast<std::int32_t>(code); }

class MemorySystemTest : public ::testing::Test {
 protected:
  MemorySystemTest() { memory_.AddFile(kArc, "0123456789"); }
  MemorySystem memory_;
};

TEST_F(MemorySystemTest, PathsFoldCaseAndSeparatorsAndTellAMissingFolder) {
  const auto reader = memory_.FileOpen("c:/games/MES.ARC", FileOpenMode::kReadShareRead);
  ASSERT_NE(reader, kInvalidHandle);
  EXPECT_EQ(memory_.FileOpen(kArc, FileOpenMode::kWriteTruncateShareNone), kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), os::kErrorSharingViolation);
  ASSERT_TRUE(memory_.FileClose(reader));

  EXPECT_FALSE(memory_.PathExists("C:\\Nowhere\\mes.arc"));
  EXPECT_EQ(memory_.LastError(), os::kErrorPathNotFound);
  EXPECT_EQ(memory_.FileOpen("C:\\Nowhere\\new", FileOpenMode::kWriteTruncateShareNone),
            kInvalidHandle);
  EXPECT_EQ(memory_.LastError(), os::kErrorPathNotFound);
  ASSERT_TRUE(memory_.PathMove(kArc, "C:\\GAMES\\Moved"));
  EXPECT_EQ(memory_.FileNames(), std::vector<std::string>{"C:\\GAMES\\Moved"});
  EXPECT_EQ(memory_.OpenCount(), 0u);
}

TEST_F(MemorySystemTest, AWriteBeyondTheCapacityFailsAsAFullDisk) {
  memory_.SetCapacity(12);  // less than the files hold already
  os::StreamHandle stream = memory_.StreamCreate("C:\\Games\\full");
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(memory_.StreamWrite(stream, "01", 2));
  EXPECT_FALSE(memory_.StreamWrite(stream, "0123456789", 10));
  EXPECT_EQ(memory_.LastError(), os::kErrorDiskFull);
  memory_.StreamClose(stream);
}

TEST_F(MemorySystemTest, RegistryAddsTheNulAStringWasStoredWithout) {
  memory_.SetRegistryValue("SoftWare\\velk\\MIRKAN", "InstPath", os::kRegSz,
                           std::string("C:\\Games", 8));  // stored without its NUL
  os::NativeHandle key = 0;
  ASSERT_EQ(memory_.RegistryOpen(os::kHkeyLocalMachine, "software\\VELK\\mirkan", 0, &key),
            0);
  unsigned char data[16];
  std::uint32_t type = 0, size = sizeof data;
  ASSERT_EQ(memory_.RegistryQuery(key, "InstPath", &type, data, &size), 0);
  EXPECT_EQ(size, 8u);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "C:\\Games");  // NUL added where it fits
  // Only HKEY_LOCAL_MACHINE holds keys; other roots are empty, other handles bad.
  EXPECT_EQ(memory_.RegistryOpen(0x80000001u, "Software", 0, &key),
            Status(os::kErrorFileNotFound));
  EXPECT_EQ(memory_.RegistryOpen(0x1234u, "Software", 0, &key),
            Status(os::kErrorInvalidHandle));
}

}  // namespace
