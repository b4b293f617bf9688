// The program keeps every path and text in Shift-JIS (code page 932),
// whatever the system's ANSI code page is. These helpers convert at the edge
// to the UTF-16 that the wide Win32 calls take and give.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "os/System.h"

namespace backends::win32 {
using namespace os;

constexpr UINT kCp932 = 932;
// What RegQueryValueExA reports for a value no code-page form can express.
constexpr std::int32_t kErrorNoUnicodeTranslation = ERROR_NO_UNICODE_TRANSLATION;

// flags: MB_ERR_INVALID_CHARS to fail on bad input, 0 to substitute.
bool ToWide(UINT code_page, DWORD flags, std::string_view in, std::wstring* out);
// strict: fail when a character has no exact equivalent in the code page
// (UTF-8 cannot be asked for this, and never needs to be).
bool FromWide(UINT code_page, bool strict, std::wstring_view in, std::string* out);

// A CP932 path or name for a wide call. Bytes that are not CP932 become the
// default character, as the ANSI calls do on code page 932. No string (null)
// gives an empty one, which the registry calls take as null.
std::wstring WideFromCp932(const char* cp932);

// A wide path in CP932. A component CP932 cannot hold is replaced by its short
// (8.3) name; false when that does not give a lossless form either.
bool PathToCp932(std::wstring_view path, std::string* cp932);

// RegQueryValueExA's answer for a string value stored as `stored` (with its
// NUL when it was stored with one), reached through RegQueryValueExW: the
// CP932 form (see PathToCp932) written to data when it fits, size set to its
// length in bytes, ERROR_MORE_DATA when it does not fit, and a NUL added after
// an unterminated value when there is room. kErrorNoUnicodeTranslation when
// no lossless CP932 form exists.
std::int32_t DeliverStringValue(std::wstring_view stored, unsigned char* data,
                                std::uint32_t* size);

}  // namespace backends::win32
