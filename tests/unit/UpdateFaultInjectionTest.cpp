// One complete update, run again and again with file operation k failing, for
// every k the update performs: the archive must always be either the old one
// or the complete new one, or (old deleted, rename failed) the complete new
// one waiting beside it with the rename message shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/MesArchive.h"
#include "support/ArchiveBuilder.h"
#include "support/UpdaterHarness.h"
#include "platform/MessageTexts.h"

namespace {

// Allocation number g_fail_allocation_at of the archive fails.
int g_allocations = 0;
int g_fail_allocation_at = 0;

void* CountedAllocate(std::size_t size) {
  return ++g_allocations == g_fail_allocation_at ? nullptr : std::malloc(size);
}

struct Outcome {
  bool archive_exists, new_file_exists;
  std::string archive, new_file;
  bool completed = false, rename_reported = false;
  int exit_code = 0;
};

class UpdateFaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_bytes_ = archive_test::ArchiveBuilder()
                     .AddSized("SYSTEM.MES", 3000, 1)
                     .AddSized("T27C.MES", 1200, 2)
                     .AddSized("EMPTY.MES", 0, 3)
                     .AddSized("C_TALK90.MES", 700, 4)
                     .AddSized("T27C.MES", 20, 5)  // a duplicate name
                     .Build();
  }

  Outcome RunWithFailureAt(int k, UpdaterHarness* harness) {
    const MemoryFolder& game = harness->game;
    game.Write("mes.arc", old_bytes_);
    harness->SetInstallPath(game.path());
    harness->system.fail_at = k;
    Outcome outcome;
    outcome.exit_code = harness->Run();
    outcome.archive = game.Read(game.Path("mes.arc"));
    outcome.new_file = game.Read(game.Path("mes.arc_"));
    outcome.archive_exists = game.Exists(game.Path("mes.arc"));
    outcome.new_file_exists = game.Exists(game.Path("mes.arc_"));
    for (const RecordedMessage& message : harness->system.messages) {
      if (message.text == text::kUpdateCompleted) outcome.completed = true;
      if (message.text.compare(0, 12, std::string(text::kRenameFailed, 12)) == 0) {
        outcome.rename_reported = true;
      }
    }
    return outcome;
  }

  std::string old_bytes_;
};

TEST_F(UpdateFaultInjectionTest, EveryFailingFileOperationLeavesAUsableArchive) {
  UpdaterHarness clean;
  Outcome reference = RunWithFailureAt(0, &clean);
  ASSERT_TRUE(reference.completed);
  const std::string new_bytes = reference.archive;
  ASSERT_NE(new_bytes, old_bytes_);
  const int operations = clean.system.file_operations;
  ASSERT_GT(operations, 20);
  ASSERT_EQ(clean.system.copies, 1) << "the old entries lie back to back: one copy";
  EXPECT_EQ(clean.memory.OpenCount(), 0u);

  int delivered = 0;
  for (int k = 1; k <= operations; ++k) {
    UpdaterHarness harness;
    Outcome outcome = RunWithFailureAt(k, &harness);
    if (!harness.system.injected) continue;
    ++delivered;
    SCOPED_TRACE("file operation " + std::to_string(k) + " failed");

    bool old_in_place = outcome.archive_exists && outcome.archive == old_bytes_;
    bool new_in_place = outcome.archive_exists && outcome.archive == new_bytes;
    bool waiting_beside = !outcome.archive_exists && outcome.new_file == new_bytes &&
                          outcome.rename_reported;
    EXPECT_TRUE(old_in_place || new_in_place || waiting_beside);
    // A new file left behind is never a partial one.
    EXPECT_TRUE(!outcome.new_file_exists || outcome.new_file == new_bytes);
    EXPECT_EQ(outcome.completed, new_in_place);
    // Success is claimed only when it happened.
    EXPECT_EQ(outcome.exit_code, outcome.completed ? 1 : 2);
    EXPECT_EQ(harness.memory.OpenCount(), 0u) << "a handle or stream left open";
  }
  std::printf("[ fault injection ] %d of %d file operations failed in turn\n", delivered,
              operations);
  EXPECT_EQ(delivered, operations);
}

TEST_F(UpdateFaultInjectionTest, EveryFailingAllocationLeavesTheOldArchive) {
  MesArchive::SetDefaultAllocatorForTesting(CountedAllocate);
  g_allocations = 0;
  g_fail_allocation_at = 0;
  UpdaterHarness clean;
  ASSERT_TRUE(RunWithFailureAt(0, &clean).completed);
  const int allocations = g_allocations;
  // The index and the working index: no buffer per entry, no name order.
  ASSERT_EQ(allocations, 2);

  for (g_fail_allocation_at = 1; g_fail_allocation_at <= allocations; ++g_fail_allocation_at) {
    SCOPED_TRACE("allocation " + std::to_string(g_fail_allocation_at) + " failed");
    g_allocations = 0;
    UpdaterHarness harness;
    Outcome outcome = RunWithFailureAt(0, &harness);
    EXPECT_EQ(outcome.archive, old_bytes_);
    EXPECT_FALSE(outcome.new_file_exists);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_EQ(harness.system.messages.size(), 2u);  // the question and the one failure
  }
  std::printf("[ fault injection ] %d of %d allocations failed in turn\n", allocations,
              allocations);
  MesArchive::SetDefaultAllocatorForTesting(nullptr);
}

}  // namespace
