#include "archive/ArchiveExamination.h"

#include <cstring>
#include <map>

#include "archive/ArchiveFormat.h"

namespace archive {
namespace {

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace

Examination ExamineArchive(std::string_view head, std::uint64_t file_size) {
  Examination result;
  result.file_size = file_size;
  if (file_size < kCountSize || head.size() < kCountSize) {
    result.error = "the file has " + Bytes(file_size) + ", too short for the entry count";
    return result;
  }
  result.count = DecodeCount(head);
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
    const ArchiveEntry stored = DecodeEntry(head.substr(kCountSize), i);

    ExaminedEntry entry;
    entry.position = i;
    const void* nul = std::memchr(stored.name, '\0', kEntryNameSize);
    entry.unterminated = nul == nullptr;
    entry.name.assign(stored.name, entry.unterminated
                                       ? kEntryNameSize
                                       : static_cast<const char*>(nul) - stored.name);
    entry.size = stored.size;
    entry.offset = stored.offset;

    entry.superseded = entry.name.size() >= kSupersededMarkSize &&
                       entry.name.compare(entry.name.size() - kSupersededMarkSize,
                                          kSupersededMarkSize, kSupersededMark) == 0;
    // Names equal but for the case of their ASCII letters are one file once
    // extracted (Windows ignores that case). The updater's lookup follows the
    // every-byte rule instead; FindFirst answers for it.
    const auto first = first_by_name.emplace(UpperCaseCp932Aware(entry.name), i);
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

bool ReaderAccepts(const Examination& examination) {
  if (!examination.readable || examination.file_size > kLargestArchive) return false;
  for (const ExaminedEntry& entry : examination.entries) {
    if (entry.unterminated || entry.out_of_bounds) return false;
  }
  return true;
}

std::vector<std::string> EntryFlags(const ExaminedEntry& entry) {
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

const ExaminedEntry* FindFirst(const Examination& examination, std::string_view name) {
  for (const ExaminedEntry& entry : examination.entries) {
    // An unterminated name is never a lookup key: the reader refuses the archive.
    if (!entry.unterminated && entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace archive
