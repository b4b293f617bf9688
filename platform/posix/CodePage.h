// Conversions between Shift-JIS (code page 932), UTF-8 and UTF-16, via iconv.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// Each returns false (and leaves out unspecified) when the input holds a
// sequence the target cannot express exactly, as Windows without best fit.
bool Cp932ToUtf8(std::string_view cp932, std::string* out);
bool Utf8ToCp932(std::string_view utf8, std::string* out);
// UTF-16 code units, little-endian bytes.
bool Utf16LeToCp932(std::string_view utf16le, std::string* out);
bool Utf16LeToUtf8(std::string_view utf16le, std::string* out);

// For display: invalid bytes become U+FFFD instead of failing.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

}  // namespace platform::posix
