// The layout of mes.arc: a 32-bit entry count (never scrambled), an index of
// 32-byte entries (scrambled), then the entries' data back to back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The largest archive, in bytes, that is read or written. The reader learns a
// file's size through a 32-bit call that reserves all ones for failure, so
// the writers stop one byte short of that.
constexpr std::uint64_t kLargestArchive = 0xFFFFFFFEu;

// What the rebuild appends to the name of an entry it supersedes.
constexpr char kSupersededMark[] = "__";
constexpr std::size_t kSupersededMarkSize = sizeof kSupersededMark - 1;

// Masks of the index scrambling.
constexpr unsigned char kNameMask = 0x6B;
constexpr std::uint32_t kSizeMask = 0x2C9E4A17u;
constexpr std::uint32_t kOffsetMask = 0x4B1D7E63u;

// Scrambles or unscrambles one entry in place: the transform is its own inverse.
void ScrambleEntry(ArchiveEntry* entry);

// Applies ScrambleEntry to count entries, first to last.
void ScrambleEntries(ArchiveEntry* entries, std::uint32_t count);

namespace archive {

// The archive's numbers are 32-bit little-endian, whatever the machine.
std::uint32_t GetLe32(std::string_view bytes, std::size_t at = 0);
void PutLe32(char* out, std::uint32_t value);

// An entry with this name field: the name, zeros after it (a name of
// kEntryNameSize bytes fills the field with no NUL; longer ones are cut).
ArchiveEntry MakeEntry(std::string_view name, std::uint32_t size, std::uint32_t offset);

// Where the index ends (and the first entry's data starts) for this count.
std::uint64_t IndexEnd(std::uint32_t count);

// The one decoder of the stored index, used by the reader and the examination.
// head: the file's first bytes, at least kCountSize of them.
std::uint32_t DecodeCount(std::string_view head);
// index: the stored index region (after the count), at least
// kEntrySize * (position + 1) bytes. The entry unscrambled, in host order.
ArchiveEntry DecodeEntry(std::string_view index, std::uint32_t position);

// The one encoder, the decoder's inverse, used by the rebuild, the packer and
// the unpatcher. The count as stored:
void EncodeCount(std::uint32_t count, char (&out)[kCountSize]);
// One entry, given unscrambled in host order, as the index stores it.
void EncodeEntry(const ArchiveEntry& entry, char (&out)[kEntrySize]);
// The count and the index of these entries: the first IndexEnd(count) bytes
// of the archive.
std::string EncodeHead(const ArchiveEntry* entries, std::uint32_t count);

// Two rules for upper-casing entry names; they differ on double-byte
// characters.
// Every byte: each byte from 'a' to 'z' is upper-cased, the second byte of
// a double-byte character too. The updater's lookup and its rebuild match
// names this way, as the game's own lookup does.
char UpperCaseEveryByte(char byte);
// CP932-aware: the ASCII letters of single-byte characters are upper-cased,
// double-byte characters are kept whole. The tools, which turn names into
// file names, compare names this way.
std::string UpperCaseCp932Aware(std::string_view cp932);

}  // namespace archive
