// Writes message archives that meet the layout rule: the count, the
// scrambled index, then every entry's data back to back in index order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace archive {

struct PackEntry {
  std::string name;       // CP932 bytes; stored upper-cased unless exact
  std::string_view data;  // owned by the caller until PackArchive returns
  // name is the whole name field as an archive stored it (zeros added up to
  // 24 bytes): kept byte for byte, ASCII case and repeats included.
  bool exact = false;
};

// Why name (CP932) cannot be stored as an entry name; empty when it can.
// Checks the name as stored: upper-cased, at most 23 bytes, findable by the
// upper-casing lookup, and usable as a file name when extracted.
std::string StoredNameProblem(std::string_view name);

// The archive bytes for entries, in their order. false, with *error saying
// which entry and why, when a name cannot be stored, a name that is not
// exact equals an earlier one once upper-cased, or the archive would not
// fit 32-bit offsets.
bool PackArchive(const std::vector<PackEntry>& entries, std::string* archive, std::string* error);

}  // namespace archive
