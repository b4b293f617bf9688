// The five entries the update adds to mes.arc, each paired by position with a
// "MODULE" resource of the executable that holds its new data.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/PatchedCheck.h"
#include "os/System.h"

struct PatchSetEntry {
  const char* name;  // upper case, at most 21 bytes so "__" still fits
  int resource_id;
};

struct PatchSet {
  static constexpr std::uint32_t kCount = 5;
  static const PatchSetEntry kEntries[kCount];
};

// The bytes of one payload resource: read-only, valid until the process ends.
// data is null when the executable does not carry the resource.
os::PayloadBytes LoadPayload(int resource_id);

// Every payload under its entry name, in patch-set order, as the archive
// checks take them. false when the executable lacks one; *missing (when
// given) then names its entry.
bool LoadPatchSetPayloads(std::vector<archive::ExpectedPayload>* payloads,
                          const char** missing = nullptr);

// Silently, for a leftover new archive: true when the file at path is a
// complete archive the reader accepts, laid out as the update writes it
// (every entry whole after the index, back to back), and carries every
// payload of the patch set byte for byte under its name (what `mesarc
// status` calls patched).
bool CarriesPatchSet(const char* path);

// What an installed archive holds, for a player choosing between copies.
enum class ArchiveState { kOriginal, kPartlyPatched, kPatched, kDamaged };
// Silently: kDamaged when the reader would refuse the file (or it cannot be
// read), otherwise how many of the patch set's payloads it carries.
ArchiveState ExamineInstalledArchive(const char* path);
