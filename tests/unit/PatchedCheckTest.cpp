// The one decision of "patched", shared by `mesarc status` and the updater's
// recovery: payloads compared under the name the reader's lookup finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/PatchedCheck.h"
#include "support/ArchiveBuilder.h"

namespace {

using archive::PayloadMatch;
using archive_test::ArchiveBuilder;

struct Checked {
  archive::PayloadCheck check;
  std::vector<std::uint64_t> reads;  // offsets read
};

Checked Check(const std::string& bytes, const std::vector<archive::ExpectedPayload>& payloads,
              bool reads_fail = false) {
  Checked result;
  const archive::Examination examination = archive::ExamineArchive(bytes, bytes.size());
  result.check = archive::CheckPayloads(
      examination, payloads, [&](std::uint64_t offset, std::uint32_t size, std::string* out) {
        result.reads.push_back(offset);
        *out = bytes.substr(offset, size);
        return !reads_fail;
      });
  return result;
}

TEST(PatchedCheckTest, ComparesTheFirstEntryOfEachNameByteForByte) {
  const std::string bytes = ArchiveBuilder()
                                .Add("A.MES__", "old")
                                .Add("A.MES", "new")
                                .Add("A.MES", "shadowed")  // a later duplicate is never looked up
                                .Add("B.MES", "neW")
                                .Build();
  Checked all = Check(bytes, {{"A.MES", "new"}, {"B.MES", "new"}, {"C.MES", "x"}});
  EXPECT_EQ(all.check.matches,
            (std::vector<PayloadMatch>{PayloadMatch::kSame, PayloadMatch::kDiffers,
                                       PayloadMatch::kMissing}));
  EXPECT_FALSE(all.check.Patched());
  EXPECT_EQ(all.check.SameCount(), 1u);

  EXPECT_TRUE(Check(bytes, {{"A.MES", "new"}}).check.Patched());
  EXPECT_FALSE(Check(bytes, {{"A.MES", "shadowed"}}).check.Patched());
  EXPECT_TRUE(Check(bytes, {}).check.Patched());
}

TEST(PatchedCheckTest, ReadsOnlyEntriesOfThePayloadsSizeAndStopsOnAFailedRead) {
  const std::string bytes = ArchiveBuilder().AddSized("BIG.MES", 100000, 1).Add("B.MES", "b").Build();
  Checked sized = Check(bytes, {{"BIG.MES", "short"}});
  EXPECT_TRUE(sized.reads.empty());
  EXPECT_EQ(sized.check.matches, std::vector<PayloadMatch>{PayloadMatch::kDiffers});

  Checked failed = Check(bytes, {{"B.MES", "b"}, {"BIG.MES", "short"}}, true);
  EXPECT_TRUE(failed.check.read_failed);
  EXPECT_EQ(failed.check.unreadable_name, "B.MES");
  EXPECT_FALSE(failed.check.Patched());
}

}  // namespace
