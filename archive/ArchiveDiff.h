// What differs between two archives, entry by entry: for a modder comparing
// versions, and for a player asking what an update changed. Works on two
// Examinations; the caller compares entry data.
#pragma once

#include <functional>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace archive {

enum class DifferenceKind {
  kChanged,  // same position and name; other size or bytes
  kMoved,    // same name at another position (bytes may differ too)
  kRenamed,  // same position, "__" added or taken off (as an update marks what it supersedes)
  kAdded,    // only in the second archive
  kRemoved,  // only in the first archive
};

struct EntryDifference {
  DifferenceKind kind = DifferenceKind::kChanged;
  const ExaminedEntry* a = nullptr;  // null when added
  const ExaminedEntry* b = nullptr;  // null when removed
  bool data_differs = false;          // size or bytes, when both are there
};

// Whether two entries of equal size hold the same bytes.
using SameData = std::function<bool(const ExaminedEntry& a, const ExaminedEntry& b)>;

// Entries are paired first by position (same name, or a name and the same
// name plus "__"), then the rest by name in index order; what stays unpaired
// was added or removed. Unchanged pairs are left out. Ordered by kind as
// listed above, then by position.
std::vector<EntryDifference> DiffArchives(const Examination& a, const Examination& b,
                                          const SameData& same_data);

// "changed", "moved", "renamed", "added", "removed".
const char* DifferenceWord(DifferenceKind kind);

}  // namespace archive
