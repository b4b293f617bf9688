#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/ArchiveFormat.h"

namespace {

ArchiveEntry MakeEntry(const char* name, std::uint32_t size, std::uint32_t offset,
                       unsigned char filler) {
  ArchiveEntry entry;
  std::memset(entry.name, filler, sizeof entry.name);
  std::memcpy(entry.name, name, std::strlen(name) + 1);
  entry.size = size;
  entry.offset = offset;
  return entry;
}

TEST(ArchiveFormatTest, ScramblesOneEntryToKnownBytes) {
  // Worked out by hand: each name byte ^ 0x6B, size ^ 0x2C9E4A17, offset ^ 0x4B1D7E63.
  ArchiveEntry entry = MakeEntry("T27C.MES", 19974, 0xA4, 0xAA);
  ScrambleEntry(&entry);
  const unsigned char expected[32] = {
      0x3F, 0x59, 0x5C, 0x28, 0x45, 0x26, 0x2E, 0x38, 0x6B, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1,
      0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0x11, 0x04, 0x9E, 0x2C, 0xC7, 0x7E, 0x1D, 0x4B,
  };
  EXPECT_EQ(std::memcmp(&entry, expected, sizeof expected), 0);
}

// The entry of the test above as stored.
const std::string kStoredEntry = std::string("\x3F\x59\x5C\x28\x45\x26\x2E\x38\x6B", 9) +
                                 std::string(15, '\xC1') +
                                 std::string("\x11\x04\x9E\x2C\xC7\x7E\x1D\x4B", 8);

TEST(ArchiveFormatTest, DecodesTheStoredBytesOnAnyMachine) {
  // The count, then the entry above after 32 bytes of another.
  const std::string stored =
      std::string("\x02\x00\x00\x01", 4) + std::string(32, '\0') + kStoredEntry;
  EXPECT_EQ(archive::DecodeCount(stored), 0x01000002u);
  const ArchiveEntry entry = archive::DecodeEntry(std::string_view(stored).substr(kCountSize), 1);
  EXPECT_STREQ(entry.name, "T27C.MES");
  EXPECT_EQ(entry.name[kEntryNameSize - 1], '\xAA');
  EXPECT_EQ(entry.size, 19974u);
  EXPECT_EQ(entry.offset, 0xA4u);
}

TEST(ArchiveFormatTest, EncodesWhatTheDecoderReads) {
  const ArchiveEntry entry = MakeEntry("T27C.MES", 19974, 0xA4, 0xAA);
  const std::string head = archive::EncodeHead(&entry, 1);
  EXPECT_EQ(head, std::string("\x01\0\0\0", 4) + kStoredEntry);
  EXPECT_EQ(archive::EncodeHead(nullptr, 0), std::string(4, '\0'));

  const ArchiveEntry back = archive::DecodeEntry(std::string_view(head).substr(kCountSize), 0);
  EXPECT_EQ(std::memcmp(&back, &entry, sizeof entry), 0);
  const ArchiveEntry made = archive::MakeEntry("A.MES", 1, 2);
  EXPECT_EQ(std::string(made.name, kEntryNameSize), "A.MES" + std::string(19, '\0'));
}

TEST(ArchiveFormatTest, TwoUpperCasingRules) {
  // "t27c" with the double-byte character 0x82 0x61 before "z".
  const std::string name = "t27c\x82\x61z";
  std::string every_byte;
  for (char byte : name) every_byte += archive::UpperCaseEveryByte(byte);
  EXPECT_EQ(every_byte, "T27C\x82\x41Z");
  EXPECT_EQ(archive::UpperCaseCp932Aware(name), "T27C\x82\x61Z");
}

TEST(ArchiveFormatTest, ScramblingTwiceRestoresEveryByte) {
  ArchiveEntry entries[3] = {
      MakeEntry("A.MES", 1, 100, 0x00),
      MakeEntry("C_TALK00.MES", 0xFFFFFFFF, 0, 0x5A),
      MakeEntry("12345678901234567890123", 7, 0x80000000u, 0x00),  // 23 bytes: NUL in byte 23
  };
  ArchiveEntry original[3];
  std::memcpy(original, entries, sizeof entries);
  ScrambleEntries(entries, 3);
  EXPECT_NE(std::memcmp(original, entries, sizeof entries), 0);
  ScrambleEntries(entries, 3);
  EXPECT_EQ(std::memcmp(original, entries, sizeof entries), 0);
}

TEST(ArchiveFormatTest, ScramblesOnlyTheGivenCount) {
  ArchiveEntry entries[2] = {MakeEntry("A", 1, 2, 0), MakeEntry("B", 3, 4, 0)};
  ArchiveEntry second = entries[1];
  ScrambleEntries(entries, 1);
  EXPECT_EQ(std::memcmp(&entries[1], &second, sizeof second), 0);
  ScrambleEntries(entries, 0);
}

}  // namespace
