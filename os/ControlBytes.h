// Text from outside (a registry value, a file name, an entry name, a line of
// an order file) on its way to a terminal or a log: control characters are
// written as \xNN, so that none can move the cursor, retitle the window or
// end a line. One rule for every printer of such text.
#pragma once

#include <string>
#include <string_view>

namespace os {

// C0 bytes (0x00 to 0x1F) and DEL. Safe on Shift-JIS and UTF-8 alike: these
// bytes are never part of a multi-byte character in either.
std::string EscapeControlBytes(std::string_view text);

// UTF-8 text: C0, DEL and the C1 controls (U+0080 to U+009F, or a stray
// byte 0x80 to 0x9F that starts no character), each as \xNN. With
// keep_line_feeds, a line feed stays as it is (the program's own texts have
// several lines).
std::string EscapeControlCharacters(std::string_view utf8, bool keep_line_feeds = false);

}  // namespace os
