#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "archive/ArchivePacker.h"
#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/FaultySystem.h"

namespace {

using archive::PackEntry;
using archive_test::ParseArchive;
using archive_test::ParsedArchive;
using archive_test::PatternData;

TEST(ArchivePackerTest, PackedArchiveParsesBackInTheGivenOrder) {
  const std::string big = PatternData(5000, 1);
  const std::string small = PatternData(7, 2);
  const std::vector<PackEntry> entries = {
      {"t27c.mes", big},
      {"EMPTY.MES", ""},
      {"\x83\x5C.mes", small},  // the 0x5C second byte must survive upper-casing
      {"A.MES", "a"},
  };
  std::string bytes;
  std::string error;
  ASSERT_TRUE(archive::PackArchive(entries, &bytes, &error)) << error;

  const ParsedArchive parsed = ParseArchive(bytes);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.MeetsLayout());
  ASSERT_EQ(parsed.count, 4u);
  const char* const names[] = {"T27C.MES", "EMPTY.MES", "\x83\x5C.MES", "A.MES"};
  const std::string data[] = {big, "", small, "a"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(parsed.entries[i].name, names[i]);
    EXPECT_EQ(parsed.entries[i].data, data[i]);
  }
  EXPECT_TRUE(archive::FindProblems(archive::ExamineArchive(bytes, bytes.size())).empty());
}

TEST(ArchivePackerTest, NoEntriesIsACountOfZero) {
  std::string bytes = "stale";
  std::string error;
  ASSERT_TRUE(archive::PackArchive({}, &bytes, &error));
  EXPECT_EQ(bytes, std::string(4, '\0'));
  EXPECT_TRUE(ParseArchive(bytes).MeetsLayout());
}

TEST(ArchivePackerTest, TheUpdatersReaderFindsEveryPackedEntry) {
  const std::string first = PatternData(100, 3);
  const std::string second = PatternData(33, 4);
  std::string bytes;
  std::string error;
  ASSERT_TRUE(archive::PackArchive({{"c_talk00.mes", first}, {"T09C.MES", second}}, &bytes, &error));

  FaultySystem system;
  ScopedSystem scoped(&system);
  TempDir dir;
  const std::string path = dir.Write("mes.arc", bytes);
  EXPECT_EQ(MesArchive::IsCompleteArchive(path.c_str()), 1);
  MesArchive reader;
  ASSERT_EQ(reader.OpenArchive(path.c_str()), 1);
  std::string buffer(100, '\0');
  EXPECT_EQ(reader.ReadEntry("C_TALK00.MES", &buffer[0]), 100u);
  EXPECT_EQ(buffer, first);
  EXPECT_EQ(reader.ReadEntry("t09c.mes", &buffer[0]), 33u);
  EXPECT_EQ(buffer.substr(0, 33), second);
  EXPECT_TRUE(system.messages.empty());
}

TEST(ArchivePackerTest, NamesThatCannotBeStoredAreRefused) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    const char* says;
  };
  const Case cases[] = {
      {"empty name", {""}, "empty"},
      {"24 bytes", {"ABCDEFGHIJKLMNOPQRST.MES"}, "24 bytes"},
      {"equal once upper-cased", {"T27C.MES", "B.MES", "t27c.mes"}, "same name"},
      {"lower-case second byte", {"\x82\x61.MES"}, "lower-case"},
      {"separator", {"DIR/A.MES"}, "'/'"},
      {"control byte", {"A\x01.MES"}, "control"},
      {"device name", {"aux.mes"}, "device"},
      {"NUL inside", {std::string("A\0B", 3)}, "NUL"},
      {"unassigned double-byte code", {"\x85\x40.MES"}, "not valid CP932"},
      {"single byte only Windows decodes", {"A\xA0.MES"}, "not valid CP932"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PackEntry> entries;
    for (const std::string& name : c.names) entries.push_back({name, "data"});
    std::string bytes = "untouched";
    std::string error;
    EXPECT_FALSE(archive::PackArchive(entries, &bytes, &error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(error.compare(0, c.names.back().size(), c.names.back()), 0) << error;
    EXPECT_EQ(bytes, "untouched");
  }
}

TEST(ArchivePackerTest, TwentyThreeBytesFitAfterUpperCasing) {
  EXPECT_EQ(archive::StoredNameProblem("abcdefghijklmnopqrs.mes"), "");
  std::string bytes;
  std::string error;
  ASSERT_TRUE(archive::PackArchive({{"abcdefghijklmnopqrs.mes", "x"}}, &bytes, &error)) << error;
  const ParsedArchive parsed = ParseArchive(bytes);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.entries[0].name, "ABCDEFGHIJKLMNOPQRS.MES");
}

}  // namespace
