#include "tools/mesarc/Output.h"

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "os/Hex.h"
#include "os/CodePageText.h"
#include "os/ControlBytes.h"

namespace mesarc {
namespace {

using os::HexByte;
using os::kHexDigits;

void AppendUnicodeEscape(std::string* out, std::uint32_t unit) {
  out->append("\\u");
  for (int shift = 12; shift >= 0; shift -= 4) out->push_back(kHexDigits[(unit >> shift) & 0xF]);
}

// The code point starting at text[*i], advancing *i; U+FFFD for a bad sequence.
std::uint32_t NextCodePoint(const std::string& text, std::size_t* i) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(*i);
  int length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || *i + length > text.size()) {
    ++*i;
    return 0xFFFD;
  }
  std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    code = (code << 6) | (byte(*i + k) & 0x3F);
  }
  *i += length;
  return code;
}

// East Asian Wide and Fullwidth: two terminal columns. CP932 reaches only
// the blocks below; its ambiguous characters (Greek, box drawing, circled
// digits) take one column in the terminals this prints to.
bool IsWide(std::uint32_t code) {
  return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0x303E) ||
         (code >= 0x3041 && code <= 0x33FF) || (code >= 0x3400 && code <= 0x4DBF) ||
         (code >= 0x4E00 && code <= 0x9FFF) || (code >= 0xA000 && code <= 0xA4CF) ||
         (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
         (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
         (code >= 0xFFE0 && code <= 0xFFE6);
}

}  // namespace

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) width += IsWide(NextCodePoint(utf8, &i)) ? 2 : 1;
  return width;
}

std::string ConsoleName(const std::string& cp932) {
  return os::NameForConsole(os::EscapeControlBytes(cp932));
}

std::string NameUtf8(const std::string& cp932) {
  return os::Cp932ToUtf8ForDisplay(os::EscapeControlBytes(cp932));
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    const std::uint32_t code = NextCodePoint(utf8, &i);
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code == '\n') {
      out += "\\n";
    } else if (code >= 0x20 && code < 0x7F) {
      out += static_cast<char>(code);
    } else if (code < 0x10000) {
      AppendUnicodeEscape(&out, code);
    } else {
      const std::uint32_t above = code - 0x10000;
      AppendUnicodeEscape(&out, 0xD800 + (above >> 10));
      AppendUnicodeEscape(&out, 0xDC00 + (above & 0x3FF));
    }
  }
  return out + "\"";
}

std::string HexBytes(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    out += HexByte(static_cast<unsigned char>(c));
  }
  return out;
}

// Messages echo what the user gave (paths, order lines): no control
// character of theirs reaches the terminal raw.
void PrintError(const std::string& message) {
  std::cout.flush();
  std::cerr << "mesarc: " << os::Utf8ForConsole(os::EscapeControlCharacters(message))
            << std::endl;
}

void PrintLine(const std::string& utf8) { std::cout << os::Utf8ForConsole(utf8) << '\n'; }

}  // namespace mesarc
