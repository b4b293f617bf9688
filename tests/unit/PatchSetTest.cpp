#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "updater/PatchSet.h"

namespace {

TEST(PatchSetTest, EachPositionLoadsItsOwnFileByteForByte) {
  const std::uint32_t expected_sizes[PatchSet::kCount] = {19974, 44179, 48552, 50165, 3955};
  for (std::uint32_t p = 0; p < PatchSet::kCount; ++p) {
    const PatchSetEntry& entry = PatchSet::kEntries[p];
    EXPECT_EQ(entry.resource_id, static_cast<int>(110 + p));
    os::PayloadBytes payload = LoadPayload(entry.resource_id);
    ASSERT_NE(payload.data, nullptr) << entry.name;
    EXPECT_EQ(payload.size, expected_sizes[p]) << entry.name;
    std::string file = ReadFileBytes(std::string(MES_RESOURCES_DIR) + "/" + entry.name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload.data), payload.size), file)
        << entry.name;
  }
  EXPECT_EQ(LoadPayload(115).data, nullptr);
}

}  // namespace
