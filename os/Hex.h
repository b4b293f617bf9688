// Bytes and numbers as hex digits, the way the tools show them, and hex
// digits read back (either case).
#pragma once

#include <string>

namespace os {

constexpr char kHexDigits[] = "0123456789abcdef";

// Two lower-case digits for a byte.
inline std::string HexByte(unsigned char byte) {
  return {kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

// The value of one hex digit, or -1 for any other character.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace os
