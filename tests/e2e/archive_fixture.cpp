// Makes and checks archives for the end-to-end tests, with the test helper's
// own reader, independent of the updater's.
//   archive_fixture make ARCHIVE NAME:SIZE...
//   archive_fixture verify-update OLD NEW RESOURCES_DIR
//   archive_fixture check ARCHIVE
#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>

#include "support/ArchiveBuilder.h"

namespace {

using archive_test::ParsedArchive;
using archive_test::ParsedEntry;

const char* const kPatchNames[] = {"T27C.MES", "C_TALK00.MES", "C_TALK80.MES", "C_TALK90.MES",
                                   "T09C.MES"};
constexpr std::size_t kPatchCount = 5;

int Fail(const std::string& why) {
  std::fprintf(stderr, "archive_fixture: %s\n", why.c_str());
  return 1;
}

int Make(int argc, char** argv) {
  if (argc < 3) return Fail("usage: make ARCHIVE NAME:SIZE...");
  archive_test::ArchiveBuilder builder;
  for (int i = 3; i < argc; ++i) {
    std::string entry = argv[i];
    std::size_t colon = entry.rfind(':');
    if (colon == std::string::npos) return Fail("entry needs NAME:SIZE: " + entry);
    auto size = static_cast<std::uint32_t>(std::strtoul(entry.c_str() + colon + 1, nullptr, 10));
    builder.AddSized(entry.substr(0, colon), size, static_cast<std::uint32_t>(i));
  }
  std::string bytes = builder.Build();
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    return Fail(std::string("cannot write ") + argv[2]);
  }
  return 0;
}

bool IsPatchName(const std::string& name) {
  for (const char* patch : kPatchNames) {
    if (strcasecmp(name.c_str(), patch) == 0) return true;
  }
  return false;
}

int VerifyUpdate(int argc, char** argv) {
  if (argc != 5) return Fail("usage: verify-update OLD NEW RESOURCES_DIR");
  ParsedArchive old_archive = archive_test::ParseArchiveFile(argv[2]);
  ParsedArchive new_archive = archive_test::ParseArchiveFile(argv[3]);
  if (!old_archive.ok) return Fail("old archive: " + old_archive.error);
  if (!new_archive.ok) return Fail("new archive: " + new_archive.error);
  std::size_t n = old_archive.entries.size();
  if (new_archive.entries.size() != n + kPatchCount) {
    return Fail("count " + std::to_string(new_archive.count) + ", expected " +
                std::to_string(n + kPatchCount));
  }
  if (!new_archive.MeetsLayout()) return Fail("new archive's data is not back to back");
  for (std::size_t i = 0; i < n; ++i) {
    const ParsedEntry& before = old_archive.entries[i];
    const ParsedEntry& after = new_archive.entries[i];
    std::string expected_name = before.name + (IsPatchName(before.name) ? "__" : "");
    if (after.name != expected_name) return Fail("entry " + std::to_string(i) + " is " + after.name);
    if (after.data != before.data) return Fail("entry " + std::to_string(i) + " lost its data");
  }
  for (std::size_t j = 0; j < kPatchCount; ++j) {
    const ParsedEntry& added = new_archive.entries[n + j];
    std::string payload = ReadFileBytes(std::string(argv[4]) + "/" + kPatchNames[j]);
    if (added.name != kPatchNames[j]) return Fail("new entry " + std::to_string(j) + " is " + added.name);
    if (payload.empty() || added.data != payload) return Fail(added.name + " differs from its payload");
  }
  return 0;
}

int Check(int argc, char** argv) {
  if (argc != 3) return Fail("usage: check ARCHIVE");
  ParsedArchive archive = archive_test::ParseArchiveFile(argv[2]);
  if (!archive.ok) return Fail(archive.error);
  if (!archive.MeetsLayout()) return Fail("data is not back to back");
  std::printf("%u entries\n", archive.count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "make") return Make(argc, argv);
  if (command == "verify-update") return VerifyUpdate(argc, argv);
  if (command == "check") return Check(argc, argv);
  return Fail("usage: archive_fixture make|verify-update|check ...");
}
