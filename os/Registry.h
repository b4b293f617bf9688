// The rules of the registry calls that every backend answers by, so that a
// caller sees the same sizes, codes and terminating NUL from each.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/System.h"

namespace os {

// The roots Windows reserves (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, ...): an
// open below one a backend does not hold finds no key rather than a bad handle.
constexpr bool IsPredefinedRoot(NativeHandle key) { return key >= 0x80000000u && key <= 0x800000FFu; }

bool IsStringType(std::uint32_t type);

// RegQueryValueExA's answer for a value of `type` whose bytes (in the ANSI
// form, for a string) are `value`: without size, success and nothing else;
// without data, the length in *size; a buffer smaller than the value gets
// nothing, *size the length and kErrorMoreData; otherwise the value is
// copied, *size is its length, and a string that does not end in a NUL gets
// one after it, not counted, where the buffer has room. Data without a size
// is kErrorInvalidParameter.
std::int32_t DeliverRegistryValue(std::string_view value, std::uint32_t type, unsigned char* data,
                                  std::uint32_t* size);

}  // namespace os
