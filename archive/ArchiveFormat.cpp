#include "archive/ArchiveFormat.h"

void ScrambleEntry(ArchiveEntry* entry) {
  for (char& byte : entry->name) byte = static_cast<char>(byte ^ kNameMask);
  entry->size ^= kSizeMask;
  entry->offset ^= kOffsetMask;
}

void ScrambleEntries(ArchiveEntry* entries, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) ScrambleEntry(&entries[i]);
}
