#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/FaultySystem.h"

namespace {

using archive::ArchiveProblem;
using archive::Examination;
using archive_test::ArchiveBuilder;

Examination Examine(const std::string& bytes) { return archive::ExamineArchive(bytes, bytes.size()); }

std::vector<std::string> Flags(const Examination& examination, std::uint32_t position) {
  return archive::EntryFlags(examination.entries.at(position));
}

using Words = std::vector<std::string>;

TEST(ArchiveExaminationTest, SoundArchiveMatchesAnIndependentParse) {
  const std::string bytes = ArchiveBuilder()
                                .Add("T27C.MES", "first")
                                .Add("EMPTY.MES", "")
                                .AddSized("\x83\x5C.MES", 300, 4)  // the trail byte is 0x5C
                                .NameFiller('\x55')
                                .Build();
  const Examination examination = Examine(bytes);
  const archive_test::ParsedArchive parsed = archive_test::ParseArchive(bytes);
  ASSERT_TRUE(examination.readable) << examination.error;
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(examination.entries.size(), parsed.entries.size());
  for (std::size_t i = 0; i < parsed.entries.size(); ++i) {
    const archive::ExaminedEntry& entry = examination.entries[i];
    EXPECT_EQ(entry.position, i);
    EXPECT_EQ(entry.name, parsed.entries[i].name);
    EXPECT_EQ(entry.size, parsed.entries[i].size);
    EXPECT_EQ(entry.offset, parsed.entries[i].offset);
    EXPECT_TRUE(archive::EntryFlags(entry).empty()) << i;
  }
  EXPECT_EQ(examination.trailing_bytes, 0u);
  EXPECT_TRUE(archive::FindProblems(examination).empty());
  EXPECT_TRUE(archive::ReaderAccepts(examination));
}

TEST(ArchiveExaminationTest, FlagsDescribeEachEntry) {
  const std::string bytes = ArchiveBuilder()
                                .Add("T27C.MES", "new")
                                .Add("T27C.MES__", "old")
                                .Add("T27C.MES", "again")
                                .Add("lower.mes", "x")
                                .Add("\x82\x61.MES", "y")  // a double-byte character ending in 'a'
                                .Add("ABCDEFGHIJKLMNOPQRSTUVWX", "z")
                                .AddPointing("FAR.MES", 10, 0x7FFFFFFF)
                                .Build();
  const Examination examination = Examine(bytes);
  ASSERT_TRUE(examination.readable) << examination.error;
  EXPECT_EQ(Flags(examination, 0), Words{});
  EXPECT_EQ(Flags(examination, 1), Words{"superseded"});
  EXPECT_EQ(Flags(examination, 2), Words{"duplicate"});
  EXPECT_EQ(examination.entries[2].first_with_name, 0u);
  EXPECT_EQ(Flags(examination, 3), Words{"lowercase"});
  // The updater's lookup upper-cases every byte, the second of a pair too.
  EXPECT_EQ(Flags(examination, 4), Words{"lowercase"});
  EXPECT_EQ(Flags(examination, 5), Words{"unterminated"});
  EXPECT_EQ(examination.entries[5].name, "ABCDEFGHIJKLMNOPQRSTUVWX");
  EXPECT_EQ(Flags(examination, 6), (Words{"out-of-bounds", "misplaced"}));
  EXPECT_FALSE(archive::ReaderAccepts(examination));
}

TEST(ArchiveExaminationTest, EndsBeyondThirtyTwoBitsAreOverflowsNotWrappedOffsets) {
  // Computed in 32 bits, 0xFFFFFFF0 + 0x20 would be 0x10 and look inside the file.
  const std::string bytes =
      ArchiveBuilder().Add("A.MES", "data").AddPointing("WRAP.MES", 0x20, 0xFFFFFFF0u).Build();
  const Examination examination = Examine(bytes);
  ASSERT_TRUE(examination.readable);
  const archive::ExaminedEntry& wrap = examination.entries[1];
  EXPECT_TRUE(wrap.wraps);
  EXPECT_TRUE(wrap.out_of_bounds);
  EXPECT_EQ(wrap.end(), 0x100000010u);
  const std::vector<ArchiveProblem> problems = archive::FindProblems(examination);
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems[0].position, 1u);
  EXPECT_NE(problems[0].message.find("overflows 32 bits"), std::string::npos);
}

TEST(ArchiveExaminationTest, ReaderProblemsComeFirstAndNameTheirEntry) {
  const std::string bytes = ArchiveBuilder()
                                .Add("GOOD.MES", "1234")
                                .Gap(2)
                                .Add("NONULNAMEFILLSALL24BYTES", "ab")
                                .AddPointing("PAST.MES", 100, 40)
                                .Build();
  const std::vector<ArchiveProblem> problems = archive::FindProblems(Examine(bytes));
  ASSERT_EQ(problems.size(), 4u);
  // Reader checks, in index order...
  EXPECT_EQ(problems[0].position, 1u);
  EXPECT_EQ(problems[0].name, "NONULNAMEFILLSALL24BYTES");
  EXPECT_NE(problems[0].message.find("no NUL"), std::string::npos);
  EXPECT_EQ(problems[1].position, 2u);
  EXPECT_EQ(problems[1].name, "PAST.MES");
  EXPECT_NE(problems[1].message.find("past the end of the file"), std::string::npos);
  // ...then the layout: the gap, and the entry that points back into earlier data.
  EXPECT_EQ(problems[2].position, 1u);
  EXPECT_NE(problems[2].message.find("a gap of 2 bytes"), std::string::npos);
  EXPECT_EQ(problems[3].position, 2u);
  EXPECT_NE(problems[3].message.find("overlaps"), std::string::npos);
  for (const ArchiveProblem& problem : problems) EXPECT_FALSE(problem.message.empty());
}

TEST(ArchiveExaminationTest, LayoutRuleAloneDoesNotStopTheReader) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<bool> misplaced;
    std::uint64_t trailing;
  };
  const Case cases[] = {
      {"gap before the second entry", ArchiveBuilder().Add("A", "aa").Gap(3).Add("B", "bb").Build(),
       {false, true}, 0},
      {"bytes after the data", ArchiveBuilder().Add("A", "aa").Trailing("xyz").Build(), {false}, 3},
      {"shared data", ArchiveBuilder().Add("A", "aa").AddPointing("B", 2, 4 + 2 * 32).Build(),
       {false, true}, 0},
      // Everything after the only entry's data counts, the index's second half too.
      {"first entry inside the index", ArchiveBuilder().AddPointing("A", 4, 0).Trailing("zz").Build(),
       {true}, 34},
      {"nothing but a count", ArchiveBuilder().Build(), {}, 0},
      {"a count and stray bytes", ArchiveBuilder().Trailing("q").Build(), {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Examination examination = Examine(c.bytes);
    ASSERT_TRUE(examination.readable);
    ASSERT_EQ(examination.entries.size(), c.misplaced.size());
    for (std::size_t i = 0; i < c.misplaced.size(); ++i) {
      EXPECT_EQ(examination.entries[i].misplaced, c.misplaced[i]) << i;
    }
    EXPECT_EQ(examination.trailing_bytes, c.trailing);
    EXPECT_TRUE(archive::ReaderAccepts(examination));
    const bool sound = c.trailing == 0 &&
                       std::find(c.misplaced.begin(), c.misplaced.end(), true) == c.misplaced.end();
    EXPECT_EQ(archive::FindProblems(examination).empty(), sound);
  }
}

TEST(ArchiveExaminationTest, NoIndexToReadIsUnreadable) {
  const std::string two_entries = ArchiveBuilder().Add("A", "a").Add("B", "b").Build();
  struct Case {
    const char* what;
    std::string head;
    std::uint64_t file_size;
    const char* says;
  };
  const Case cases[] = {
      {"empty file", "", 0, "too short"},
      {"three bytes", std::string("\x01\x00\x00", 3), 3, "too short"},
      {"count beyond the file", ArchiveBuilder().Add("A", "a").Count(3).Build(), 0, "needs"},
      {"count of all ones", std::string("\xFF\xFF\xFF\xFF", 4) + std::string(100, '\0'), 0, "needs"},
      {"head cut short by the caller", two_entries.substr(0, 20), two_entries.size(), "could not be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint64_t size = c.file_size != 0 || c.head.empty() ? c.file_size : c.head.size();
    const Examination examination = archive::ExamineArchive(c.head, size);
    EXPECT_FALSE(examination.readable);
    EXPECT_NE(examination.error.find(c.says), std::string::npos) << examination.error;
    EXPECT_TRUE(examination.entries.empty());
    EXPECT_FALSE(archive::ReaderAccepts(examination));
    ASSERT_EQ(archive::FindProblems(examination).size(), 1u);
  }
}

TEST(ArchiveExaminationTest, ReaderAcceptsWhatMesArchiveOpens) {
  // The lenient reading must not drift from the updater's own reader.
  const std::string archives[] = {
      ArchiveBuilder().Add("A.MES", "1").Add("A.MES", "2").Build(),
      ArchiveBuilder().Add("A.MES", "1").Gap(5).Add("B.MES", "2").Trailing("t").Build(),
      ArchiveBuilder().Add("NAMEWITHOUTANYNULATALL!!", "x").Build(),
      // The file is 69 bytes: data may end exactly there, not one byte later.
      ArchiveBuilder().Add("A.MES", "1").AddPointing("B.MES", 1, 68).Build(),
      ArchiveBuilder().Add("A.MES", "1").AddPointing("B.MES", 3, 67).Build(),
      ArchiveBuilder().Add("A.MES", "1").AddPointing("C.MES", 0x20, 0xFFFFFFF0u).Build(),
      ArchiveBuilder().Add("A.MES", "1").Count(2).Build(),
      ArchiveBuilder().Build(),
  };
  FaultySystem system;
  ScopedSystem scoped(&system);
  TempDir dir;
  int index = 0;
  for (const std::string& bytes : archives) {
    SCOPED_TRACE(index);
    const std::string path = dir.Write("mes" + std::to_string(index++) + ".arc", bytes);
    MesArchive reader;
    EXPECT_EQ(archive::ReaderAccepts(Examine(bytes)), reader.OpenArchive(path.c_str()) == 1);
  }
}

TEST(ArchiveExaminationTest, FindFirstSeesWhatTheLookupSees) {
  const Examination examination = Examine(ArchiveBuilder()
                                            .Add("T27C.MES__", "old")
                                            .Add("T27C.MES", "new")
                                            .Add("T27C.MES", "newer")
                                            .Add("t09c.mes", "low")
                                            .Build());
  const archive::ExaminedEntry* found = archive::FindFirst(examination, "T27C.MES");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->position, 1u);
  EXPECT_EQ(archive::FindFirst(examination, "T09C.MES"), nullptr);
  EXPECT_EQ(archive::FindFirst(examination, "T27C.MES_"), nullptr);
}

TEST(ArchiveExaminationTest, FileNamesSafeOnBothPlatforms) {
  for (const char* accepted : {"T27C.MES", "A", "\x83\x5C.MES", "\x83\x7C", ".HIDDEN", "CONSOLE.MES",
                               "X.Y.Z"}) {
    EXPECT_EQ(archive::FileNameProblem(accepted), "") << accepted;
  }
  const std::string refused[] = {"",      ".",      "..",        "A/B",      "A\\B",  "C:",
                                 "*.MES", "WHAT?",  "\"Q\"",     "<A>",      "A|B",   "TAB\tX",
                                 "DEL\x7F", "END.", "END ",      "CON",      "nul.mes", "COM1.MES",
                                 "LPT9",  "\x83",   "\x83\x0A",  std::string("A\0B", 3),
                                 // not CP932: what extract could not name a file after
                                 "\x80", "\xA0.MES", "\xFD", "\xFF", "\x85\x40.MES"};
  for (const std::string& name : refused) {
    EXPECT_NE(archive::FileNameProblem(name), "") << name;
  }
}

TEST(ArchiveExaminationTest, DuplicatesIgnoreAsciiCaseAndCheckReportsUnusableNames) {
  const std::string bytes = ArchiveBuilder()
                                .Add("a.mes", "1")
                                .Add("\x83\x61", "2")
                                .Add("A.MES", "3")
                                .Add("\x83\x41", "4")  // another character, not another case
                                .Add("\x85\x40", "5")
                                .Build();
  const Examination examination = Examine(bytes);
  EXPECT_TRUE(examination.entries[2].duplicate);
  EXPECT_EQ(examination.entries[2].first_with_name, 0u);
  EXPECT_FALSE(examination.entries[3].duplicate);
  const std::vector<ArchiveProblem> problems = archive::FindProblems(examination);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].position, 4u);
  EXPECT_EQ(problems[0].message, "the name is not valid CP932: extract refuses it");
}

TEST(ArchiveExaminationTest, UpperCasingKeepsDoubleByteCharacters) {
  EXPECT_EQ(archive::UpperCaseCp932Aware("t27c.mes"), "T27C.MES");
  EXPECT_EQ(archive::UpperCaseCp932Aware("a\x82\x61z"), "A\x82\x61Z");
  EXPECT_EQ(archive::UpperCaseCp932Aware("\xE0\x70q"), "\xE0\x70Q");
  EXPECT_EQ(archive::UpperCaseCp932Aware("\xB1z"), "\xB1Z");  // half-width katakana is one byte
}

}  // namespace
