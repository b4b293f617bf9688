#include "archive/ArchiveUnpatch.h"

#include <cstring>

#include "archive/ArchiveFormat.h"
#include "archive/ArchivePacker.h"

namespace archive {
namespace {

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperCaseCp932Aware(a) == UpperCaseCp932Aware(b);
}

// Whether the `appended.size()` entries ending just before `end` are exactly
// the appended names each marked with "__": an earlier update's block.
bool IsMarkedBlockBefore(const Examination& examination, const std::vector<std::string>& appended,
                         std::size_t end) {
  if (end < appended.size()) return false;
  const std::size_t start = end - appended.size();
  for (std::size_t i = 0; i < appended.size(); ++i) {
    if (examination.entries[start + i].name != appended[i] + kSupersededMark) return false;
  }
  return true;
}

bool IsMarkedName(const std::string& name, const std::vector<std::string>& appended) {
  for (const std::string& plain : appended) {
    if (SameIgnoringAsciiCase(name, plain + kSupersededMark)) return true;
  }
  return false;
}

}  // namespace

std::string AppendedNamesProblem(const Examination& examination,
                                 const std::vector<std::string>& appended) {
  const std::size_t count = examination.entries.size();
  if (count < appended.size()) {
    return "it has " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
           ", fewer than the " +
           std::to_string(appended.size()) + " an update appends";
  }
  const std::size_t first = count - appended.size();
  for (std::size_t i = 0; i < appended.size(); ++i) {
    const ExaminedEntry& entry = examination.entries[first + i];
    if (entry.unterminated || entry.name != appended[i]) {
      return "entry " + std::to_string(entry.position) + " is not " + appended[i];
    }
  }
  return std::string();
}

std::vector<RestoredEntry> RestoredEntries(const Examination& examination,
                                           const std::vector<std::string>& appended) {
  const std::size_t kept = examination.entries.size() - appended.size();
  const bool block = IsMarkedBlockBefore(examination, appended, kept);
  const std::size_t block_start = block ? kept - appended.size() : kept;

  std::vector<RestoredEntry> restored(kept);
  for (std::size_t i = 0; i < kept; ++i) {
    const ExaminedEntry& entry = examination.entries[i];
    restored[i].position = entry.position;
    restored[i].name = entry.name;
    const bool marked = block ? i >= block_start : IsMarkedName(entry.name, appended);
    if (marked) restored[i].name.resize(entry.name.size() - kSupersededMarkSize);
  }
  return restored;
}

bool RestoredIndex(const Examination& examination, const std::vector<RestoredEntry>& restored,
                   std::string* head) {
  const auto count = static_cast<std::uint32_t>(restored.size());
  std::uint64_t offset = IndexEnd(count);
  std::vector<ArchiveEntry> index(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const ExaminedEntry& source = examination.entries.at(restored[i].position);
    const std::string& name = restored[i].name;
    if (name.size() >= kEntryNameSize || offset + source.size > kLargestArchive) return false;
    index[i] = MakeEntry(name, source.size, static_cast<std::uint32_t>(offset));
    offset += source.size;
  }
  *head = EncodeHead(index.data(), count);
  return true;
}

}  // namespace archive
