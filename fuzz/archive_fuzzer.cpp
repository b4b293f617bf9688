// Opens arbitrary bytes as an archive and, when that works, runs the whole
// rebuild; then checks the new file against what went in. The sanitizers
// catch memory faults, the checks below catch a wrong archive.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/MesArchive.h"
#include "backends/memory/MemorySystem.h"

namespace {

// Files live in memory: the disk is not under test here and would cost most
// of each run.
constexpr const char* kInput = "C:\\Games\\Mirkan\\mes.arc";
constexpr const char* kOutput = "C:\\Games\\Mirkan\\mes.arc_";

backends::memory::MemorySystem& Memory() {
  static backends::memory::MemorySystem memory;
  return memory;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "rebuilt archive is wrong: %s\n", what);
  abort();
}

const char* const kNames[5] = {"T27C.MES", "c_talk00.mes", "A", "EMPTY.MES", "NEW.MES"};
const std::uint32_t kSizes[5] = {700, 33, 1, 0, 4096};

const std::vector<std::vector<unsigned char>>& Payloads() {
  static const std::vector<std::vector<unsigned char>> payloads = [] {
    std::vector<std::vector<unsigned char>> made;
    for (std::uint32_t j = 0; j < 5; ++j) {
      std::vector<unsigned char> data(kSizes[j]);
      for (std::uint32_t k = 0; k < kSizes[j]; ++k) data[k] = static_cast<unsigned char>(k * 7 + j);
      made.push_back(data);
    }
    return made;
  }();
  return payloads;
}

// The new file must hold the count, the index as the object describes it,
// each old entry's own bytes from the input and each payload, back to back.
void CheckRebuilt(const MesArchive& archive, const std::uint8_t* input, std::uint32_t old_count) {
  std::string out;
  Check(Memory().GetFile(kOutput, &out), "output exists");
  const std::uint32_t count = archive.count();
  Check(count == old_count + 5, "count");
  std::uint64_t position = 4 + 32ull * count;
  Check(out.size() >= position, "index fits");
  std::uint32_t stored_count;
  std::memcpy(&stored_count, out.data(), 4);
  Check(stored_count == count, "stored count");
  std::vector<ArchiveEntry> index(count);
  std::memcpy(index.data(), out.data() + 4, 32ull * count);
  ScrambleEntries(index.data(), count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const ArchiveEntry& entry = index[i];
    Check(std::memcmp(&entry, &archive.working_index()[i], sizeof entry) == 0,
          "index as in memory");
    Check(entry.offset == position, "layout");
    Check(position + entry.size <= out.size(), "entry inside file");
    const void* expected = i < old_count
                               ? static_cast<const void*>(input + archive.as_read_index()[i].offset)
                               : Payloads()[i - old_count].data();
    Check(entry.size == (i < old_count ? archive.as_read_index()[i].size : kSizes[i - old_count]),
          "size");
    Check(entry.size == 0 || std::memcmp(out.data() + position, expected, entry.size) == 0, "data");
    position += entry.size;
  }
  Check(position == out.size(), "file ends with the last data");
  Check(MesArchive::IsCompleteArchive(kOutput) == 1, "complete");
}

// Opens the input and, when that works, rebuilds it and checks the result.
void OpenAndRebuild(const std::uint8_t* data, std::size_t size) {
  MesArchive archive;
  if (archive.OpenArchive(kInput) != 1) return;
  const std::uint32_t old_count = archive.count();
  Check(4 + 32ull * old_count <= size, "opened index fits");
  if (archive.LoadIndexForRewrite(kInput, 5, kNames) != 1) abort();
  for (std::uint32_t j = 0; j < 5; ++j) {
    if (archive.AppendEntry(kNames[j], kSizes[j], Payloads()[j].data()) != 1) abort();
  }
  // Every entry of an archive that opened lies inside it, so the rebuild of
  // a file this small cannot fail.
  Check(archive.WriteArchive(kOutput, 5) == 1, "rebuild failed");
  Check(Memory().messages().empty(), "no message for a sound rebuild");
  CheckRebuilt(archive, data, old_count);
  archive.ReleaseArchive();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  os::UseSystem(&Memory());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  backends::memory::MemorySystem& memory = Memory();
  memory.AddFile(kInput, std::string_view(reinterpret_cast<const char*>(data), size));
  memory.PathDelete(kOutput);
  memory.ClearMessages();
  OpenAndRebuild(data, size);
  Check(memory.OpenCount() == 0, "no handle left open");
  return 0;
}
