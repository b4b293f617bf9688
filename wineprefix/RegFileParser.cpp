#include "wineprefix/RegFileParser.h"

#include <algorithm>

#include "os/Hex.h"

namespace wineprefix {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::uint32_t kTypeSz = 1, kTypeExpandSz = 2, kTypeBinary = 3, kTypeDword = 4,
                        kTypeMultiSz = 7;

bool IsHexDigit(char c) { return os::HexValue(c) >= 0; }

unsigned HexValue(char c) { return static_cast<unsigned>(os::HexValue(c)); }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void SkipSpaces(std::string_view s, std::size_t* pos) {
  while (*pos < s.size() && IsSpace(s[*pos])) ++*pos;
}

bool IsTrail(unsigned char c, unsigned char low = 0x80, unsigned char high = 0xBF) {
  return c >= low && c <= high;
}

void AppendCodePoint(char32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at *pos. A byte that does not start a well-formed
// sequence is consumed and dropped.
void DecodeUtf8At(std::string_view s, std::size_t* pos, std::u16string* out) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  std::size_t i = *pos;
  unsigned char lead = byte(i);
  std::size_t left = s.size() - i;
  if (lead < 0x80) {
    out->push_back(lead);
    *pos = i + 1;
    return;
  }
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  char32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no encoded surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  bool ok = length != 0 && left >= length && IsTrail(byte(i + 1), low, high);
  for (std::size_t k = 2; ok && k < length; ++k) ok = IsTrail(byte(i + k));
  if (!ok) {
    *pos = i + 1;
    return;
  }
  for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (byte(i + k) & 0x3F);
  AppendCodePoint(cp, out);
  *pos = i + length;
}

// Decodes Wine's escaped string from *pos up to the unescaped `end`, leaving
// *pos after it. False when `end` never comes.
bool DecodeEscaped(std::string_view s, std::size_t* pos, char end, std::u16string* out) {
  std::size_t i = *pos;
  while (i < s.size() && s[i] != end) {
    if (s[i] != '\\') {
      DecodeUtf8At(s, &i, out);
      continue;
    }
    if (++i == s.size()) return false;
    char c = s[i];
    switch (c) {
      case 'a': out->push_back(u'\a'); ++i; break;
      case 'b': out->push_back(u'\b'); ++i; break;
      case 'e': out->push_back(0x1B); ++i; break;
      case 'f': out->push_back(u'\f'); ++i; break;
      case 'n': out->push_back(u'\n'); ++i; break;
      case 'r': out->push_back(u'\r'); ++i; break;
      case 't': out->push_back(u'\t'); ++i; break;
      case 'v': out->push_back(u'\v'); ++i; break;
      case 'x': {
        ++i;
        // At most four digits: Wine writes the full four when a hex digit follows.
        unsigned unit = 0;
        int digits = 0;
        for (; digits < 4 && i < s.size() && IsHexDigit(s[i]); ++digits) {
          unit = unit * 16 + HexValue(s[i++]);
        }
        out->push_back(digits ? static_cast<char16_t>(unit) : u'x');
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          unsigned unit = 0;
          for (int digits = 0; digits < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++digits) {
            unit = unit * 8 + static_cast<unsigned>(s[i++] - '0');
          }
          out->push_back(static_cast<char16_t>(unit));
        } else {
          // \\, \" and \] stand for themselves, as does any other escaped byte.
          DecodeUtf8At(s, &i, out);
        }
        break;
    }
  }
  if (i >= s.size()) return false;
  *pos = i + 1;
  return true;
}

// Comma-separated hex bytes ("00,ff, 1a"); false on a number above 0xff.
bool ParseHexBytes(std::string_view s, std::size_t* pos, std::string* out) {
  std::size_t i = *pos;
  while (i < s.size() && IsHexDigit(s[i])) {
    unsigned value = 0;
    while (i < s.size() && IsHexDigit(s[i])) {
      value = std::min(value * 16 + HexValue(s[i++]), 0x100u);
    }
    if (value > 0xFF) return false;
    out->push_back(static_cast<char>(value));
    SkipSpaces(s, &i);
    if (i < s.size() && s[i] == ',') ++i;
    SkipSpaces(s, &i);
  }
  *pos = i;
  return true;
}

// The file's lines, without their line ends ('\n' or "\r\n").
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view got = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!got.empty() && got.back() == '\r') got.remove_suffix(1);
    // A NUL ends the line, as it does for the C string reader Wine uses.
    got = got.substr(0, got.find('\0'));
    *line = got;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// The data after "name"=, from its type tag on. False when malformed; hex
// lists continued with a trailing '\' take further lines from `lines`.
bool ParseValueData(std::string_view s, std::size_t i, LineReader* lines, RegFileValue* value) {
  const auto starts = [&](std::string_view tag) { return s.substr(i, tag.size()) == tag; };
  std::uint32_t type = 0;
  bool is_string = true;
  if (starts("\"")) {
    type = kTypeSz, i += 1;
  } else if (starts("str:\"")) {
    type = kTypeSz, i += 5;
  } else if (starts("str(2):\"")) {
    type = kTypeExpandSz, i += 8;
  } else if (starts("str(7):\"")) {
    type = kTypeMultiSz, i += 8;
  } else if (starts("dword:")) {
    i += 6;
    std::uint32_t number = 0;
    std::size_t digits = 0;
    for (; digits < 8 && i < s.size() && IsHexDigit(s[i]); ++digits) {
      number = number * 16 + HexValue(s[i++]);
    }
    SkipSpaces(s, &i);
    if (digits == 0 || i != s.size()) return false;
    value->type = kTypeDword;
    value->data.clear();
    for (int shift = 0; shift < 32; shift += 8) {
      value->data.push_back(static_cast<char>(number >> shift));
    }
    return true;
  } else if (starts("hex:")) {
    type = kTypeBinary, i += 4, is_string = false;
  } else if (starts("hex(")) {
    i += 4;
    std::size_t digits = 0;
    for (; digits < 8 && i < s.size() && IsHexDigit(s[i]); ++digits) {
      type = type * 16 + HexValue(s[i++]);
    }
    if (digits == 0 || s.substr(i, 2) != "):") return false;
    i += 2, is_string = false;
  } else {
    return false;
  }

  if (is_string) {
    std::u16string units;
    if (!DecodeEscaped(s, &i, '"', &units)) return false;
    units.push_back(0);
    value->type = type;
    value->data = Utf16ToLeBytes(units);
    return true;
  }

  std::string bytes;
  for (;;) {
    if (!ParseHexBytes(s, &i, &bytes)) return false;
    SkipSpaces(s, &i);
    if (i == s.size()) break;
    if (s[i] != '\\' || !lines->Next(&s)) return false;
    i = 0;
    SkipSpaces(s, &i);
  }
  value->type = type;
  value->data = std::move(bytes);
  return true;
}

char16_t FoldUnit(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);  // full-width A-Z
  return c;
}

// The components folded and joined by one '\\', empty ones dropped: in one
// pass, as every section of a file goes through it.
void NormalizePathInto(std::u16string_view path, std::u16string* joined_out) {
  std::u16string& joined = *joined_out;
  joined.clear();
  bool separator = false;
  for (char16_t c : path) {
    if (c == u'\\') {
      separator = !joined.empty();
      continue;
    }
    if (separator) joined.push_back(u'\\');
    separator = false;
    joined.push_back(FoldUnit(c));
  }
}

std::u16string NormalizedPath(std::u16string_view path) {
  std::u16string joined;
  NormalizePathInto(path, &joined);
  return joined;
}

// Where DecodeEscaped would stop, without decoding: an escaped byte never
// ends the text, and a UTF-8 sequence never holds an ASCII byte.
bool SkipEscaped(std::string_view s, std::size_t* pos, char end) {
  for (std::size_t i = *pos; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i == s.size()) return false;
      continue;
    }
    if (s[i] == end) {
      *pos = i + 1;
      return true;
    }
  }
  return false;
}

// A value of a key that is not kept: only a hex list continued with a
// trailing '\\' takes further lines, so only those are parsed.
void SkipValueData(std::string_view s, std::size_t i, LineReader* lines, RegFileValue* scratch) {
  if (s.substr(i, 4) == "hex:" || s.substr(i, 4) == "hex(") ParseValueData(s, i, lines, scratch);
}

}  // namespace

const RegFileValue* RegFileKey::FindValue(std::u16string_view name) const {
  auto found = values.find(FoldRegistryName(name));
  return found == values.end() ? nullptr : &found->second;
}

bool RegFile::Parse(std::string_view text) { return ParseText(text, nullptr); }

bool RegFile::ParseFor32BitKey(std::string_view text, std::u16string_view path) {
  return ParseText(text, &path);
}

bool RegFile::ParseText(std::string_view text, const std::u16string_view* path32) {
  keys_.clear();
  win64_ = false;
  LineReader lines(text);
  std::string_view line;
  if (!lines.Next(&line) || line != kHeader) return false;
  keys_.try_emplace(std::u16string());  // the root always exists

  RegFileKey* key = nullptr;
  // The section's values are parsed but not kept (ParseFor32BitKey leaves the key out):
  // they still take their continuation lines.
  bool discarding = false;
  bool before_keys = true;
  // Known once the architecture is: at the first section.
  std::u16string only;
  RegFileValue scratch;
  // Reused from section to section: a prefix's file has thousands.
  std::u16string section, normalized;
  while (lines.Next(&line)) {
    std::size_t i = 0;
    SkipSpaces(line, &i);
    if (i == line.size()) continue;
    switch (line[i]) {
      case '[': {
        if (before_keys && path32) only = StoredPath32(*path32);
        before_keys = false;
        key = nullptr;
        discarding = false;
        section.clear();
        ++i;
        // A malformed section drops its values rather than filing them elsewhere.
        if (!DecodeEscaped(line, &i, ']', &section)) break;
        NormalizePathInto(section, &normalized);
        if (!path32 || normalized == only) {
          key = AddKey(normalized);
          break;
        }
        discarding = true;
        // A key below the wanted one proves that it exists.
        if (normalized.size() > only.size() && normalized.compare(0, only.size(), only) == 0 &&
            (only.empty() || normalized[only.size()] == u'\\')) {
          keys_.try_emplace(only);
        }
        break;
      }
      case '@':
      case '"': {
        if (!key && !discarding) break;
        std::u16string name;
        bool is_default = line[i++] == '@';
        const bool named = is_default || (key ? DecodeEscaped(line, &i, '"', &name)
                                              : SkipEscaped(line, &i, '"'));
        if (!named) break;
        SkipSpaces(line, &i);
        if (i == line.size() || line[i] != '=') break;
        ++i;
        SkipSpaces(line, &i);
        if (!key) {
          SkipValueData(line, i, &lines, &scratch);
          break;
        }
        if (!ParseValueData(line, i, &lines, &scratch)) break;
        key->values[FoldRegistryName(name)] = std::move(scratch);
        break;
      }
      case '#': {
        std::string_view option = line.substr(i);
        if (before_keys) {
          if (option == "#arch=win64") win64_ = true;
          if (option == "#arch=win32") win64_ = false;
        } else if (key && option.substr(0, 5) == "#link" && key != &keys_[std::u16string()]) {
          // The root is never a link: "[]" with #link must not hide the whole registry.
          key->link = true;
        }
        break;
      }
      default:  // ";;" comments and anything unrecognised
        break;
    }
  }
  return true;
}

RegFileKey* RegFile::AddKey(const std::u16string& normalized) {
  // Every parent exists as well, even when the file has no section for it.
  for (std::size_t cut = normalized.find(u'\\'); cut != std::u16string::npos;
       cut = normalized.find(u'\\', cut + 1)) {
    keys_.try_emplace(normalized.substr(0, cut));
  }
  return &keys_[normalized];
}

const RegFileKey* RegFile::FindKey(std::u16string_view path) const {
  auto found = keys_.find(NormalizedPath(path));
  if (found == keys_.end() || found->second.link) return nullptr;
  return &found->second;
}

std::u16string RegFile::StoredPath32(std::u16string_view path) const {
  std::vector<std::u16string> components = SplitRegistryPath(path);
  if (win64_ && components.size() >= 2 && RegistryNamesEqual(components[0], u"Software") &&
      !RegistryNamesEqual(components[1], u"Wow6432Node")) {
    components.insert(components.begin() + 1, u"Wow6432Node");
  }
  std::u16string joined;
  for (const std::u16string& component : components) {
    if (!joined.empty()) joined.push_back(u'\\');
    joined += FoldRegistryName(component);
  }
  return joined;
}

std::vector<std::u16string> SplitRegistryPath(std::u16string_view path) {
  std::vector<std::u16string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) components.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = FoldUnit(c);
  return folded;
}

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  }
  return true;
}

std::u16string Utf8ToUtf16Lenient(std::string_view utf8) {
  std::u16string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) DecodeUtf8At(utf8, &pos, &out);
  return out;
}

std::string Utf16ToLeBytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace wineprefix
