// What only the Windows backend refuses: a read-only file under the new
// file's name stays as it is. The sharing rules of every backend are in
// SystemContractTest.
#include <gtest/gtest.h>
#include <windows.h>

#include "os/System.h"
#include "support/TempDir.h"

namespace {

TEST(SharingTest, AReadOnlyStaleFileIsNotReplaced) {
  TempDir dir;
  const std::string path = dir.Write("mes.arc_", "stale");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(os::NativeSystem().StreamCreate(path.c_str()), nullptr);
  EXPECT_EQ(ReadFileBytes(path), "stale");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
