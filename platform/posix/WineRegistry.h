// HKEY_LOCAL_MACHINE of a Wine prefix, read from <prefix>/system.reg, with
// the semantics of the Win32 registry open, query and close calls.
#pragma once

#include <cstdint>
#include <string>

#include "os/System.h"

namespace platform::posix {

std::int32_t WineRegistryOpen(NativeHandle root, const char* subkey, std::uint32_t access,
                              NativeHandle* key);
std::int32_t WineRegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* size);
std::int32_t WineRegistryClose(NativeHandle key);

// The last open or query, for the diagnostic after "not installed": what was
// looked up (a key, or "the value N of" a key) and, when it was not found, a
// sentence saying why (empty when it was). English, for the terminal.
struct RegistryLookup {
  std::string what;
  std::string why;
};
RegistryLookup LastRegistryLookup();

}  // namespace platform::posix
