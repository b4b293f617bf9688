#include "archive/IndexScan.h"

#include <cstring>
#include <map>

#include "archive/ArchiveFormat.h"
#include "platform/Process.h"

namespace archive {
namespace {

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace

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

Inspection InspectArchive(std::string_view head, std::uint64_t file_size) {
  Inspection result;
  result.file_size = file_size;
  if (file_size < kCountSize || head.size() < kCountSize) {
    result.error = "the file has " + Bytes(file_size) + ", too short for the entry count";
    return result;
  }
  result.count = GetLe32(head, 0);
  const std::uint64_t index_end = IndexEnd(result.count);
  if (index_end > file_size) {
    result.error = "an index of " + std::to_string(result.count) + " entries needs " +
                   Bytes(index_end) + ", the file has " + std::to_string(file_size);
    return result;
  }
  if (head.size() < index_end) {
    result.error = "the index could not be read";
    return result;
  }

  result.entries.reserve(result.count);
  std::map<std::string, std::uint32_t> first_by_name;
  std::uint64_t expected = index_end;
  for (std::uint32_t i = 0; i < result.count; ++i) {
    ArchiveEntry stored;
    std::memcpy(&stored, head.data() + kCountSize + std::size_t{kEntrySize} * i, sizeof stored);
    ScrambleEntry(&stored);

    InspectedEntry entry;
    entry.position = i;
    const void* nul = std::memchr(stored.name, '\0', kEntryNameSize);
    entry.unterminated = nul == nullptr;
    entry.name.assign(stored.name, entry.unterminated
                                       ? kEntryNameSize
                                       : static_cast<const char*>(nul) - stored.name);
    entry.size = stored.size;
    entry.offset = stored.offset;

    entry.superseded = entry.name.size() >= 2 && entry.name.compare(entry.name.size() - 2, 2, "__") == 0;
    // Case is ignored as by the lookup, which upper-cases what it is asked for.
    const auto first = first_by_name.emplace(UpperCaseName(entry.name), i);
    entry.duplicate = !first.second;
    entry.first_with_name = first.first->second;
    for (char c : entry.name) entry.lowercase = entry.lowercase || (c >= 'a' && c <= 'z');
    entry.out_of_bounds = entry.end() > file_size;
    entry.wraps = entry.end() > 0xFFFFFFFFu;
    entry.expected_offset = expected;
    entry.misplaced = entry.offset != expected;
    expected = entry.end();
    result.entries.push_back(std::move(entry));
  }
  result.trailing_bytes = file_size > expected ? file_size - expected : 0;
  result.readable = true;
  return result;
}

bool ReaderAccepts(const Inspection& inspection) {
  if (!inspection.readable || inspection.file_size > kLargestReadableFile) return false;
  for (const InspectedEntry& entry : inspection.entries) {
    if (entry.unterminated || entry.out_of_bounds) return false;
  }
  return true;
}

std::vector<std::string> EntryFlags(const InspectedEntry& entry) {
  std::vector<std::string> flags;
  if (entry.superseded) flags.push_back("superseded");
  if (entry.duplicate) flags.push_back("duplicate");
  if (entry.lowercase) flags.push_back("lowercase");
  if (entry.out_of_bounds) flags.push_back("out-of-bounds");
  if (entry.wraps) flags.push_back("overflow");
  if (entry.unterminated) flags.push_back("unterminated");
  if (entry.misplaced) flags.push_back("misplaced");
  return flags;
}

const InspectedEntry* FindFirst(const Inspection& inspection, std::string_view name) {
  for (const InspectedEntry& entry : inspection.entries) {
    // An unterminated name is never a lookup key: the reader refuses the archive.
    if (!entry.unterminated && entry.name == name) return &entry;
  }
  return nullptr;
}

std::string UpperCaseName(std::string_view cp932) {
  std::string upper(cp932);
  for (std::size_t i = 0; i < upper.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(upper[i]);
    if (platform::IsCp932LeadByte(byte)) {
      ++i;
    } else if (byte >= 'a' && byte <= 'z') {
      upper[i] = static_cast<char>(byte - 'a' + 'A');
    }
  }
  return upper;
}

}  // namespace archive
