#include "archive/ArchiveFormat.h"

#include <cstring>

#include "os/Process.h"

void ScrambleEntry(ArchiveEntry* entry) {
  for (char& byte : entry->name) byte = static_cast<char>(byte ^ kNameMask);
  entry->size ^= kSizeMask;
  entry->offset ^= kOffsetMask;
}

void ScrambleEntries(ArchiveEntry* entries, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) ScrambleEntry(&entries[i]);
}

namespace archive {

std::uint32_t GetLe32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void PutLe32(std::string* out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<char>(value >> (8 * i));
}

std::uint64_t IndexEnd(std::uint32_t count) {
  return kCountSize + std::uint64_t{kEntrySize} * count;
}

std::uint32_t DecodeCount(std::string_view head) { return GetLe32(head, 0); }

ArchiveEntry DecodeEntry(std::string_view index, std::uint32_t position) {
  const std::size_t at = std::size_t{kEntrySize} * position;
  ArchiveEntry entry;
  std::memcpy(entry.name, index.data() + at, kEntryNameSize);
  entry.size = GetLe32(index, at + kEntryNameSize);
  entry.offset = GetLe32(index, at + kEntryNameSize + 4);
  ScrambleEntry(&entry);
  return entry;
}

char UpperCaseEveryByte(char byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

std::string UpperCaseCp932Aware(std::string_view cp932) {
  std::string upper(cp932);
  for (std::size_t i = 0; i < upper.size(); ++i) {
    if (platform::IsCp932LeadByte(static_cast<unsigned char>(upper[i]))) {
      ++i;
    } else {
      upper[i] = UpperCaseEveryByte(upper[i]);
    }
  }
  return upper;
}

}  // namespace archive
