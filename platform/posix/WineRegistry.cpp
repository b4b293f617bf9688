#include "platform/posix/WineRegistry.h"

namespace platform::posix {

// Placeholder until system.reg is read.
std::int32_t WineRegistryOpen(NativeHandle, const char*, std::uint32_t, NativeHandle* key) {
  *key = kNoHandle;
  return kErrorFileNotFound;
}

std::int32_t WineRegistryQuery(NativeHandle, const char*, std::uint32_t*, unsigned char*,
                               std::uint32_t*) {
  return kErrorInvalidHandle;
}

std::int32_t WineRegistryClose(NativeHandle) { return kErrorSuccess; }

}  // namespace platform::posix
