// Names and paths derived from the executable's own location.
#pragma once

#include <cstddef>

constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kBaseNameSize = 256;

struct ModuleNames {
  char base_name[kBaseNameSize];  // file name without folder and extension
  char module_folder[kMaxPath];   // drive and folder, ending in a separator
  char ini_path[kMaxPath];        // folder, base name and ".INI"
};

using LeadBytePredicate = bool (*)(unsigned char byte);

// Splits module_path into drive, folder and base name, treating a lead byte and
// the byte after it as one character (so the 0x5C trail byte of a double-byte
// character is never a separator). Every field of out is NUL-terminated and
// cut to fit; a null or empty module_path leaves them all empty.
void DeriveModuleNames(const char* module_path, LeadBytePredicate is_lead_byte,
                       ModuleNames* out);
