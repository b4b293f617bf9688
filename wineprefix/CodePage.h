// Conversions between Shift-JIS (code page 932), UTF-8 and UTF-16, via iconv.
#pragma once

#include <string>
#include <string_view>

namespace wineprefix {

// Each returns false (and leaves out unspecified) when the input holds a
// sequence the target cannot express exactly, as Windows without best fit.
bool Cp932ToUtf8(std::string_view cp932, std::string* out);
bool Utf8ToCp932(std::string_view utf8, std::string* out);
// UTF-16 code units, little-endian bytes.
bool Utf16LeToCp932(std::string_view utf16le, std::string* out);
bool Utf16LeToUtf8(std::string_view utf16le, std::string* out);

// For display: invalid bytes become U+FFFD instead of failing.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

// Utf16LeToCp932, except that a character code page 932 lacks (é, say) is
// given one of its user-defined codes (0xF040 to 0xF9FC), the first free one,
// and keeps it for the life of the process: the Linux build's stand-in for
// the short name through which the Windows build reaches such a folder. The
// characters of the user-defined range itself take aliases too, so that
// every such code this process made means one thing. Cp932ToUtf8 and
// Cp932ToUtf8Lossy turn the aliases back into their characters, so file
// calls reach the real name and messages show it. False for an unpaired
// surrogate, or when all 1880 codes are taken.
bool Utf16LeToCp932WithAliases(std::string_view utf16le, std::string* out);

}  // namespace wineprefix
