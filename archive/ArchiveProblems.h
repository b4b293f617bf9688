// The faults `mesarc check` reports in an examined archive, and the rule
// for names that extract turns into file names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace archive {

// One fault; entry-level ones name the entry.
struct ArchiveProblem {
  bool has_entry = false;
  std::uint32_t position = 0;
  std::string name;  // CP932 bytes, as stored
  std::string message;
};

// Everything the updater's reader refuses, then names extract refuses, then
// every break of the layout rule, in file order. Empty for a sound archive.
std::vector<ArchiveProblem> FindProblems(const Examination& examination);

// Why these CP932 bytes cannot be used as a file name on Linux or Windows
// (separators, wildcards, control bytes, ".", "..", device names, a trailing
// dot or space, bytes that are not CP932); empty when they can. Valid means
// what the platform's CP932 conversion decodes, less the single bytes 0x80,
// 0xA0 and 0xFD-0xFF, which only Windows decodes (to private characters).
std::string FileNameProblem(std::string_view cp932);

}  // namespace archive
