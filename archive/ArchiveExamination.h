// A lenient reading of a message archive for tools. MesArchive refuses an
// archive as soon as one entry is bad; this reads whatever index the file
// holds and describes every entry's faults, so they can be shown and fixed.
// It works on bytes the caller read, and reads no file itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace archive {

struct ExaminedEntry {
  std::uint32_t position = 0;
  std::string name;  // up to the NUL; all 24 bytes when there is none
  std::uint32_t size = 0;
  std::uint32_t offset = 0;

  bool unterminated = false;   // no NUL in the name field
  bool superseded = false;     // the name ends in "__"
  bool duplicate = false;      // an earlier entry has this name, CP932-aware case ignored
  std::uint32_t first_with_name = 0;  // that earlier entry, when duplicate
  bool lowercase = false;      // holds bytes a-z, which the upper-casing lookup never asks for
  bool out_of_bounds = false;  // the data reaches past the end of the file
  bool wraps = false;          // offset + size does not fit 32 bits
  bool misplaced = false;      // the data is not where the layout rule puts it
  std::uint64_t expected_offset = 0;  // where the layout rule puts it

  std::uint64_t end() const { return std::uint64_t{offset} + size; }
};

struct Examination {
  bool readable = false;
  std::string error;  // why not readable
  std::uint64_t file_size = 0;
  std::uint32_t count = 0;
  std::vector<ExaminedEntry> entries;
  // Bytes after the last entry's data (after the index when there are no
  // entries); the layout rule wants none.
  std::uint64_t trailing_bytes = 0;
};

// head holds the first bytes of a file of file_size bytes: at least
// IndexEnd(count) of them when the file is that long; more are ignored.
Examination ExamineArchive(std::string_view head, std::uint64_t file_size);

// The reader's own checks only: would the updater open this archive.
bool ReaderAccepts(const Examination& examination);

// The entry's flags as the words tools print ("duplicate", "out-of-bounds", ...).
std::vector<std::string> EntryFlags(const ExaminedEntry& entry);

// The entry the updater's lookup finds for name: the first one stored with
// exactly these bytes. nullptr when there is none.
const ExaminedEntry* FindFirst(const Examination& examination, std::string_view name);

}  // namespace archive
