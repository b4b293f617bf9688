// Message archives for tests, made and read back without MesArchive or the
// archive codec, so that a fault in them cannot hide itself in the check.
//
//   std::string bytes = archive_test::ArchiveBuilder()
//                           .Add("T27C.MES", "new text")
//                           .Gap(3)
//                           .AddSized("C_TALK00.MES", 1000, 7)
//                           .Build();
//   TempDir dir;
//   std::string path = dir.Write("mes.arc", bytes);
//   archive_test::ParsedArchive parsed = archive_test::ParseArchiveFile(path);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace archive_test {

// size bytes that differ with the seed, so swapped or shifted data shows.
std::string PatternData(std::size_t size, std::uint32_t seed);

// Builds the bytes of an archive: count, scrambled index, data. By default
// the result meets the layout rule (data back to back in index order right
// after the index); the other calls break it on purpose.
class ArchiveBuilder {
 public:
  // An entry whose data follows the previous entry's data (and any gap).
  // A name of 24 bytes or more fills the name field with its first 24 bytes
  // and no NUL.
  ArchiveBuilder& Add(const std::string& name, const std::string& data);
  // Like Add, with size bytes of PatternData(size, seed).
  ArchiveBuilder& AddSized(const std::string& name, std::uint32_t size, std::uint32_t seed);
  // An index entry with this size and offset and no data of its own: shares
  // another entry's bytes, or points outside the file.
  ArchiveBuilder& AddPointing(const std::string& name, std::uint32_t size, std::uint32_t offset);
  // 32 index bytes stored exactly as given (as they appear in the file).
  ArchiveBuilder& AddRawIndexEntry(const std::string& stored_bytes);
  // Unused bytes before the next entry's data, or after the last data.
  ArchiveBuilder& Gap(std::uint32_t bytes);
  // Bytes after everything else.
  ArchiveBuilder& Trailing(const std::string& bytes);
  // Stores this count instead of the number of entries.
  ArchiveBuilder& Count(std::uint32_t count);
  // Fills the name bytes after the NUL (0 unless set); readers must ignore them.
  ArchiveBuilder& NameFiller(char filler);

  std::string Build() const;
  std::size_t entry_count() const { return entries_.size(); }

 private:
  struct Item {
    std::string name;
    std::string data;     // placed in the data region (Add, AddSized)
    bool placed = false;  // false: size/offset below are stored as given
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
    std::uint32_t gap_before = 0;
    std::string raw;  // 32 stored bytes, when not empty
  };
  std::vector<Item> entries_;
  std::uint32_t pending_gap_ = 0;
  std::string trailing_;
  bool count_set_ = false;
  std::uint32_t count_ = 0;
  char filler_ = '\0';
};

// One entry as an archive file holds it, data included.
struct ParsedEntry {
  std::string name;  // up to the NUL
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
  std::string data;
};

struct ParsedArchive {
  bool ok = false;
  std::string error;  // why ok is false
  std::uint32_t count = 0;
  std::uint64_t file_size = 0;
  std::vector<ParsedEntry> entries;

  // Data back to back in index order directly after the index, and the file
  // ends with the last entry's data.
  bool MeetsLayout() const;
  // The first entry with this exact name, or nullptr.
  const ParsedEntry* Find(const std::string& name) const;
};

ParsedArchive ParseArchive(const std::string& bytes);
ParsedArchive ParseArchiveFile(const std::string& path);

}  // namespace archive_test
