// Opens arbitrary bytes as an archive and, when that works, runs the whole
// rebuild; then checks the new file against what went in. The sanitizers
// catch memory faults, the checks below catch a wrong archive.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/MesArchive.h"
#include "platform/System.h"

namespace {

// Shows nothing, and does not fsync: stable storage is not under test here
// and would cost most of each run.
class QuietSystem : public platform::ForwardingSystem {
 public:
  platform::MessageAnswer ShowMessage(const char*, const char*, platform::CaptionEncoding,
                                      platform::MessageStyle) override {
    return platform::MessageAnswer::kOk;
  }
  bool StreamSync(platform::StreamHandle) override { return true; }
};

struct Scratch {
  std::string input;
  std::string output;
};

const Scratch& ScratchFiles() {
  static const Scratch scratch = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/mesfuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    return Scratch{pattern + "/mes.arc", pattern + "/mes.arc_"};
  }();
  return scratch;
}

void RemoveScratch() {
  const Scratch& scratch = ScratchFiles();
  unlink(scratch.input.c_str());
  unlink(scratch.output.c_str());
  rmdir(scratch.input.substr(0, scratch.input.rfind('/')).c_str());
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
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
  const std::string out = ReadFile(ScratchFiles().output);
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
  Check(MesArchive::IsCompleteArchive(ScratchFiles().output.c_str()) == 1, "complete");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static QuietSystem quiet;
  platform::SetSystemForTesting(&quiet);
  ScratchFiles();
  atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Scratch& scratch = ScratchFiles();
  if (!WriteFile(scratch.input, data, size)) abort();
  unlink(scratch.output.c_str());

  MesArchive archive;
  if (archive.OpenArchive(scratch.input.c_str()) != 1) return 0;
  const std::uint32_t old_count = archive.count();
  Check(4 + 32ull * old_count <= size, "opened index fits");
  if (archive.LoadIndexForRewrite(scratch.input.c_str(), 5, kNames) != 1) abort();
  for (std::uint32_t j = 0; j < 5; ++j) {
    if (archive.AppendEntry(kNames[j], kSizes[j], Payloads()[j].data()) != 1) abort();
  }
  // Every entry of an archive that opened lies inside it, so the rebuild of
  // a file this small cannot fail.
  Check(archive.WriteArchive(scratch.output.c_str(), 5) == 1, "rebuild failed");
  CheckRebuilt(archive, data, old_count);
  archive.ReleaseArchive();
  return 0;
}
