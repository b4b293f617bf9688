#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ArchiveDiff.h"
#include "archive/ArchivePacker.h"
#include "archive/EntryOrder.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "support/ArchiveBuilder.h"

namespace {

using archive::OrderLine;
using archive::OrderLineKind;

std::string Field(const std::string& bytes) { return (bytes + std::string(24, '\0')).substr(0, 24); }

TEST(EntryOrderTest, EveryNameFieldComesBackFromItsLine) {
  const std::string fields[] = {
      Field("T27C.MES"),
      Field("t09c.mes"),
      Field("#HASH"),
      Field(" LEAD "),
      Field("A\\B"),
      Field("A\x01" "B"),
      Field("\x83\x5C.MES"),          // 0x5C second byte
      Field("\x87\x90.MES"),          // a code CP932 holds twice: back as bytes
      Field("END\x83"),               // a lead byte with nothing after it
      Field(std::string("A.MES\0\xff\0\x12", 9)),  // bytes after the NUL
      std::string("ABCDEFGHIJKLMNOPQRSTUVWX"),     // no NUL at all
  };
  for (const std::string& field : fields) {
    SCOPED_TRACE(archive::EscapeNameField(field));
    const std::string line = archive::FormatOrderLine(field, " FILE ");
    OrderLine parsed;
    std::string error;
    ASSERT_EQ(archive::ParseOrderLine(line + "\r", &parsed, &error), OrderLineKind::kEntry) << error;
    EXPECT_TRUE(parsed.exact);
    EXPECT_EQ(Field(parsed.name), field);
    EXPECT_EQ(parsed.file, " FILE ");
  }
}

TEST(EntryOrderTest, LineForms) {
  OrderLine parsed;
  std::string error;
  EXPECT_EQ(archive::ParseOrderLine("  # a comment", &parsed, &error), OrderLineKind::kNone);
  EXPECT_EQ(archive::ParseOrderLine(" \r", &parsed, &error), OrderLineKind::kNone);
  ASSERT_EQ(archive::ParseOrderLine(" new.mes ", &parsed, &error), OrderLineKind::kEntry);
  EXPECT_FALSE(parsed.exact);
  EXPECT_EQ(parsed.name, "new.mes");
  EXPECT_EQ(parsed.file, "new.mes");
  EXPECT_EQ(archive::ParseOrderLine("A\\q.MES\tA.MES", &parsed, &error), OrderLineKind::kBad);
  EXPECT_NE(error.find("\\xNN"), std::string::npos);
  EXPECT_EQ(archive::ParseOrderLine("A\\x4.MES\tA.MES", &parsed, &error), OrderLineKind::kBad);
  EXPECT_EQ(archive::ParseOrderLine("\xF0\x9F\x98\x80\tA.MES", &parsed, &error), OrderLineKind::kBad);
  EXPECT_NE(error.find("CP932"), std::string::npos);
}

TEST(EntryOrderTest, ExactNamesAreStoredAsGivenRepeatsIncluded) {
  const std::string tail(std::string("A.MES\0\x7f", 7));
  std::string bytes;
  std::string error;
  ASSERT_TRUE(archive::PackArchive({{"T27C.MES__", "one", true},
                                    {"T27C.MES__", "two", true},
                                    {"t09c.mes", "low", true},
                                    {tail, "a", true}},
                                   &bytes, &error))
      << error;
  const std::vector<std::string> fields = archive::NameFields(bytes, 4);
  EXPECT_EQ(fields[1], Field("T27C.MES__"));
  EXPECT_EQ(fields[2], Field("t09c.mes"));
  EXPECT_EQ(fields[3], Field(tail));
  EXPECT_TRUE(archive::FindProblems(archive::ExamineArchive(bytes, bytes.size())).empty());

  EXPECT_FALSE(archive::PackArchive({{"T27C.MES", "x", true}, {"t27c.mes", "y"}}, &bytes, &error));
  EXPECT_NE(error.find("the same name"), std::string::npos) << error;
  EXPECT_FALSE(archive::PackArchive({{"A/B", "x", true}}, &bytes, &error));
  EXPECT_FALSE(archive::PackArchive({{std::string(25, 'A'), "x", true}}, &bytes, &error));
}

std::string Describe(const std::vector<archive::EntryDifference>& differences) {
  std::string text;
  for (const archive::EntryDifference& d : differences) {
    text += std::string(archive::DifferenceWord(d.kind)) + " " +
            (d.a ? std::to_string(d.a->position) + d.a->name : "-") + ">" +
            (d.b ? std::to_string(d.b->position) + d.b->name : "-") + (d.data_differs ? "*" : "") + ";";
  }
  return text;
}

TEST(ArchiveDiffTest, AnUpdateIsItsRenamedAndAddedEntries) {
  using archive_test::ArchiveBuilder;
  const std::string before = ArchiveBuilder()
                                 .Add("T27C.MES", "old")
                                 .Add("A.MES", "a")
                                 .Add("B.MES", "b")
                                 .Add("GONE.MES", "g")
                                 .Build();
  const std::string after = ArchiveBuilder()
                                .Add("T27C.MES__", "old")
                                .Add("B.MES", "b")
                                .Add("A.MES", "a!")
                                .Add("T27C.MES", "new")
                                .Build();
  const archive::Examination a = archive::ExamineArchive(before, before.size());
  const archive::Examination b = archive::ExamineArchive(after, after.size());
  const auto same = [&](const archive::ExaminedEntry& x, const archive::ExaminedEntry& y) {
    return before.compare(x.offset, x.size, after, y.offset, y.size) == 0;
  };
  EXPECT_EQ(Describe(archive::DiffArchives(a, b, same)),
            "moved 1A.MES>2A.MES*;moved 2B.MES>1B.MES;renamed 0T27C.MES>0T27C.MES__;"
            "added ->3T27C.MES;removed 3GONE.MES>-;");
  const auto same_reversed = [&](const archive::ExaminedEntry& x, const archive::ExaminedEntry& y) {
    return same(y, x);
  };
  EXPECT_EQ(Describe(archive::DiffArchives(b, a, same_reversed)),
            "moved 1B.MES>2B.MES;moved 2A.MES>1A.MES*;renamed 0T27C.MES__>0T27C.MES;"
            "added ->3GONE.MES;removed 3T27C.MES>-;");
  const auto same_in_a = [&](const archive::ExaminedEntry& x, const archive::ExaminedEntry& y) {
    return before.compare(x.offset, x.size, before, y.offset, y.size) == 0;
  };
  EXPECT_TRUE(archive::DiffArchives(a, a, same_in_a).empty());
}

}  // namespace
