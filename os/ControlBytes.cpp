#include "os/ControlBytes.h"

#include "os/Hex.h"

namespace os {
namespace {

void AppendEscape(std::string* out, unsigned value) {
  *out += "\\x" + HexByte(static_cast<unsigned char>(value));
}

bool IsC0OrDel(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0                ? 3
                             : lead >= 0xF0 && lead < 0xF5                ? 4
                                                                          : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsC0OrDel(byte)) AppendEscape(&out, byte);
    else out.push_back(c);
  }
  return out;
}

std::string EscapeControlCharacters(std::string_view utf8, bool keep_line_feeds) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = SequenceLength(utf8, i);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (byte == '\n' && keep_line_feeds) {
      out.push_back('\n');
    } else if (IsC0OrDel(byte) || (length == 0 && byte >= 0x80 && byte <= 0x9F)) {
      AppendEscape(&out, byte);
    } else if (length == 2 && byte == 0xC2 && next <= 0x9F) {
      AppendEscape(&out, next);  // U+0080 to U+009F
    } else {
      // A stray byte that is no control goes through as it is.
      out.append(utf8.substr(i, length == 0 ? 1 : length));
    }
    i += length == 0 ? 1 : length;
  }
  return out;
}

}  // namespace os
