// HKEY_LOCAL_MACHINE of a Wine prefix, read from <prefix>/system.reg, with
// the semantics of the Win32 registry open, query and close calls.
#pragma once

#include <cstdint>
#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

std::int32_t WineRegistryOpen(NativeHandle root, const char* subkey, std::uint32_t access,
                              NativeHandle* key);
std::int32_t WineRegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* size);
std::int32_t WineRegistryClose(NativeHandle key);

// What a lookup of one value met, as facts for the program's explanation
// after "not installed".
enum class LookupFault {
  kNone,            // the value was delivered
  kNoPrefix,        // no prefix was chosen
  kNoPrefixFolder,  // the prefix's folder does not exist
  kNoSystemReg,
  kUnreadable,      // system.reg exists but cannot be read
  kNotRegistry,     // system.reg lacks Wine's header
  kNoKey,           // win64: looked up under Wow6432Node
  kNoValue,
  kNotShiftJis,     // a string Shift-JIS cannot hold, even with aliases
  kTooLong,         // size bytes, more than room
};
struct RegistryLookup {
  LookupFault fault = LookupFault::kNone;
  std::string key;    // HKEY_LOCAL_MACHINE\... as the program named it, UTF-8
  std::string value;  // the value's name, UTF-8
  bool win64 = false;
  std::uint32_t size = 0;
  std::uint32_t room = 0;
};
// The lookup the program makes (open HKEY_LOCAL_MACHINE\subkey, query `name`
// into room bytes) done again in the prefix's system.reg, for what it met.
// Reads the file anew and keeps nothing.
RegistryLookup LookUpRegistryValue(const std::string& prefix, const char* subkey,
                                   const char* name, std::uint32_t room);

}  // namespace backends::posix
