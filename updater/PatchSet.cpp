#include "updater/PatchSet.h"

// The order pairs names with resources, and is the order of the new entries
// in the index and of their data at the end of the archive.
const PatchSetEntry PatchSet::kEntries[PatchSet::kCount] = {
    {"T27C.MES", 110},     {"C_TALK00.MES", 111}, {"C_TALK80.MES", 112},
    {"C_TALK90.MES", 113}, {"T09C.MES", 114},
};

platform::PayloadBytes LoadPayload(int resource_id) {
  return platform::Sys().FindPayload(resource_id);
}
