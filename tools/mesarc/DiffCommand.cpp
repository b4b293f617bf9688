// mesarc diff: which entries two archives do not share, for a modder
// comparing versions and for a player asking what an update changed.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "archive/ArchiveDiff.h"
#include "os/CodePageText.h"
#include "tools/mesarc/ArchiveFile.h"
#include "tools/mesarc/Commands.h"
#include "tools/mesarc/Output.h"

namespace mesarc {
namespace {

constexpr std::uint64_t kCompareChunk = 1 << 20;

// Whether size bytes at the two offsets are equal; unreadable bytes differ.
bool SameBytes(ArchiveFile* a, std::uint64_t a_offset, ArchiveFile* b, std::uint64_t b_offset,
               std::uint64_t size) {
  std::string a_chunk;
  std::string b_chunk;
  for (std::uint64_t done = 0; done < size;) {
    const auto part = static_cast<std::size_t>(std::min(kCompareChunk, size - done));
    if (!ReadAt(a->stream, a_offset + done, part, &a_chunk) ||
        !ReadAt(b->stream, b_offset + done, part, &b_chunk) || a_chunk != b_chunk) {
      return false;
    }
    done += part;
  }
  return true;
}

std::string Sized(const archive::ExaminedEntry& entry) {
  return "#" + std::to_string(entry.position) + " " + NameUtf8(entry.name) + ", " +
         std::to_string(entry.size) + (entry.size == 1 ? " byte" : " bytes");
}

std::string DataChange(const archive::EntryDifference& difference) {
  if (!difference.data_differs) return std::string();
  if (difference.a->size == difference.b->size) return "; other bytes";
  return "; " + std::to_string(difference.a->size) + " -> " + std::to_string(difference.b->size) +
         " bytes";
}

std::string DifferenceLine(const archive::EntryDifference& difference) {
  const archive::ExaminedEntry* a = difference.a;
  const archive::ExaminedEntry* b = difference.b;
  std::string detail;
  switch (difference.kind) {
    case archive::DifferenceKind::kAdded: detail = Sized(*b); break;
    case archive::DifferenceKind::kRemoved: detail = Sized(*a); break;
    case archive::DifferenceKind::kChanged:
      detail = "#" + std::to_string(a->position) + " " + NameUtf8(a->name) + DataChange(difference);
      break;
    case archive::DifferenceKind::kMoved:
      detail = "#" + std::to_string(a->position) + " -> #" + std::to_string(b->position) + " " +
               NameUtf8(a->name) + DataChange(difference);
      break;
    case archive::DifferenceKind::kRenamed:
      detail = "#" + std::to_string(a->position) + " " + NameUtf8(a->name) + " -> " +
               NameUtf8(b->name) + DataChange(difference);
      break;
  }
  std::string word = archive::DifferenceWord(difference.kind);
  word.resize(std::max<std::size_t>(word.size() + 1, 9), ' ');
  return word + detail;
}

std::string JsonEntry(const archive::ExaminedEntry* entry) {
  if (entry == nullptr) return "null";
  return "{\"position\": " + std::to_string(entry->position) +
         ", \"name\": " + JsonString(os::Cp932ToUtf8ForDisplay(entry->name)) +
         ", \"name_hex\": \"" + HexBytes(entry->name) + "\", \"size\": " +
         std::to_string(entry->size) + "}";
}

std::string JsonDifferences(const std::vector<archive::EntryDifference>& differences,
                            bool same_files) {
  std::string out = std::string("{\"equal\": ") + (same_files ? "true" : "false") +
                    ", \"differences\": [";
  for (std::size_t i = 0; i < differences.size(); ++i) {
    const archive::EntryDifference& difference = differences[i];
    out += std::string(i == 0 ? "\n  " : ",\n  ") + "{\"kind\": \"" +
           archive::DifferenceWord(difference.kind) + "\", \"a\": " + JsonEntry(difference.a) +
           ", \"b\": " + JsonEntry(difference.b) +
           ", \"data_differs\": " + (difference.data_differs ? "true" : "false") + "}";
  }
  return out + (differences.empty() ? "]}" : "\n]}");
}

std::string Summary(const std::vector<archive::EntryDifference>& differences) {
  std::vector<std::string> counts;
  for (std::size_t i = 0; i < differences.size();) {
    std::size_t j = i;
    while (j < differences.size() && differences[j].kind == differences[i].kind) ++j;
    counts.push_back(std::to_string(j - i) + " " + archive::DifferenceWord(differences[i].kind));
    i = j;
  }
  return Join(counts, ", ");
}

}  // namespace

int DiffCommand(const std::string& first, const std::string& second, bool json) {
  ArchiveFile a;
  ArchiveFile b;
  // Entries whose bytes cannot be read compare as nothing: unreadable, as status says.
  if (!OpenArchive(first, &a) || !OpenArchive(second, &b) || !RequireReadable(a) ||
      !RequireReadable(b)) {
    return kExitUnreadable;
  }
  const std::vector<archive::EntryDifference> differences = archive::DiffArchives(
      a.examination, b.examination,
      [&a, &b](const archive::ExaminedEntry& x, const archive::ExaminedEntry& y) {
        return SameBytes(&a, x.offset, &b, y.offset, x.size);
      });
  // The same entries can still sit in different files: other bytes after a
  // name's NUL, gaps, bytes after the data.
  const bool same_files = differences.empty() && a.examination.file_size == b.examination.file_size &&
                          SameBytes(&a, 0, &b, 0, a.examination.file_size);

  if (json) {
    std::cout << JsonDifferences(differences, same_files) << '\n';
  } else if (same_files) {
    PrintLine(first + " and " + second + ": the same bytes");
  } else if (differences.empty()) {
    PrintLine(first + " and " + second + ": the same entries, in files that differ elsewhere "
              "(bytes after a name, gaps, or bytes after the data)");
  } else {
    for (const archive::EntryDifference& difference : differences) PrintLine(DifferenceLine(difference));
    PrintLine(first + " -> " + second + ": " + Summary(differences));
  }
  return same_files ? kExitOk : kExitProblems;
}

}  // namespace mesarc
