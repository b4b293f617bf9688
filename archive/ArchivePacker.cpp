#include "archive/ArchivePacker.h"

#include <cstring>
#include <map>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "archive/EntryOrder.h"
#include "os/Hex.h"
#include "os/CodePageText.h"
#include "os/Process.h"

namespace archive {
namespace {

// The first double-byte character whose second byte is a lower-case ASCII
// letter, described; empty when there is none.
std::string LowerCaseSecondByte(std::string_view name) {
  for (std::size_t i = 0; i + 1 < name.size(); ++i) {
    if (!os::IsCp932LeadByte(static_cast<unsigned char>(name[i]))) continue;
    const auto lead = static_cast<unsigned char>(name[i]);
    const char second = name[++i];
    if (second < 'a' || second > 'z') continue;
    const auto trail = static_cast<unsigned char>(second);
    return std::string("the character ") +
           os::Cp932ToUtf8ForDisplay(std::string(name.substr(i - 1, 2))) + " (bytes " +
           os::HexByte(lead) + " " + os::HexByte(trail) + ") ends in a lower-case letter byte ('" + second +
           "'), which the updater's lookup upper-cases, so it could never find this entry";
  }
  return std::string();
}

// The name field as stored: the upper-cased name, or an exact field as given.
std::string StoredField(const PackEntry& entry) {
  return entry.exact ? entry.name : UpperCaseCp932Aware(entry.name);
}

std::string EntryProblem(const PackEntry& entry) {
  return entry.exact ? NameFieldProblem(entry.name) : StoredNameProblem(entry.name);
}

}  // namespace

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
  return LowerCaseSecondByte(upper);
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
    const std::string problem = EntryProblem(entry);
    if (!problem.empty()) {
      *error = (entry.exact ? std::string(NameInField(entry.name)) : entry.name) + ": " + problem;
      return false;
    }
    const auto added =
        given_by_stored.emplace(UpperCaseCp932Aware(NameInField(StoredField(entry))), entry.name);
    // An archive may hold a name twice; only what it held is kept so.
    if (!added.second && !entry.exact) {
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
    index[i] = MakeEntry(StoredField(entries[i]), static_cast<std::uint32_t>(entries[i].data.size()),
                         static_cast<std::uint32_t>(offset));
    offset += entries[i].data.size();
  }
  *archive = EncodeHead(index.data(), count);
  archive->reserve(static_cast<std::size_t>(total));
  for (const PackEntry& entry : entries) archive->append(entry.data);
  return true;
}

}  // namespace archive
