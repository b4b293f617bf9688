#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/ArchiveMessages.h"
#include "support/FaultySystem.h"
#include "support/MemoryFolder.h"
#include "platform/MessageTexts.h"

namespace {

using archive_test::ArchiveBuilder;
using archive_test::ParseArchive;
using archive_test::ParsedArchive;
using archive_test::PatternData;

using NamedData = std::vector<std::pair<std::string, std::string>>;


bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// What a rebuild must produce, worked out without the archive code.
NamedData Expected(NamedData old, const NamedData& patch) {
  for (auto& entry : old) {
    for (const auto& added : patch) {
      if (SameIgnoringAsciiCase(entry.first, added.first)) entry.first += "__";
    }
  }
  old.insert(old.end(), patch.begin(), patch.end());
  return old;
}

NamedData Contents(const ParsedArchive& parsed) {
  NamedData contents;
  for (const auto& entry : parsed.entries) contents.emplace_back(entry.name, entry.data);
  return contents;
}

NamedData PatchSet(std::uint32_t seed) {
  return {{"T27C.MES", PatternData(700, seed)},
          {"C_TALK00.MES", PatternData(33, seed + 1)},
          {"NEW1.MES", PatternData(1, seed + 2)},
          {"NEW2.MES", ""},
          {"NEW3.MES", PatternData(4096, seed + 3)}};
}

std::vector<const char*> Names(const NamedData& patch) {
  std::vector<const char*> names;
  for (const auto& entry : patch) names.push_back(entry.first.c_str());
  return names;
}

// Open, load, append: everything before WriteArchive.
bool Prepare(MesArchive* archive, const std::string& path, const NamedData& patch) {
  const std::vector<const char*> names = Names(patch);
  if (archive->OpenArchive(path.c_str()) != 1) return false;
  const std::uint32_t n = static_cast<std::uint32_t>(patch.size());
  if (archive->LoadIndexForRewrite(path.c_str(), n, names.data()) != 1) return false;
  for (const auto& entry : patch) {
    const std::uint32_t size = static_cast<std::uint32_t>(entry.second.size());
    if (archive->AppendEntry(entry.first.c_str(), size, entry.second.data()) != 1) return false;
  }
  return true;
}

std::string IndexBytes(const MesArchive& archive) {
  return std::string(reinterpret_cast<const char*>(archive.working_index()),
                     archive.count() * sizeof(ArchiveEntry));
}

int g_allocations = 0;
int g_fail_allocation_at = 0;
void* FailingAllocate(std::size_t size) {
  ++g_allocations;
  if (g_allocations == g_fail_allocation_at) return nullptr;
  return std::malloc(size);
}

class MesArchiveRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_allocations = 0;
    g_fail_allocation_at = 0;
  }

  void ExpectOnlyMessage(const char* format, const std::string& argument) {
    ExpectOnlyArchiveMessage(system_, format, argument);
  }

  backends::memory::MemorySystem memory_;
  FaultySystem system_{memory_};
  ScopedSystem scoped_{&system_};
  MemoryFolder dir_{memory_, "C:\\Test"};
};

TEST_F(MesArchiveRebuildTest, ShiftsOldOffsetsAndAppendsAfterTheOldData) {
  const NamedData old = {{"A.MES", PatternData(10, 1)},
                         {"T27C.MES", PatternData(20, 2)},
                         {"c_talk00.mes", PatternData(30, 3)},
                         {"B.MES", PatternData(5, 4)}};
  ArchiveBuilder builder;
  for (const auto& entry : old) builder.Add(entry.first, entry.second);
  const std::string path = dir_.Write("mes.arc", builder.NameFiller('\x7F').Build());
  const NamedData patch = PatchSet(10);
  const std::vector<const char*> names = Names(patch);

  MesArchive archive;
  ASSERT_EQ(archive.OpenArchive(path.c_str()), 1);
  ASSERT_EQ(archive.LoadIndexForRewrite(path.c_str(), 5, names.data()), 1);
  ASSERT_EQ(archive.count(), 4u);
  const char* marked[] = {"A.MES", "T27C.MES__", "c_talk00.mes__", "B.MES"};
  for (std::uint32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(old[i].first);
    EXPECT_STREQ(archive.working_index()[i].name, marked[i]);
    EXPECT_STREQ(archive.as_read_index()[i].name, old[i].first.c_str());
    EXPECT_EQ(archive.working_index()[i].offset, archive.as_read_index()[i].offset + 160);
    EXPECT_EQ(archive.working_index()[i].size, old[i].second.size());
  }

  for (const auto& entry : patch) {
    ASSERT_EQ(
        archive.AppendEntry(entry.first.c_str(), static_cast<std::uint32_t>(entry.second.size()),
                            entry.second.data()),
        1);
  }
  EXPECT_EQ(archive.count(), 9u);
  const ArchiveEntry& last_old = archive.working_index()[3];
  EXPECT_EQ(archive.working_index()[4].offset, last_old.offset + last_old.size);

  const std::string before = IndexBytes(archive);
  const std::string new_path = path + "_";
  EXPECT_EQ(archive.WriteArchive(new_path.c_str(), 5), 1);
  EXPECT_EQ(IndexBytes(archive), before) << "the index in memory must be unscrambled again";
  EXPECT_EQ(archive.ReleaseArchive(), 1);
  EXPECT_TRUE(system_.messages.empty());

  const ParsedArchive rebuilt = ParseArchive(dir_.Read(new_path));
  ASSERT_TRUE(rebuilt.ok) << rebuilt.error;
  EXPECT_EQ(rebuilt.count, 9u);
  EXPECT_TRUE(rebuilt.MeetsLayout());
  EXPECT_EQ(Contents(rebuilt), Expected(old, patch));
  EXPECT_EQ(MesArchive::IsCompleteArchive(new_path.c_str()), 1);
}

TEST_F(MesArchiveRebuildTest, EntriesAppendedToAnEmptyArchiveFollowTheNewIndex) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Build());
  const NamedData patch = PatchSet(1);
  MesArchive archive;
  ASSERT_TRUE(Prepare(&archive, path, patch));
  EXPECT_EQ(archive.working_index()[0].offset, 4u + 32u * 5u);
  EXPECT_EQ(archive.working_index()[1].offset, 4u + 32u * 5u + 700u);
  ASSERT_EQ(archive.WriteArchive((path + "_").c_str(), 5), 1);
  const ParsedArchive rebuilt = ParseArchive(dir_.Read(path + "_"));
  EXPECT_TRUE(rebuilt.MeetsLayout());
  EXPECT_EQ(Contents(rebuilt), patch);
}

TEST_F(MesArchiveRebuildTest, RepeatedRebuildsKeepEveryEntrysOwnData) {
  // A lower-case name and an empty entry must survive too: old entries are
  // copied by position, not looked up by name.
  NamedData model = {{"T27C.MES", PatternData(100, 1)},
                     {"lower.mes", PatternData(50, 2)},
                     {"EMPTY.MES", ""},
                     {"C_TALK00.MES", PatternData(80, 3)}};
  ArchiveBuilder builder;
  for (const auto& entry : model) builder.Add(entry.first, entry.second);
  std::string path = dir_.Write("mes.arc", builder.Build());

  for (std::uint32_t run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const NamedData patch = PatchSet(run * 100);
    MesArchive archive;
    ASSERT_TRUE(Prepare(&archive, path, patch));
    const std::string new_path = dir_.Path("run" + std::to_string(run) + ".arc");
    ASSERT_EQ(archive.WriteArchive(new_path.c_str(), 5), 1);
    model = Expected(model, patch);

    const ParsedArchive rebuilt = ParseArchive(dir_.Read(new_path));
    ASSERT_TRUE(rebuilt.ok) << rebuilt.error;
    EXPECT_TRUE(rebuilt.MeetsLayout());
    EXPECT_EQ(Contents(rebuilt), model);
    path = new_path;
  }
  int marked = 0;
  for (const auto& entry : model) marked += entry.first == "T27C.MES__";
  EXPECT_EQ(marked, 3) << "the third run must have met names that repeat";
  EXPECT_TRUE(system_.messages.empty());
}

TEST_F(MesArchiveRebuildTest, IrregularOldLayoutsComeOutRegular) {
  const std::string shared = PatternData(64, 9);
  const std::string path =
      dir_.Write("mes.arc", ArchiveBuilder()
                                .Gap(7)
                                .Add("A.MES", shared)
                                .AddPointing("SHARED.MES", 16, 4 + 4 * 32 + 7 + 8)
                                .AddPointing("ZERO.MES", 0, 0)
                                .Gap(3)
                                .Add("B.MES", PatternData(9, 4))
                                .Trailing("trailing bytes")
                                .Build());
  const ParsedArchive old = ParseArchive(dir_.Read(path));
  ASSERT_TRUE(old.ok) << old.error;
  ASSERT_FALSE(old.MeetsLayout());

  const NamedData patch = PatchSet(5);
  MesArchive archive;
  ASSERT_TRUE(Prepare(&archive, path, patch));
  const std::string new_path = path + "_";
  ASSERT_EQ(archive.WriteArchive(new_path.c_str(), 5), 1);
  const ParsedArchive rebuilt = ParseArchive(dir_.Read(new_path));
  ASSERT_TRUE(rebuilt.ok) << rebuilt.error;
  EXPECT_TRUE(rebuilt.MeetsLayout());
  EXPECT_EQ(Contents(rebuilt), Expected(Contents(old), patch));
  EXPECT_EQ(rebuilt.Find("SHARED.MES")->data, shared.substr(8, 16));
  EXPECT_EQ(MesArchive::IsCompleteArchive(new_path.c_str()), 1);

  // Three runs (A, the shared data, B after a gap), read once each: a failed
  // read names the entry of its own run.
  for (const auto& fault : {std::make_pair(2, "SHARED.MES"), std::make_pair(3, "B.MES")}) {
    SCOPED_TRACE(fault.second);
    system_.ClearFaults();
    ASSERT_TRUE(Prepare(&archive, path, patch));
    system_.reads = 0;
    system_.failed_read_at = fault.first;
    EXPECT_EQ(archive.WriteArchive(new_path.c_str(), 5), 0);
    EXPECT_FALSE(dir_.Exists(new_path));
    ExpectOnlyMessage(text::kEntryReadFailed, fault.second);
  }
}

TEST_F(MesArchiveRebuildTest, WhatCannotBeStoredIsRefused) {
  const std::string name21 = "ABCDEFGHIJKLMNOPQ.MES";
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add(name21, "x").Build());
  MesArchive archive;
  ASSERT_EQ(archive.OpenArchive(path.c_str()), 1);

  const std::string name22 = "ABCDEFGHIJKLMNOPQR.MES";
  const char* too_long[] = {"A.MES", name22.c_str()};
  EXPECT_EQ(archive.LoadIndexForRewrite(path.c_str(), 2, too_long), 0);
  EXPECT_EQ(archive.LoadIndexForRewrite(path.c_str(), 1, nullptr), 0);
  EXPECT_EQ(archive.working_index(), nullptr);

  // A 21-byte name takes its mark and still ends with a NUL inside the field.
  const std::string lower21 = "abcdefghijklmnopq.mes";
  const char* names[] = {lower21.c_str(), "B.MES"};
  ASSERT_EQ(archive.LoadIndexForRewrite(path.c_str(), 2, names), 1);
  EXPECT_EQ(std::string(archive.working_index()[0].name, kEntryNameSize),
            name21 + "__" + std::string(1, '\0'));

  const std::string name23 = "ABCDEFGHIJKLMNOPQRS.MES";
  const std::string name24 = "ABCDEFGHIJKLMNOPQRST.MES";
  EXPECT_EQ(archive.AppendEntry(name24.c_str(), 1, "y"), 0);
  EXPECT_EQ(archive.AppendEntry(name23.c_str(), 1, "y"), 1);
  EXPECT_EQ(archive.AppendEntry("B.MES", 1, "z"), 1);
  EXPECT_EQ(archive.AppendEntry("C.MES", 1, "w"), 0) << "only two were announced";
  EXPECT_EQ(archive.count(), 3u);
  EXPECT_STREQ(archive.working_index()[1].name, name23.c_str());
  EXPECT_TRUE(system_.messages.empty());

  // n must be what was appended, or the old and new entries would be confused.
  EXPECT_EQ(archive.WriteArchive((path + "_").c_str(), 3), 0);
  ExpectOnlyMessage(text::kWriteFailed, path + "_");
  EXPECT_FALSE(dir_.Exists(path + "_"));

  // Offsets are 32-bit and the reader cannot learn a size of all ones: a new
  // archive of 0xFFFFFFFF bytes is refused before anything is written (the
  // payload is never read).
  system_.messages.clear();
  MesArchive too_big;
  const char* big[] = {"BIG.MES"};
  ASSERT_EQ(too_big.OpenArchive(path.c_str()), 1);
  ASSERT_EQ(too_big.LoadIndexForRewrite(path.c_str(), 1, big), 1);
  ASSERT_EQ(too_big.AppendEntry("BIG.MES", 0xFFFFFFFFu - 4 - 64 - 1, "b"), 1);
  EXPECT_EQ(too_big.WriteArchive((path + "_").c_str(), 1), 0);
  ExpectOnlyMessage(text::kWriteFailed, path + "_");
  EXPECT_FALSE(dir_.Exists(path + "_"));
}

TEST_F(MesArchiveRebuildTest, LoadIndexForRewriteKeepsNothingAfterAFailure) {
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder().Add("A.MES", "a").Build());
  const char* names[] = {"A.MES"};
  struct LoadCase {
    int fail_allocation_at;  // after OpenArchive's one allocation
    int short_read_at;       // after OpenArchive's two reads
    const char* format;
  };
  const LoadCase cases[] = {
      {1, 0, text::kIndexAllocFailed},
      {0, 1, text::kCountReadFailed},
      {0, 2, text::kIndexReadFailed},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(std::string(c.format == text::kIndexAllocFailed ? "allocation " : "read ") +
                 std::to_string(c.fail_allocation_at + c.short_read_at));
    system_.messages.clear();
    MesArchive archive;
    archive.SetAllocatorForTesting(FailingAllocate);
    ASSERT_EQ(archive.OpenArchive(path.c_str()), 1);
    g_allocations = 0;
    g_fail_allocation_at = c.fail_allocation_at;
    system_.reads = 0;
    system_.short_read_at = c.short_read_at;
    EXPECT_EQ(archive.LoadIndexForRewrite(path.c_str(), 1, names), 0);
    EXPECT_EQ(archive.working_index(), nullptr);
    EXPECT_EQ(archive.as_read_index(), nullptr);
    EXPECT_EQ(archive.AppendEntry("A.MES", 1, "b"), 0);
    ExpectOnlyMessage(c.format, path);
    system_.short_read_at = 0;
    g_fail_allocation_at = 0;
  }
}

struct WriteFault {
  const char* what;
  void (*arrange)(FaultySystem*);
  const char* format;
  const char* entry;  // the message's argument, or nullptr for the new path
};

TEST_F(MesArchiveRebuildTest, EveryWriteFailureLeavesNoFileAndOneMessage) {
  // Stream writes: 1 count, 2 index, 3 A.MES and B.MES (back to back, one
  // copy, one chunk), 4..7 the non-empty payloads. After loading: one seek,
  // to A.MES, and one read of A.MES and B.MES (EMPTY.MES holds no bytes).
  const std::string path = dir_.Write("mes.arc", ArchiveBuilder()
                                                     .AddSized("A.MES", 10, 1)
                                                     .Add("EMPTY.MES", "")
                                                     .AddSized("B.MES", 333, 2)
                                                     .Build());
  const WriteFault faults[] = {
      {"create", [](FaultySystem* s) { s->fail_stream_create = true; }, text::kWriteFailed,
       nullptr},
      {"count", [](FaultySystem* s) { s->failed_stream_write_at = 1; }, text::kWriteFailed,
       nullptr},
      {"index", [](FaultySystem* s) { s->failed_stream_write_at = 2; }, text::kWriteFailed,
       nullptr},
      {"old data", [](FaultySystem* s) { s->failed_stream_write_at = 3; }, text::kWriteFailed,
       nullptr},
      {"payload", [](FaultySystem* s) { s->failed_stream_write_at = 7; }, text::kWriteFailed,
       nullptr},
      {"sync", [](FaultySystem* s) { s->fail_stream_sync = true; }, text::kWriteFailed, nullptr},
      {"close", [](FaultySystem* s) { s->fail_stream_close = true; }, text::kWriteFailed, nullptr},
      // The copy names the entry holding its first missing byte.
      {"copy buffer",
       [](FaultySystem* s) {
         s->failed_copy_at = 1;
         s->copy_failure = os::CopyResult::kNoMemory;
         s->copy_failure_after = 10;
       },
       text::kEntryAllocFailed, "B.MES"},
      {"copy read",
       [](FaultySystem* s) {
         s->failed_copy_at = 1;
         s->copy_failure_after = 9;
       },
       text::kEntryReadFailed, "A.MES"},
      {"copy write",
       [](FaultySystem* s) {
         s->failed_copy_at = 1;
         s->copy_failure = os::CopyResult::kWriteFailed;
         s->copy_failure_after = 100;
       },
       text::kWriteFailed, nullptr},
      {"short read", [](FaultySystem* s) { s->short_read_at = 1; }, text::kEntryReadFailed,
       "B.MES"},
      {"failed read", [](FaultySystem* s) { s->failed_read_at = 1; }, text::kEntryReadFailed,
       "A.MES"},
      {"seek", [](FaultySystem* s) { s->failed_seek_at = 1; }, text::kEntryReadFailed, "A.MES"},
  };
  const std::string new_path = path + "_";
  const NamedData patch = PatchSet(1);  // the payloads must outlive WriteArchive
  for (const WriteFault& fault : faults) {
    SCOPED_TRACE(fault.what);
    system_.ClearFaults();
    MesArchive archive;
    archive.SetAllocatorForTesting(FailingAllocate);
    ASSERT_TRUE(Prepare(&archive, path, patch));
    const std::string before = IndexBytes(archive);
    system_.reads = system_.seeks = 0;
    fault.arrange(&system_);

    EXPECT_EQ(archive.WriteArchive(new_path.c_str(), 5), 0);
    EXPECT_FALSE(dir_.Exists(new_path));
    EXPECT_EQ(IndexBytes(archive), before);
    ExpectOnlyMessage(fault.format, fault.entry ? fault.entry : new_path);
  }
  system_.ClearFaults();

  // The same archive and patch rebuild cleanly once nothing breaks.
  MesArchive archive;
  ASSERT_TRUE(Prepare(&archive, path, patch));
  EXPECT_EQ(archive.WriteArchive(new_path.c_str(), 5), 1);
  EXPECT_TRUE(ParseArchive(dir_.Read(new_path)).MeetsLayout());
}

}  // namespace
