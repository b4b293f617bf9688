// The message archive mes.arc: reads its index, looks entries up by name,
// and rebuilds it with new entries appended. Every byte of the file is
// untrusted: an index that does not fit the file is refused, short reads are
// failures, and a failed rebuild leaves no new file behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "platform/FileHandle.h"

// Entry name -> (size, offset) over an index it does not own, names compared
// as unsigned byte strings, the first of two equal names kept. A sorted array
// of positions into the index, 4 bytes an entry, made on the first lookup:
// the update itself never looks a name up. Without memory for the array,
// lookups scan the index instead.
class EntryMap {
 public:
  using Allocator = void* (*)(std::size_t size);
  EntryMap() = default;
  ~EntryMap();
  EntryMap(const EntryMap&) = delete;
  EntryMap& operator=(const EntryMap&) = delete;

  // Looks names up in the count entries of index from now on.
  void Reset(const ArchiveEntry* index, std::uint32_t count, Allocator allocate);
  // The number of distinct names.
  std::size_t size() const;
  bool empty() const { return count_ == 0; }
  // The entry named exactly name, or nullptr.
  const ArchiveEntry* Find(const char* name) const;
  // (size, offset) of the entry named name; (0, 0) when there is none (no
  // exception, unlike std::map::at).
  std::pair<std::uint32_t, std::uint32_t> SizeAndOffsetOrZeros(const std::string& name) const;

 private:
  // Makes the sorted array once; false when there is no memory for it.
  bool Sorted() const;
  // The first entry named name, by position.
  const ArchiveEntry* Scan(const char* name, std::uint32_t end) const;

  const ArchiveEntry* index_ = nullptr;
  std::uint32_t count_ = 0;
  Allocator allocate_ = nullptr;
  mutable std::uint32_t* order_ = nullptr;
  mutable std::uint32_t distinct_ = 0;
  mutable bool no_memory_ = false;  // the array could not be made: scan from now on
};

class MesArchive : public SizedInputFile {
 public:
  MesArchive();
  ~MesArchive() override;

  // Opens the archive, reads and checks its index and keeps it for the entry
  // map (the first of two equal names wins). 1 or 0; each failure shows its
  // message.
  int OpenArchive(const char* path);
  // Positions the file at the data of the entry; the size field then holds
  // the entry's size. 1, or -1 after a message. The name asked for is
  // upper-cased by the every-byte rule (archive::UpperCaseEveryByte, the
  // second byte of a double-byte character too) and then compared with the
  // stored names byte for byte: a stored name with a-z is never found.
  int SeekToEntry(const char* name);
  // Reads the entry's data; its size on success, 0 on failure (and for an
  // empty entry, without a message).
  std::uint32_t ReadEntry(const char* name, void* destination);
  // Empties the map, lets the index and any loaded rewrite go and closes the
  // file; the close result.
  int ReleaseArchive();
  // Scrambles or unscrambles the first count() entries of index in place.
  void ScrambleIndex(ArchiveEntry* index);

  // Re-reads the index into the working array, with room for n more entries,
  // shifts old offsets by 32 * n and marks superseded entries with "__".
  // The index kept since OpenArchive serves as the as-read index; a file
  // whose index changed since is refused. names: the n names that will be
  // appended. 1 or 0.
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

  // Where the archive's arrays come from (the index, the working index, the
  // entry map's order); they go back with std::free. Tests install a failing one;
  // nullptr restores std::malloc.
  using Allocator = void* (*)(std::size_t size);
  void SetAllocatorForTesting(Allocator allocate);
  // The allocator of archives constructed from now on, for tests that reach
  // the archive only through the updater.
  static void SetDefaultAllocatorForTesting(Allocator allocate);

  std::uint32_t count() const { return count_; }
  const EntryMap& entry_map() const { return entry_map_; }
  const ArchiveEntry* working_index() const { return working_index_; }
  // The old entries as the file holds them, while a rewrite is loaded.
  const ArchiveEntry* as_read_index() const { return working_index_ ? read_index_ : nullptr; }

 private:
  // Reads the count and the index from the start of the file into a new array
  // with room for `extra` more entries, and checks it against the file.
  // report_path names the archive in messages; nullptr keeps it silent.
  ArchiveEntry* ReadIndex(const char* report_path, std::uint32_t extra);
  ArchiveEntry* AllocateEntries(std::uint64_t entries);
  void FreeIndex();
  void FreeRewriteState();
  // Writes the count and the working index as the file stores them.
  bool WriteHead(os::StreamHandle stream) const;
  // Copies the old entries' data by position, each run of entries that lie
  // back to back in one call. 1, or 0 after FailWrite.
  int CopyOldEntries(os::StreamHandle stream, const char* new_path);
  // The entry of [first, end) that holds byte position, for messages.
  const char* EntryHolding(std::uint32_t first, std::uint32_t end, std::uint64_t position) const;
  // Undoes a failed WriteArchive: closes and deletes the new file, then says why.
  int FailWrite(os::StreamHandle stream, const char* new_path, const char* format,
                const char* argument);

  std::uint32_t count_;
  EntryMap entry_map_;
  ArchiveEntry* read_index_;  // as the file holds it, since OpenArchive
  std::uint32_t read_count_;
  ArchiveEntry* working_index_;
  std::vector<const unsigned char*> payloads_;

  std::uint32_t file_size_;  // as recorded at open; size_ is reused for entry sizes
  std::uint32_t old_count_;  // N, entries that came from the file
  std::uint32_t announced_;  // n given to LoadIndexForRewrite
  Allocator allocate_;
};
