// Undoing updates made by the updater's own rebuild: the entry list before
// the update comes back exactly, after one update and after two.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "archive/ArchiveUnpatch.h"
#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/FaultySystem.h"
#include "support/TempDir.h"
#include "updater/PatchSet.h"

namespace {

using archive_test::PatternData;
using Contents = std::vector<std::tuple<std::string, std::uint32_t, std::string>>;

std::vector<std::string> UpdateNames() {
  std::vector<std::string> names;
  for (const PatchSetEntry& entry : PatchSet::kEntries) names.push_back(entry.name);
  return names;
}

Contents ContentsOf(const std::string& bytes) {
  const archive_test::ParsedArchive parsed = archive_test::ParseArchive(bytes);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  Contents contents;
  for (const auto& entry : parsed.entries) contents.emplace_back(entry.name, entry.size, entry.data);
  return contents;
}

class ArchiveUnpatchTest : public ::testing::Test {
 protected:
  // The updater's rebuild with this build's names (made-up payload bytes).
  std::string Update(const std::string& bytes) {
    const std::string path = dir_.Write("mes.arc", bytes);
    const std::string new_path = path + "_";
    const std::vector<std::string> names = UpdateNames();
    std::vector<const char*> pointers;
    for (const std::string& name : names) pointers.push_back(name.c_str());
    std::vector<std::string> payloads;
    for (std::uint32_t i = 0; i < names.size(); ++i) payloads.push_back(PatternData(40 + i, 90 + i));

    MesArchive archive;
    EXPECT_EQ(archive.OpenArchive(path.c_str()), 1);
    EXPECT_EQ(archive.LoadIndexForRewrite(path.c_str(), 5, pointers.data()), 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto size = static_cast<std::uint32_t>(payloads[i].size());
      EXPECT_EQ(archive.AppendEntry(names[i].c_str(), size, payloads[i].data()), 1);
    }
    EXPECT_EQ(archive.WriteArchive(new_path.c_str(), 5), 1);
    archive.ReleaseArchive();
    EXPECT_TRUE(system_.messages.empty());
    return ReadFileBytes(new_path);
  }

  // What mesarc unpatch writes: the restored index, then each entry's data.
  static std::string Unpatch(const std::string& bytes) {
    const archive::Examination examination = archive::ExamineArchive(bytes, bytes.size());
    EXPECT_EQ(archive::AppendedNamesProblem(examination, UpdateNames()), "");
    const std::vector<archive::RestoredEntry> restored =
        archive::RestoredEntries(examination, UpdateNames());
    std::string out;
    EXPECT_TRUE(archive::RestoredIndex(examination, restored, &out));
    for (const archive::RestoredEntry& entry : restored) {
      const archive::ExaminedEntry& source = examination.entries[entry.position];
      out.append(bytes, source.offset, source.size);
    }
    EXPECT_TRUE(archive_test::ParseArchive(out).MeetsLayout());
    return out;
  }

  FaultySystem system_;
  ScopedSystem scoped_{&system_};
  TempDir dir_;
};

TEST_F(ArchiveUnpatchTest, UnpatchGivesBackTheEntriesBeforeEachUpdate) {
  const std::string original = archive_test::ArchiveBuilder()
                                   .Add("T27C.MES", "old 27c")
                                   .Add("EMPTY.MES", "")
                                   .Gap(5)
                                   .Add("\x93\xfa\x96\x7b\x83\x5c.MES", "nihongo")
                                   .Add("t09c.mes", "lower")
                                   .Add("T27C.MES", "duplicate")
                                   .Add("C_TALK00.MES", "")
                                   .Add("SYSTEM.MES", PatternData(300, 7))
                                   .Build();
  const std::string once = Update(original);
  const std::string twice = Update(once);
  EXPECT_EQ(ContentsOf(Unpatch(once)), ContentsOf(original));
  EXPECT_EQ(ContentsOf(Unpatch(twice)), ContentsOf(once));
  EXPECT_EQ(ContentsOf(Unpatch(Unpatch(twice))), ContentsOf(original));
}

TEST_F(ArchiveUnpatchTest, AnArchiveTheUpdateDidNotEndIsRefused) {
  const std::vector<std::string> names = UpdateNames();
  const std::string updated = Update(archive_test::ArchiveBuilder().Add("A.MES", "a").Build());
  const archive::Examination examination = archive::ExamineArchive(updated, updated.size());
  EXPECT_EQ(archive::AppendedNamesProblem(examination, names), "");
  const std::vector<std::string> reordered = {names[1], names[0], names[2], names[3], names[4]};
  EXPECT_EQ(archive::AppendedNamesProblem(examination, reordered), "entry 1 is not " + names[1]);

  const std::string unpatched = Unpatch(updated);
  const archive::Examination plain = archive::ExamineArchive(unpatched, unpatched.size());
  EXPECT_EQ(archive::AppendedNamesProblem(plain, names),
            "it has 1 entry, fewer than the 5 an update appends");
}

}  // namespace
