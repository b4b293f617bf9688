// Undoing an update: the updater keeps every entry it supersedes (renamed
// with "__") and appends its own entries, so the archive before the update
// can be rebuilt from the updated one. Works on an Examination; reads no file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace archive {

// One entry of the archive before the update: where its data lies in the
// updated archive, and the name it had.
struct RestoredEntry {
  std::uint32_t position = 0;
  std::string name;
};

// Why the archive does not end with entries named `appended` (the update's
// names, in their order); empty when it does. Only names are compared: the
// caller compares their data with what the update appended.
std::string AppendedNamesProblem(const Examination& examination,
                                 const std::vector<std::string>& appended);

// The entries before the update that appended `appended`, in order. The "__"
// comes off the block of marked names just before the appended entries when
// there is one (a later update marks only an earlier update's entries);
// otherwise off every entry named like one of them plus "__", ASCII case
// ignored, as a first update marks every match. Requires AppendedNamesProblem
// to be empty.
std::vector<RestoredEntry> RestoredEntries(const Examination& examination,
                                           const std::vector<std::string>& appended);

// The count and scrambled index of an archive holding `restored`, each
// entry's data at the running position after the previous one, as the
// updater writes it. false when the archive would not fit 32-bit offsets.
bool RestoredIndex(const Examination& examination, const std::vector<RestoredEntry>& restored,
                   std::string* head);

}  // namespace archive
