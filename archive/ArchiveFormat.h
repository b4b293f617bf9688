// The layout of mes.arc: a 32-bit entry count (never scrambled), an index of
// 32-byte entries (scrambled), then the entries' data back to back.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kEntryNameSize = 24;  // NUL included, so at most 23 bytes of name

struct ArchiveEntry {
  char name[kEntryNameSize];
  std::uint32_t size;
  std::uint32_t offset;  // absolute, from the start of the file
};
static_assert(sizeof(ArchiveEntry) == 32, "an index entry is 32 bytes on disk");

// The index region as one array, entry 0 first.
using ArchiveIndex = ArchiveEntry*;

constexpr std::uint32_t kCountSize = 4;
constexpr std::uint32_t kEntrySize = sizeof(ArchiveEntry);

// Masks of the index scrambling.
constexpr unsigned char kNameMask = 0x6B;
constexpr std::uint32_t kSizeMask = 0x2C9E4A17u;
constexpr std::uint32_t kOffsetMask = 0x4B1D7E63u;

// Scrambles or unscrambles one entry in place: the transform is its own inverse.
void ScrambleEntry(ArchiveEntry* entry);

// Applies ScrambleEntry to count entries, first to last.
void ScrambleEntries(ArchiveEntry* entries, std::uint32_t count);
