#include <cstdint>

#include "os/Hex.h"
#include "updater/posix/LauncherConfigs.h"

namespace prefix_search {
namespace {

void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Four hex digits at pos; false when they are not there.
bool ReadHex4(std::string_view s, std::size_t pos, std::uint32_t* value) {
  if (pos + 4 > s.size()) return false;
  *value = 0;
  for (std::size_t i = pos; i < pos + 4; ++i) {
    const int digit = os::HexValue(s[i]);
    if (digit < 0) return false;
    *value = *value * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

// The string whose opening quote is at *pos; *pos ends after its closing
// quote. False on a string that never ends or a bad escape. A lone
// surrogate becomes U+FFFD.
bool ReadJsonString(std::string_view s, std::size_t* pos, std::string* out) {
  std::size_t i = *pos + 1;
  while (i < s.size() && s[i] != '"') {
    if (s[i] != '\\') {
      out->push_back(s[i++]);
      continue;
    }
    if (++i == s.size()) return false;
    const char c = s[i++];
    switch (c) {
      case '"': case '\\': case '/': out->push_back(c); break;
      case 'b': out->push_back('\b'); break;
      case 'f': out->push_back('\f'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'u': {
        std::uint32_t unit;
        if (!ReadHex4(s, i, &unit)) return false;
        i += 4;
        std::uint32_t low;
        if (unit >= 0xD800 && unit < 0xDC00 && s.substr(i, 2) == "\\u" &&
            ReadHex4(s, i + 2, &low) && low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 6;
        } else if (unit >= 0xD800 && unit < 0xE000) {
          unit = 0xFFFD;
        }
        AppendUtf8(unit, out);
        break;
      }
      default: return false;
    }
  }
  if (i >= s.size()) return false;
  *pos = i + 1;
  return true;
}

bool IsJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

// Walks the strings of the text in order: a string that is followed by ':'
// is a member name; when it is "winePrefix" and a string follows, that is
// the answer. Other text between strings (numbers, braces) is skipped, so
// any nesting is read in one pass without recursion.
bool ReadHeroicWinePrefix(std::string_view json, std::string* prefix) {
  std::size_t i = 0;
  while ((i = json.find('"', i)) != std::string_view::npos) {
    std::string name;
    if (!ReadJsonString(json, &i, &name)) return false;
    while (i < json.size() && IsJsonBlank(json[i])) ++i;
    if (i >= json.size() || json[i] != ':' || name != "winePrefix") continue;
    ++i;
    while (i < json.size() && IsJsonBlank(json[i])) ++i;
    if (i >= json.size() || json[i] != '"') continue;
    std::string value;
    if (!ReadJsonString(json, &i, &value)) return false;
    if (value.empty()) continue;
    *prefix = std::move(value);
    return true;
  }
  return false;
}

}  // namespace prefix_search
