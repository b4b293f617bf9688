// The system.reg parser on text from anywhere: a player's editor, a Wine of
// another version, a file cut short. Each input is parsed whole and for the
// one key the updater opens (the two must agree on that key), and its bytes
// also become a value written in every escape form Wine's files use, which
// must read back as written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "wineprefix/RegFileParser.h"

using wineprefix::RegFile;
using wineprefix::RegFileKey;
using wineprefix::RegFileValue;

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "registry parser is wrong: %s\n", what);
  abort();
}

constexpr std::u16string_view kGameKey = u"Software\\velk\\MIRKAN";

bool SameValues(const RegFileKey& a, const RegFileKey& b) {
  if (a.values.size() != b.values.size()) return false;
  for (const auto& [name, value] : a.values) {
    const RegFileValue* other = b.FindValue(name);
    if (!other || other->type != value.type || other->data != value.data) return false;
  }
  return true;
}

// The whole parse and the one-key parse see the same key and values.
void ParseAsText(std::string_view text) {
  RegFile whole, one;
  const bool parsed = whole.Parse(text);
  Check(one.ParseFor32BitKey(text, kGameKey) == parsed, "both parses accept the header");
  if (!parsed) return;
  Check(whole.win64() == one.win64(), "architecture");
  Check(whole.FindKey(u"") != nullptr, "the root exists");
  const RegFileKey* a = whole.FindKey(whole.StoredPath32(kGameKey));
  const RegFileKey* b = one.FindKey(one.StoredPath32(kGameKey));
  Check((a == nullptr) == (b == nullptr), "the key exists in both or neither");
  if (a) Check(SameValues(*a, *b), "the key's values");
}

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Printf(const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

enum class Escape { kHex4, kOctal, kNamed, kMinimal };

// units in one escape form: every unit as \xHHHH; as three-digit octal where
// it fits; as the named escapes (\n, \", \\, \]) with everything else raw
// UTF-8; or as Wine writes: printable ASCII raw, the rest \x with as few
// digits as the next character allows.
std::string Escaped(std::u16string_view units, Escape form) {
  std::string out;
  static constexpr std::string_view kNamedFrom = "\a\b\x1b\f\n\r\t\v\"\\]";
  static constexpr std::string_view kNamedTo = "abefnrtv\"\\]";
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    const bool next_is_hex = i + 1 < units.size() && IsHexDigit(units[i + 1]);
    const bool surrogate_pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() &&
                                units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    const std::size_t named = c < 0x80 ? kNamedFrom.find(static_cast<char>(c)) : std::string::npos;
    if (form == Escape::kOctal && c < 0x200) {
      out += Printf("\\%03o", c);
    } else if (form == Escape::kNamed && named != std::string::npos && c != 0) {
      out += '\\';
      out += kNamedTo[named];
    } else if (form == Escape::kNamed && surrogate_pair) {
      AppendUtf8(0x10000 + ((char32_t{c} - 0xD800) << 10) + (units[++i] - 0xDC00), &out);
    } else if (form == Escape::kNamed && c != 0 && (c < 0xD800 || c > 0xDFFF)) {
      AppendUtf8(c, &out);
    } else if (form == Escape::kMinimal && c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else if (form == Escape::kMinimal && !next_is_hex) {
      out += Printf("\\x%x", c);
    } else {
      out += Printf("\\x%04x", c);
    }
  }
  return out;
}

std::string HexList(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += Printf("%02x", static_cast<unsigned char>(bytes[i]));
    if (i + 1 < bytes.size()) out += (i % 16 == 15) ? ",\\\n  " : ",";
  }
  return out;
}

void CheckString(const RegFileKey& key, std::u16string_view name, std::uint32_t type,
                 std::u16string_view units) {
  const RegFileValue* value = key.FindValue(name);
  Check(value != nullptr, "escaped value present");
  std::u16string expected(units);
  expected.push_back(0);
  Check(value->type == type, "escaped value's type");
  Check(value->data == wineprefix::Utf16ToLeBytes(expected), "escaped value reads back");
}

// The input's bytes as UTF-16 units and as raw bytes, written in each form.
void RoundTrip(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size() && units.size() < 64; i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                     "#arch=win32\n\n"
                     "[Software\\\\velk\\\\MIRKAN] 1700000000\n#time=1d9a1b2c3d4e5f6\n";
  text += "\"hex4\"=str:\"" + Escaped(units, Escape::kHex4) + "\"\n";
  text += "\"octal\"=str(2):\"" + Escaped(units, Escape::kOctal) + "\"\n";
  text += "\"named\"=str(7):\"" + Escaped(units, Escape::kNamed) + "\"\n";
  text += "\"minimal\"=\"" + Escaped(units, Escape::kMinimal) + "\"\n";
  text += "\"n:" + Escaped(units, Escape::kNamed) + "\"=dword:0000002a\n";
  text += "\"bytes\"=hex(3):" + HexList(bytes.substr(0, 200)) + "\n";
  text += "\"after\"=dword:00000001\n";

  RegFile file;
  Check(file.Parse(text), "written file parses");
  const RegFileKey* key = file.FindKey(kGameKey);
  Check(key != nullptr, "written key present");
  CheckString(*key, u"hex4", 1, units);
  CheckString(*key, u"octal", 2, units);
  CheckString(*key, u"named", 7, units);
  CheckString(*key, u"minimal", 1, units);
  const RegFileValue* named = key->FindValue(u"n:" + units);
  Check(named && named->type == 4 && named->data == std::string("\x2a\0\0\0", 4),
        "escaped name reads back");
  const RegFileValue* raw = key->FindValue(u"bytes");
  Check(raw && raw->type == 3 && raw->data == bytes.substr(0, 200), "hex list reads back");
  Check(key->FindValue(u"after") != nullptr, "the value after the hex list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParseAsText(text);
  RoundTrip(text);
  return 0;
}
