// Bytes and numbers as hex digits, the way the tools show them.
#pragma once

#include <string>

namespace os {

constexpr char kHexDigits[] = "0123456789abcdef";

// Two lower-case digits for a byte.
inline std::string HexByte(unsigned char byte) {
  return {kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

}  // namespace archive
