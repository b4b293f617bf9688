// The update procedure in-process: what the player is told, with which
// caption and style, the exit code and the files left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"
#include "support/UpdaterHarness.h"
#include "platform/MessageTexts.h"
#include "updater/PatchSet.h"

namespace {

using os::MessageStyle;

class UpdaterAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    harness_.SetInstallPath(game_.path());
    archive_ = game_.Path("mes.arc");
    new_file_ = game_.Path("mes.arc_");
  }

  std::string WriteSampleArchive() {
    std::string bytes = archive_test::ArchiveBuilder()
                            .AddSized("SYSTEM.MES", 300, 1)
                            .AddSized("T27C.MES", 200, 2)
                            .AddSized("EMPTY.MES", 0, 3)
                            .AddSized("T09C.MES", 50, 4)
                            .Build();
    Write("mes.arc", bytes);
    return bytes;
  }

  void ExpectMessage(std::size_t index, const std::string& text, const std::string& caption,
                     MessageStyle style) {
    ASSERT_LT(index, system_.messages.size());
    EXPECT_EQ(system_.messages[index].text, text) << "message " << index;
    EXPECT_EQ(system_.messages[index].caption, caption) << "message " << index;
    EXPECT_EQ(system_.messages[index].style, style) << "message " << index;
  }

  void ExpectConfirmationFirst() {
    ExpectMessage(0, text::kConfirmUpdate, "unit_tests", MessageStyle::kQuestion);
  }

  void Write(const std::string& name, const std::string& bytes) { game_.Write(name, bytes); }
  std::string Read(const std::string& path) const { return game_.Read(path); }
  bool Exists(const std::string& path) const { return game_.Exists(path); }

  UpdaterHarness harness_;
  FaultySystem& system_ = harness_.system;
  const MemoryFolder& game_ = harness_.game;
  std::string archive_;
  std::string new_file_;
};

TEST_F(UpdaterAppTest, UpdatesTheArchiveAndReportsCompletion) {
  std::string old_bytes = WriteSampleArchive();
  EXPECT_EQ(harness_.Run(), 1);
  ASSERT_EQ(system_.messages.size(), 2u);
  ExpectConfirmationFirst();
  ExpectMessage(1, text::kUpdateCompleted, "unit_tests", MessageStyle::kWarning);
  EXPECT_FALSE(Exists(new_file_));

  archive_test::ParsedArchive old_archive = archive_test::ParseArchive(old_bytes);
  archive_test::ParsedArchive updated = archive_test::ParseArchive(Read(archive_));
  ASSERT_TRUE(updated.ok) << updated.error;
  ASSERT_EQ(updated.count, 4u + PatchSet::kCount);
  EXPECT_TRUE(updated.MeetsLayout());
  const char* const expected_old_names[] = {"SYSTEM.MES", "T27C.MES__", "EMPTY.MES", "T09C.MES__"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(updated.entries[i].name, expected_old_names[i]);
    EXPECT_EQ(updated.entries[i].data, old_archive.entries[i].data);
    EXPECT_EQ(updated.entries[i].offset, old_archive.entries[i].offset + 160);
  }
  for (std::uint32_t p = 0; p < PatchSet::kCount; ++p) {
    const archive_test::ParsedEntry& added = updated.entries[4 + p];
    std::string payload = ReadFileBytes(std::string(MES_RESOURCES_DIR) + "/" +
                                                      PatchSet::kEntries[p].name);
    EXPECT_EQ(added.name, PatchSet::kEntries[p].name);
    EXPECT_EQ(added.data, payload) << added.name;
  }
  EXPECT_EQ(updated.entries[4].size, 19974u);
  EXPECT_EQ(updated.entries[8].size, 3955u);
}

TEST_F(UpdaterAppTest, NoKeyOrNoAnswerTouchesNothing) {
  std::string old_bytes = WriteSampleArchive();
  UpdaterHarness no_key;
  no_key.game.Write("mes.arc", old_bytes);
  EXPECT_EQ(no_key.Run(), -1);
  ASSERT_EQ(no_key.system.messages.size(), 1u);
  EXPECT_EQ(no_key.system.messages[0].text, text::kNotInstalled);
  EXPECT_EQ(no_key.system.messages[0].caption, "unit_tests");
  EXPECT_EQ(no_key.system.messages[0].style, MessageStyle::kInformation);
  EXPECT_EQ(no_key.game.Read(archive_), old_bytes);

  system_.answer_yes = false;
  EXPECT_EQ(harness_.Run(), -1);
  ASSERT_EQ(system_.messages.size(), 1u);
  ExpectConfirmationFirst();
  EXPECT_EQ(Read(archive_), old_bytes);
  EXPECT_FALSE(Exists(new_file_));
}

TEST_F(UpdaterAppTest, InstallPathsThatDoNotFitAreNotInstalled) {
  system_.answer_yes = false;
  // 250 bytes + "\mes.arc" + "_" + NUL is exactly 260.
  const std::string fits = "C:\\" + std::string(247, 'd');
  harness_.SetInstallPath(fits);
  EXPECT_EQ(harness_.Run(), -1);
  ExpectConfirmationFirst();

  system_.messages.clear();
  harness_.SetInstallPath(fits + "d");
  EXPECT_EQ(harness_.Run(), -1);
  ExpectMessage(0, text::kNotInstalled, "unit_tests", MessageStyle::kInformation);

  // A value that fills the whole buffer with no NUL.
  system_.messages.clear();
  harness_.SetInstallPath(std::string(260, 'x'), false);
  EXPECT_EQ(harness_.Run(), -1);
  ASSERT_EQ(system_.messages.size(), 1u);
  ExpectMessage(0, text::kNotInstalled, "unit_tests", MessageStyle::kInformation);
}

TEST_F(UpdaterAppTest, MissingArchiveIsReportedWithItsPath) {
  EXPECT_EQ(harness_.Run(), 2);
  ASSERT_EQ(system_.messages.size(), 2u);
  ExpectMessage(1, archive_ + (text::kArchiveNotFound + 2), text::kCaptionArchive,
                MessageStyle::kInformation);
}

TEST_F(UpdaterAppTest, MissingPayloadIsReportedAndNothingIsWritten) {
  std::string old_bytes = WriteSampleArchive();
  harness_.RemovePayload(112);
  EXPECT_EQ(harness_.Run(), 2);
  ASSERT_EQ(system_.messages.size(), 2u);
  ExpectMessage(1, std::string("C_TALK80.MES") + (text::kEntryNotFound + 2), text::kCaptionArchive,
                MessageStyle::kInformation);
  EXPECT_EQ(Read(archive_), old_bytes);
  EXPECT_FALSE(Exists(new_file_));
}

TEST_F(UpdaterAppTest, HeldArchiveLeavesTheNewOneBesideIt) {
  std::string old_bytes = WriteSampleArchive();
  system_.fail_delete = true;
  EXPECT_EQ(harness_.Run(), 2);
  ASSERT_EQ(system_.messages.size(), 3u);
  ExpectMessage(1, "Mes.arc \x82\xcc\x8d\xed\x8f\x9c\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B 29",
                text::kCaptionSwap, MessageStyle::kWarning);
  // The rename refuses to replace the old archive: ERROR_ALREADY_EXISTS.
  ExpectMessage(2, "Mes.arc \x82\xcc\xd8\xc8\xb0\xd1\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B 183",
                text::kCaptionSwap, MessageStyle::kWarning);
  EXPECT_EQ(Read(archive_), old_bytes);
  archive_test::ParsedArchive left = archive_test::ParseArchive(Read(new_file_));
  EXPECT_TRUE(left.ok && left.MeetsLayout() && left.count == 4 + PatchSet::kCount);
}

// The program tells the backend when the swap begins: once the new archive
// is complete, right before the old one goes; a rebuild that fails (and
// deletes its own unfinished file) never begins it.
TEST_F(UpdaterAppTest, TheSwapBeginsOnlyOnceTheNewArchiveIsComplete) {
  WriteSampleArchive();
  system_.failed_stream_write_at = 1;
  EXPECT_EQ(harness_.Run(), 2);
  EXPECT_EQ(system_.swap_begins, 0);
  EXPECT_EQ(system_.deleted_before_swap, std::vector<std::string>{new_file_});

  system_.ClearFaults();
  EXPECT_EQ(harness_.Run(), 1);
  EXPECT_EQ(system_.swap_begins, 1);
  EXPECT_TRUE(system_.deleted_before_swap.empty());
  EXPECT_EQ(system_.deleted_in_swap, std::vector<std::string>{archive_});
}

// Only a leftover that is what this build writes is moved into place: a
// partial one, a complete archive without the payloads, one whose payload
// differs by a byte, or one laid out otherwise than the update writes is
// left as it was, and the archive is missing.
TEST_F(UpdaterAppTest, FinishesAnInterruptedSwapOnlyWithAPatchedLeftover) {
  archive_test::ArchiveBuilder patched_builder;
  patched_builder.AddSized("A.MES", 10, 1).AddSized("T27C.MES__", 20, 2);
  // An old entry whose data would lie over the index, as a torn index reads.
  archive_test::ArchiveBuilder torn_builder;
  torn_builder.AddPointing("A.MES", 10, 4).AddSized("T27C.MES__", 20, 2);
  std::string altered;
  for (const PatchSetEntry& entry : PatchSet::kEntries) {
    std::string payload = ReadFileBytes(std::string(MES_RESOURCES_DIR) + "/" + entry.name);
    patched_builder.Add(entry.name, payload);
    torn_builder.Add(entry.name, payload);
    altered = payload;
  }
  const std::string patched = patched_builder.Build();
  altered.back() ^= 1;
  const std::string unpatched = archive_test::ArchiveBuilder().AddSized("A.MES", 10, 1).Build();
  const std::string not_found = archive_ + (text::kArchiveNotFound + 2);
  const std::string refused[] = {
      patched.substr(0, patched.size() - 1),
      unpatched,
      patched.substr(0, patched.size() - altered.size()) + altered,
      torn_builder.Build(),
  };
  for (const std::string& leftover : refused) {
    system_.messages.clear();
    Write("mes.arc_", leftover);
    EXPECT_EQ(harness_.Run(), 2);
    ASSERT_EQ(system_.messages.size(), 2u);
    EXPECT_EQ(system_.messages[1].text, not_found);
    EXPECT_FALSE(Exists(archive_));
    EXPECT_EQ(Read(new_file_), leftover);
  }

  system_.messages.clear();
  Write("mes.arc_", patched);
  EXPECT_EQ(harness_.Run(), 1);
  ASSERT_EQ(system_.messages.size(), 2u);
  ExpectMessage(1, text::kUpdateCompleted, "unit_tests", MessageStyle::kWarning);
  EXPECT_EQ(Read(archive_), patched);
  EXPECT_FALSE(Exists(new_file_));
}

}  // namespace
