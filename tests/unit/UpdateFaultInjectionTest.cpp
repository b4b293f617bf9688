// One complete update, run again and again with file operation k failing, for
// every k the update performs: the archive must always be either the old one
// or the complete new one, or (old deleted, rename failed) the complete new
// one waiting beside it with the rename message shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"
#include "support/TestInstall.h"
#include "support/UpdaterHarness.h"
#include "updater/MessageTexts.h"

namespace {

struct Outcome {
  bool archive_exists, new_file_exists;
  std::string archive, new_file;
  bool completed = false, rename_reported = false;
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

  Outcome RunWithFailureAt(int k, UpdaterSystem* system) {
    TestInstall install;
    WriteFileBytes(install.HostPath("mes.arc"), old_bytes_);
    system->install_path = install.install_path();
    system->fail_at = k;
    EXPECT_EQ(RunUpdater(system), 1);

    Outcome outcome;
    outcome.archive = ReadFileBytes(install.HostPath("mes.arc"));
    outcome.new_file = ReadFileBytes(install.HostPath("mes.arc_"));
    outcome.archive_exists = archive_test::FileExists(install.HostPath("mes.arc"));
    outcome.new_file_exists = archive_test::FileExists(install.HostPath("mes.arc_"));
    for (const RecordedMessage& message : system->messages) {
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
  UpdaterSystem clean;
  Outcome reference = RunWithFailureAt(0, &clean);
  ASSERT_TRUE(reference.completed);
  const std::string new_bytes = reference.archive;
  ASSERT_NE(new_bytes, old_bytes_);
  const int operations = clean.file_operations;
  ASSERT_GT(operations, 20);

  int delivered = 0;
  for (int k = 1; k <= operations; ++k) {
    UpdaterSystem system;
    Outcome outcome = RunWithFailureAt(k, &system);
    if (!system.injected) continue;
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
  }
  std::printf("[ fault injection ] %d of %d file operations failed in turn\n", delivered,
              operations);
  EXPECT_EQ(delivered, operations);
}

}  // namespace
