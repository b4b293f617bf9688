// mesarc's examiner and packer. Each input is examined as an archive (its
// verdict must match the updater's reader, run on the in-memory backend),
// and also read as a list of entries to pack: an archive packed from them
// must examine clean and give back the same names, sizes and bytes. Every
// archive that check passes, given or packed, must come back byte for byte
// from extract and pack: its name fields through order-file lines, its data
// as it lies.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchivePacker.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "archive/EntryOrder.h"
#include "archive/MesArchive.h"
#include "backends/memory/MemorySystem.h"

namespace {

constexpr const char* kArchive = "C:\\Games\\mes.arc";

backends::memory::MemorySystem& Memory() {
  static backends::memory::MemorySystem memory;
  return memory;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "mesarc is wrong: %s\n", what);
  abort();
}

bool UpdaterOpens(std::string_view bytes) {
  Memory().AddFile(kArchive, bytes);
  MesArchive archive;
  const bool opened = archive.OpenArchive(kArchive) == 1;
  Memory().ClearMessages();
  return opened;
}

void Examine(std::string_view bytes) {
  const archive::Examination examination = archive::ExamineArchive(bytes, bytes.size());
  Check(examination.readable || !examination.error.empty(), "an unreadable file says why");
  Check(archive::ReaderAccepts(examination) == UpdaterOpens(bytes), "the updater's verdict");
  if (!examination.readable) return;
  Check(examination.entries.size() == examination.count, "one entry per index row");
  const std::vector<archive::ArchiveProblem> problems = archive::FindProblems(examination);
  for (const archive::ExaminedEntry& entry : examination.entries) {
    archive::EntryFlags(entry);
    archive::FileNameProblem(entry.name);
    // An unterminated name is no lookup key (the reader refuses the archive).
    if (entry.unterminated) continue;
    const archive::ExaminedEntry* first = archive::FindFirst(examination, entry.name);
    Check(first && first->position <= entry.position && first->name == entry.name, "FindFirst");
    // Duplicates ignore the case of ASCII letters, CP932-aware.
    const archive::ExaminedEntry& earliest = examination.entries[entry.first_with_name];
    Check(earliest.position <= first->position &&
              archive::UpperCaseCp932Aware(earliest.name) == archive::UpperCaseCp932Aware(entry.name),
          "first with the name");
    Check(entry.duplicate == (earliest.position != entry.position), "duplicate flag");
    archive::StoredNameProblem(entry.name);
  }
}

// What extract then pack make of a clean archive, in memory.
std::string Repack(std::string_view bytes, const archive::Examination& examination) {
  const std::vector<std::string> fields = archive::NameFields(bytes, examination.count);
  std::vector<archive::PackEntry> entries;
  for (const archive::ExaminedEntry& entry : examination.entries) {
    archive::OrderLine line;
    std::string error;
    const std::string text = archive::FormatOrderLine(fields[entry.position], "FILE");
    Check(archive::ParseOrderLine(text, &line, &error) == archive::OrderLineKind::kEntry && line.exact,
          "an order line reads back");
    entries.push_back({line.name, bytes.substr(entry.offset, entry.size), true});
  }
  std::string packed;
  std::string error;
  Check(archive::PackArchive(entries, &packed, &error), "a clean archive's entries pack");
  return packed;
}

void RoundTrip(std::string_view bytes) {
  const archive::Examination examination = archive::ExamineArchive(bytes, bytes.size());
  if (!examination.readable || !archive::FindProblems(examination).empty()) return;
  Check(Repack(bytes, examination) == bytes, "extract then pack gives the archive back");
}

// The input as entries: a name byte (its low five bits the name's length,
// its top bit an exact name field), the name, a two-byte data length, the
// data (cut short at the end of the input).
std::vector<archive::PackEntry> EntriesFrom(std::string_view bytes) {
  std::vector<archive::PackEntry> entries;
  std::size_t i = 0;
  while (i < bytes.size() && entries.size() < 64) {
    const auto name_byte = static_cast<unsigned char>(bytes[i++]);
    const std::size_t name_size = name_byte % 32;
    archive::PackEntry entry;
    entry.exact = (name_byte & 0x80) != 0;
    entry.name = std::string(bytes.substr(i, name_size));
    i = std::min(bytes.size(), i + name_size);
    std::size_t data_size = 0;
    for (int k = 0; k < 2 && i < bytes.size(); ++k) {
      data_size |= std::size_t{static_cast<unsigned char>(bytes[i++])} << (8 * k);
    }
    entry.data = bytes.substr(i, data_size % 4096);
    i += entry.data.size();
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string StoredName(const archive::PackEntry& entry) {
  return entry.exact ? std::string(archive::NameInField(entry.name)) : archive::UpperCaseCp932Aware(entry.name);
}

// Exact names may repeat (archives hold repeats); others must differ from
// every earlier name.
bool StorableAndDistinct(const std::vector<archive::PackEntry>& entries) {
  std::set<std::string> stored;
  for (const archive::PackEntry& entry : entries) {
    const std::string problem = entry.exact ? archive::NameFieldProblem(entry.name)
                                            : archive::StoredNameProblem(entry.name);
    if (!problem.empty()) return false;
    if (!stored.insert(archive::UpperCaseCp932Aware(StoredName(entry))).second && !entry.exact) return false;
  }
  return true;
}

void PackAndExamine(std::string_view bytes) {
  const std::vector<archive::PackEntry> entries = EntriesFrom(bytes);
  std::string packed, error;
  const bool ok = archive::PackArchive(entries, &packed, &error);
  Check(ok == StorableAndDistinct(entries), "packs exactly the storable, distinct names");
  if (!ok) {
    Check(!error.empty(), "a refusal says why");
    return;
  }
  const archive::Examination examination = archive::ExamineArchive(packed, packed.size());
  Check(examination.readable && examination.count == entries.size(), "packed archive reads");
  Check(archive::FindProblems(examination).empty(), "packed archive is clean");
  Check(examination.trailing_bytes == 0, "nothing after the last entry");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const archive::ExaminedEntry& entry = examination.entries[i];
    Check(entry.name == StoredName(entries[i]), "name");
    Check(entry.size == entries[i].data.size(), "size");
    Check(packed.compare(entry.offset, entry.size, entries[i].data) == 0, "bytes");
  }
  Check(UpdaterOpens(packed), "the updater opens a packed archive");
  RoundTrip(packed);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  os::UseSystem(&Memory());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Examine(bytes);
  RoundTrip(bytes);
  PackAndExamine(bytes);
  Check(Memory().OpenCount() == 0, "no handle left open");
  return 0;
}
