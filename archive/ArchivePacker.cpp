#include "archive/ArchivePacker.h"

#include <cstring>
#include <map>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveInspection.h"
#include "archive/ArchiveProblems.h"

namespace archive {

std::string StoredNameProblem(std::string_view name) {
  const std::string upper = UpperCaseCp932Aware(name);
  if (upper.find('\0') != std::string::npos) return "the name holds a NUL";
  if (upper.size() > kEntryNameSize - 1) {
    return "the name has " + std::to_string(upper.size()) + " bytes, more than " +
           std::to_string(kEntryNameSize - 1);
  }
  std::string problem = FileNameProblem(upper);
  if (!problem.empty()) return problem;
  // Upper-casing leaves double-byte characters alone, but the updater's
  // lookup upper-cases every byte, so such a name could never be found.
  for (char c : upper) {
    if (c >= 'a' && c <= 'z') return "a double-byte character ends in a lower-case letter byte";
  }
  return std::string();
}

bool PackArchive(const std::vector<PackEntry>& entries, std::string* archive, std::string* error) {
  if (entries.size() > (kLargestArchive - kCountSize) / kEntrySize) {
    *error = "too many entries";
    return false;
  }
  const auto count = static_cast<std::uint32_t>(entries.size());
  std::uint64_t total = IndexEnd(count);
  std::map<std::string, std::string> given_by_stored;
  for (const PackEntry& entry : entries) {
    const std::string problem = StoredNameProblem(entry.name);
    if (!problem.empty()) {
      *error = entry.name + ": " + problem;
      return false;
    }
    const auto added = given_by_stored.emplace(UpperCaseCp932Aware(entry.name), entry.name);
    if (!added.second) {
      *error = entry.name + ": the same name as " + added.first->second + " once upper-cased";
      return false;
    }
    total += entry.data.size();
    if (total > kLargestArchive) {
      *error = entry.name + ": the archive would reach 4 GiB";
      return false;
    }
  }

  std::vector<ArchiveEntry> index(count);
  std::uint64_t offset = IndexEnd(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string upper = UpperCaseCp932Aware(entries[i].name);
    std::memset(&index[i], 0, sizeof index[i]);
    std::memcpy(index[i].name, upper.data(), upper.size());
    index[i].size = static_cast<std::uint32_t>(entries[i].data.size());
    index[i].offset = static_cast<std::uint32_t>(offset);
    offset += entries[i].data.size();
  }
  ScrambleEntries(index.data(), count);

  archive->assign(static_cast<std::size_t>(total), '\0');
  PutLe32(archive, 0, count);
  if (count != 0) std::memcpy(&(*archive)[kCountSize], index.data(), std::size_t{kEntrySize} * count);
  std::size_t at = static_cast<std::size_t>(IndexEnd(count));
  for (const PackEntry& entry : entries) {
    if (!entry.data.empty()) std::memcpy(&(*archive)[at], entry.data.data(), entry.data.size());
    at += entry.data.size();
  }
  return true;
}

}  // namespace archive
