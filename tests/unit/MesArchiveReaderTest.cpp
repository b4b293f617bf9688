#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/ArchiveMessages.h"
#include "support/FaultySystem.h"
#include "support/MemoryFolder.h"
#include "platform/MessageTexts.h"

namespace {

using archive_test::ArchiveBuilder;
using archive_test::PatternData;


int g_allocations = 0;
void* CountingAllocate(std::size_t size) {
  ++g_allocations;
  return std::malloc(size);
}
void* NeverAllocate(std::size_t) { return nullptr; }

class MesArchiveReaderTest : public ::testing::Test {
 protected:
  void ExpectOnlyMessage(const char* format, const std::string& argument) {
    ExpectOnlyArchiveMessage(system_, format, argument);
  }

  backends::memory::MemorySystem memory_;
  FaultySystem system_{memory_};
  ScopedSystem scoped_{&system_};
  MemoryFolder dir_{memory_, "C:\\Test"};
  MesArchive archive_;
};

TEST_F(MesArchiveReaderTest, LookupUpperCasesAsciiLettersOnlyThenComparesExactly) {
  const std::string talk = PatternData(300, 1);
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder()
                                                     .Add("T27C.MES", "t27c data")
                                                     .Add("c_talk00.mes", talk)
                                                     .Add("\x83\x41.MES", "kana")
                                                     .NameFiller('\x55')
                                                     .Build());
  ASSERT_EQ(archive_.OpenArchive(path.c_str()), 1);

  char buffer[400] = {};
  EXPECT_EQ(archive_.ReadEntry("t27C.mes", buffer), 9u);
  EXPECT_EQ(std::string(buffer, 9), "t27c data");
  // The trail byte 0x61 of a double-byte character is upper-cased as well.
  EXPECT_EQ(archive_.ReadEntry("\x83\x61.mes", buffer), 4u);
  EXPECT_TRUE(system_.messages.empty());

  // A stored lower-case name cannot be found; the message names what was looked for.
  EXPECT_EQ(archive_.ReadEntry("c_talk00.mes", buffer), 0u);
  ExpectOnlyMessage(text::kEntryNotFound, "C_TALK00.MES");
  system_.messages.clear();
  EXPECT_EQ(archive_.SeekToEntry("Missing.Mes"), -1);
  ExpectOnlyMessage(text::kEntryNotFound, "MISSING.MES");
}

TEST_F(MesArchiveReaderTest, SeekLeavesTheEntrySizeInGetSize) {
  const std::string path = dir_.Write(
      "mes.arc", ArchiveBuilder().AddSized("A.MES", 1000, 1).AddSized("B.MES", 77, 2).Build());
  ASSERT_EQ(archive_.OpenArchive(path.c_str()), 1);
  EXPECT_EQ(archive_.GetSize(), 4u + 64u + 1077u);
  ASSERT_EQ(archive_.SeekToEntry("b.mes"), 1);
  EXPECT_EQ(archive_.GetSize(), 77u);
  EXPECT_EQ(archive_.Tell(), 4u + 64u + 1000u);
}

void* AllocateOnlyOnce(std::size_t size) { return ++g_allocations == 1 ? std::malloc(size) : nullptr; }

TEST_F(MesArchiveReaderTest, DuplicateNamesKeepTheFirstEntry) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder()
                                                     .Add("SAME.MES", "first")
                                                     .Add("OTHER.MES", "x")
                                                     .Add("SAME.MES", "second one")
                                                     .Build());
  // Lookups that find no memory for their sorted array scan the index instead.
  for (bool sorted : {true, false}) {
    SCOPED_TRACE(sorted ? "sorted" : "scanned");
    MesArchive archive;
    g_allocations = 0;
    if (!sorted) archive.SetAllocatorForTesting(AllocateOnlyOnce);
    ASSERT_EQ(archive.OpenArchive(path.c_str()), 1);
    EXPECT_EQ(archive.count(), 3u);
    ASSERT_EQ(archive.entry_map().size(), 2u);
    EXPECT_EQ(archive.entry_map().SizeAndOffsetOrZeros("SAME.MES"), std::make_pair(5u, 4u + 96u));
    EXPECT_EQ(archive.entry_map().Find("MISSING.MES"), nullptr);
    char buffer[16] = {};
    EXPECT_EQ(archive.ReadEntry("same.mes", buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), "first");
    EXPECT_EQ(archive.ReadEntry("other.mes", buffer), 1u);
  }
  EXPECT_TRUE(system_.messages.empty());
}

TEST_F(MesArchiveReaderTest, EmptyArchiveAndEmptyEntriesReadWithoutMessages) {
  const std::string empty = dir_.Write("empty.arc", ArchiveBuilder().Build());
  ASSERT_EQ(archive_.OpenArchive(empty.c_str()), 1);
  EXPECT_EQ(archive_.count(), 0u);
  EXPECT_TRUE(archive_.entry_map().empty());
  EXPECT_EQ(archive_.ReleaseArchive(), 1);

  MesArchive other;
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("NONE.MES", "").Build());
  ASSERT_EQ(other.OpenArchive(path.c_str()), 1);
  char buffer[1];
  EXPECT_EQ(other.ReadEntry("NONE.MES", buffer), 0u);
  EXPECT_TRUE(system_.messages.empty());
}

TEST_F(MesArchiveReaderTest, ReleaseEmptiesTheMapAndClosesTheFile) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("A.MES", "a").Build());
  ASSERT_EQ(archive_.OpenArchive(path.c_str()), 1);
  EXPECT_EQ(archive_.ReleaseArchive(), 1);
  EXPECT_TRUE(archive_.entry_map().empty());
  EXPECT_EQ(archive_.handle(), os::kNoHandle);
}

TEST_F(MesArchiveReaderTest, LookupCutsNamesLongerThanItsBuffer) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("A.MES", "a").Build());
  ASSERT_EQ(archive_.OpenArchive(path.c_str()), 1);
  const std::string long_name(400, 'q');
  char buffer[4];
  EXPECT_EQ(archive_.ReadEntry(long_name.c_str(), buffer), 0u);
  ExpectOnlyMessage(text::kEntryNotFound, std::string(259, 'Q'));
}

struct RefusedCase {
  const char* what;
  std::string bytes;
  const char* format;
  bool before_allocating;
};

TEST_F(MesArchiveReaderTest, RefusesDamagedFilesWithTheirMessage) {
  const std::string good = ArchiveBuilder().Add("A.MES", "aaaa").Add("B.MES", "bb").Build();
  const std::vector<RefusedCase> cases = {
      {"empty file", "", text::kCountReadFailed, true},
      {"three bytes", "\x01\x00\x00", text::kCountReadFailed, true},
      {"count beyond the file", ArchiveBuilder().Add("A.MES", "a").Count(2).Build(),
       text::kIndexReadFailed, true},
      {"index cut short", good.substr(0, 40), text::kIndexReadFailed, true},
      {"index length overflows 32 bits", ArchiveBuilder().Count(0x08000000u).Build(),
       text::kIndexReadFailed, true},
      {"index length just fits 32 bits", ArchiveBuilder().Count(0x07FFFFFFu).Build(),
       text::kIndexReadFailed, true},
      {"name without NUL",
       ArchiveBuilder().Add("A.MES", "a").Add(std::string(24, 'N'), "b").Build(),
       text::kIndexReadFailed, false},
      {"data past the end",
       ArchiveBuilder().Add("A.MES", "a").AddPointing("B.MES", 2, 4 + 64).Build(),
       text::kIndexReadFailed, false},
      {"offset past the end of an empty entry",
       ArchiveBuilder().Add("A.MES", "a").AddPointing("B.MES", 0, 4 + 64 + 2).Build(),
       text::kIndexReadFailed, false},
      {"offset plus size wraps", ArchiveBuilder().AddPointing("A.MES", 0x20, 0xFFFFFFF0u).Build(),
       text::kIndexReadFailed, false},
      {"last entry cut short", good.substr(0, good.size() - 1), text::kIndexReadFailed, false},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.what);
    system_.messages.clear();
    g_allocations = 0;
    const std::string path = dir_.Write("bad.arc", c.bytes);
    MesArchive archive;
    archive.SetAllocatorForTesting(CountingAllocate);
    EXPECT_EQ(archive.OpenArchive(path.c_str()), 0);
    EXPECT_TRUE(archive.entry_map().empty());
    ExpectOnlyMessage(c.format, path);
    if (c.before_allocating) {
      EXPECT_EQ(g_allocations, 0);
    }
    EXPECT_EQ(MesArchive::IsCompleteArchive(path.c_str()), 0);
  }
  EXPECT_EQ(system_.messages.size(), 1u) << "IsCompleteArchive must stay silent";
}

TEST_F(MesArchiveReaderTest, AcceptsEntriesThatEndExactlyAtTheEndOfTheFile) {
  const std::string path = dir_.Write(
      "mes.arc",
      ArchiveBuilder().Add("A.MES", "abc").AddPointing("EMPTY.MES", 0, 4 + 64 + 3).Build());
  EXPECT_EQ(archive_.OpenArchive(path.c_str()), 1);
  EXPECT_TRUE(system_.messages.empty());
}

TEST_F(MesArchiveReaderTest, MissingArchiveAndFailedIndexAllocationAreReported) {
  const std::string missing = dir_.Path("absent.arc");
  EXPECT_EQ(archive_.OpenArchive(missing.c_str()), 0);
  ExpectOnlyMessage(text::kArchiveNotFound, missing);

  system_.messages.clear();
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("A.MES", "a").Build());
  MesArchive archive;
  archive.SetAllocatorForTesting(NeverAllocate);
  EXPECT_EQ(archive.OpenArchive(path.c_str()), 0);
  ExpectOnlyMessage(text::kIndexAllocFailed, path);
}

TEST_F(MesArchiveReaderTest, ShortOrFailedReadsAreFailures) {
  const std::string path = dir_.Write(
      "mes.arc", ArchiveBuilder().AddSized("A.MES", 50, 1).AddSized("B.MES", 60, 2).Build());
  struct ReadCase {
    int short_read_at;
    int failed_read_at;
    const char* format;
    std::string argument;
  };
  // Reads in order: count, index, then the entry.
  const ReadCase cases[] = {
      {1, 0, text::kCountReadFailed, path},    {0, 1, text::kCountReadFailed, path},
      {2, 0, text::kIndexReadFailed, path},    {0, 2, text::kIndexReadFailed, path},
      {3, 0, text::kEntryReadFailed, "b.mes"}, {0, 3, text::kEntryReadFailed, "b.mes"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.argument + " read " + std::to_string(c.short_read_at + c.failed_read_at));
    system_.messages.clear();
    system_.reads = 0;
    system_.short_read_at = c.short_read_at;
    system_.failed_read_at = c.failed_read_at;
    MesArchive archive;
    char buffer[60];
    const bool opened = archive.OpenArchive(path.c_str()) == 1;
    if (opened) {
      EXPECT_EQ(archive.ReadEntry("b.mes", buffer), 0u);
    }
    EXPECT_EQ(opened, c.format == text::kEntryReadFailed);
    ExpectOnlyMessage(c.format, c.argument);
  }
}

TEST_F(MesArchiveReaderTest, FailedSeekNamesTheUpperCasedEntry) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("A.MES", "a").Build());
  ASSERT_EQ(archive_.OpenArchive(path.c_str()), 1);
  system_.seeks = 0;
  system_.failed_seek_at = 1;
  char buffer[1];
  EXPECT_EQ(archive_.ReadEntry("a.mes", buffer), 0u);
  ExpectOnlyMessage(text::kEntrySeekFailed, "A.MES");
}

TEST_F(MesArchiveReaderTest, CompleteArchiveEndsWhereItsLastDataEnds) {
  const ArchiveBuilder with_gap = ArchiveBuilder().Add("A.MES", "aa").Gap(5).Add("B.MES", "b");
  EXPECT_EQ(MesArchive::IsCompleteArchive(dir_.Write("1", with_gap.Build()).c_str()), 1);
  EXPECT_EQ(MesArchive::IsCompleteArchive(dir_.Write("2", ArchiveBuilder().Build()).c_str()), 1);
  EXPECT_EQ(MesArchive::IsCompleteArchive(
                dir_.Write("3", ArchiveBuilder().Add("E.MES", "").Build()).c_str()),
            1);
  ArchiveBuilder trailing = with_gap;
  EXPECT_EQ(MesArchive::IsCompleteArchive(dir_.Write("4", trailing.Trailing("x").Build()).c_str()),
            0);
  ArchiveBuilder gap_at_end = with_gap;
  EXPECT_EQ(MesArchive::IsCompleteArchive(dir_.Write("5", gap_at_end.Gap(1).Build()).c_str()), 0);
  EXPECT_EQ(MesArchive::IsCompleteArchive(dir_.Path("absent").c_str()), 0);
  EXPECT_TRUE(system_.messages.empty());
}

}  // namespace
