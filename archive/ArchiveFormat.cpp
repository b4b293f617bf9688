#include "archive/ArchiveFormat.h"

#include <algorithm>
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

void PutLe32(char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

ArchiveEntry MakeEntry(std::string_view name, std::uint32_t size, std::uint32_t offset) {
  ArchiveEntry entry = {};
  std::memcpy(entry.name, name.data(), std::min(name.size(), kEntryNameSize));
  entry.size = size;
  entry.offset = offset;
  return entry;
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

void EncodeCount(std::uint32_t count, char (&out)[kCountSize]) { PutLe32(out, count); }

void EncodeEntry(const ArchiveEntry& entry, char (&out)[kEntrySize]) {
  ArchiveEntry scrambled = entry;
  ScrambleEntry(&scrambled);
  std::memcpy(out, scrambled.name, kEntryNameSize);
  PutLe32(out + kEntryNameSize, scrambled.size);
  PutLe32(out + kEntryNameSize + 4, scrambled.offset);
}

std::string EncodeHead(const ArchiveEntry* entries, std::uint32_t count) {
  std::string head;
  head.reserve(static_cast<std::size_t>(IndexEnd(count)));
  char count_field[kCountSize];
  EncodeCount(count, count_field);
  head.append(count_field, kCountSize);
  char entry_field[kEntrySize];
  for (std::uint32_t i = 0; i < count; ++i) {
    EncodeEntry(entries[i], entry_field);
    head.append(entry_field, kEntrySize);
  }
  return head;
}

char UpperCaseEveryByte(char byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

std::string UpperCaseCp932Aware(std::string_view cp932) {
  std::string upper(cp932);
  for (std::size_t i = 0; i < upper.size(); ++i) {
    if (os::IsCp932LeadByte(static_cast<unsigned char>(upper[i]))) {
      ++i;
    } else {
      upper[i] = UpperCaseEveryByte(upper[i]);
    }
  }
  return upper;
}

}  // namespace archive
