// The Shift-JIS (CP932), UTF-8 and UTF-16 conversions on arbitrary bytes: no
// crash, valid output, and a round trip gives the same text back where the
// conversion loses nothing. CP932 has several codes for some characters
// (NEC and IBM duplicates), so the text, not the bytes, must survive
// CP932 -> UTF-8 -> CP932. UTF-8 and UTF-16 that convert come back byte for
// byte: the characters glibc would take one way only (U+00A5 YEN SIGN to
// 0x5C, which reads back as '\') are refused, as Windows refuses them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "wineprefix/CodePage.h"

using namespace wineprefix;

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "code page conversion is wrong: %s\n", what);
  abort();
}

// Well-formed UTF-8: shortest forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 1;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

void FromCp932(std::string_view cp932) {
  std::string utf8, back, again;
  const std::string lossy = Cp932ToUtf8Lossy(cp932);
  Check(IsValidUtf8(lossy), "lossy output is UTF-8");
  if (!Cp932ToUtf8(cp932, &utf8)) return;
  Check(IsValidUtf8(utf8), "output is UTF-8");
  Check(lossy == utf8, "lossy and strict agree on valid input");
  Check(Utf8ToCp932(utf8, &back), "text from CP932 converts back");
  Check(Cp932ToUtf8(back, &again) && again == utf8, "CP932 round trip keeps the text");
}

void FromUtf8(std::string_view utf8) {
  std::string cp932, back, again;
  if (!Utf8ToCp932(utf8, &cp932)) return;
  Check(IsValidUtf8(utf8), "only UTF-8 converts");
  Check(Cp932ToUtf8(cp932, &back), "converted text reads back");
  Check(back == utf8, "UTF-8 round trip");
  Check(Utf8ToCp932(back, &again) && again == cp932, "converted bytes stay");
}

void FromUtf16(std::string_view utf16le) {
  std::string utf8, cp932, via_utf8;
  const bool to_utf8 = Utf16LeToUtf8(utf16le, &utf8);
  if (to_utf8) Check(IsValidUtf8(utf8), "UTF-16 gives UTF-8");
  if (!Utf16LeToCp932(utf16le, &cp932)) return;
  Check(to_utf8, "what converts to CP932 converts to UTF-8");
  Check(Utf8ToCp932(utf8, &via_utf8) && via_utf8 == cp932, "both ways to CP932 agree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FromCp932(bytes);
  FromUtf8(bytes);
  FromUtf16(bytes);
  return 0;
}
