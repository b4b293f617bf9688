// The message archive mes.arc: reads its index, looks entries up by name,
// and rebuilds it with new entries appended. Every byte of the file is
// untrusted: an index that does not fit the file is refused, short reads are
// failures, and a failed rebuild leaves no new file behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "platform/FileHandle.h"

// Entry name -> (size, offset); keys compare as unsigned byte strings.
using EntryMap = std::map<std::string, std::pair<std::uint32_t, std::uint32_t>>;

class MesArchive : public SizedInputFile {
 public:
  MesArchive();
  ~MesArchive() override;

  // Opens the archive, reads and checks its index, fills the entry map (the
  // first of two equal names wins). 1 or 0; each failure shows its message.
  int OpenArchive(const char* path);
  // Positions the file at the data of the entry (name upper-cased); the size
  // field then holds the entry's size. 1, or -1 after a message.
  int SeekToEntry(const char* name);
  // Reads the entry's data; its size on success, 0 on failure (and for an
  // empty entry, without a message).
  std::uint32_t ReadEntry(const char* name, void* destination);
  // Empties the map and closes the file; the close result.
  int ReleaseArchive();
  // Scrambles or unscrambles the first count() entries of index in place.
  void ScrambleIndex(ArchiveEntry* index);

  // Re-reads the index into the working and as-read arrays, with room for n
  // more entries, shifts old offsets by 32 * n and marks superseded entries
  // with "__". names: the n names that will be appended. 1 or 0.
  int LoadIndexForRewrite(const char* archive_path, std::uint32_t n, const char* const* names);
  // Appends one entry whose data stays owned by the caller until WriteArchive
  // returns. 1, or 0 when the name cannot be stored or no room was announced.
  int AppendEntry(const char* name, std::uint32_t size, const void* data);
  // Writes the complete new archive to new_path and syncs it. 1 on success;
  // 0 after a message, with no file left at new_path.
  int WriteArchive(const char* new_path, std::uint32_t n);

  // Silent check used before moving a leftover new archive into place: 1 when
  // the file at path has a readable index, every entry inside the file and no
  // bytes after the end of the last entry's data.
  static int IsCompleteArchive(const char* path);

  // Where every buffer of the archive comes from (index arrays, per-entry copy
  // buffers); they go back with std::free. Tests install a failing one;
  // nullptr restores std::malloc.
  using Allocator = void* (*)(std::size_t size);
  void SetAllocatorForTesting(Allocator allocate);
  // The allocator of archives constructed from now on, for tests that reach
  // the archive only through the updater.
  static void SetDefaultAllocatorForTesting(Allocator allocate);

  std::uint32_t count() const { return count_; }
  const EntryMap& entry_map() const { return entry_map_; }
  const ArchiveEntry* working_index() const { return working_index_; }
  const ArchiveEntry* as_read_index() const { return as_read_index_; }

 private:
  // Reads the count and the index from the start of the file into a new array
  // with room for `extra` more entries, and checks it against the file.
  // report_path names the archive in messages; nullptr keeps it silent.
  ArchiveEntry* ReadIndex(const char* report_path, std::uint32_t extra);
  ArchiveEntry* AllocateEntries(std::uint64_t entries);
  void FreeRewriteState();
  // Undoes a failed WriteArchive: closes and deletes the new file, then says why.
  int FailWrite(platform::StreamHandle stream, const char* new_path, const char* format,
                const char* argument);

  std::uint32_t count_;
  EntryMap entry_map_;
  ArchiveEntry* working_index_;
  ArchiveEntry* as_read_index_;
  std::vector<const unsigned char*> payloads_;

  std::uint32_t file_size_;  // as recorded at open; size_ is reused for entry sizes
  std::uint32_t old_count_;  // N, entries that came from the file
  std::uint32_t announced_;  // n given to LoadIndexForRewrite
  Allocator allocate_;
};
