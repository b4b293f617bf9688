// The one Shift-JIS path splitter, which the Wine path mapping and the
// in-memory backend's folders both go by.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "os/WindowsPath.h"

namespace {

using Components = std::vector<std::string_view>;

TEST(WindowsPathTest, SplitsAtEitherSeparatorButNeverInsideACharacter) {
  Components parts;
  // 表 is 0x95 0x5C: its second byte is no separator.
  EXPECT_TRUE(os::SplitShiftJisPath("C:\\\x95\x5C//mes.arc\\", &parts));
  EXPECT_EQ(parts, (Components{"C:", "\x95\x5C", "mes.arc"}));

  parts.clear();
  EXPECT_FALSE(os::SplitShiftJisPath("C:\\Games\\\x95", &parts));  // a lead byte ends it
  EXPECT_EQ(parts, (Components{"C:", "Games", "\x95"}));
}

}  // namespace
