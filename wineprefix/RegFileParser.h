// Wine's text registry (system.reg, user.reg): parsed into keys and values,
// read-only. Names are UTF-16 code units, compared case-insensitively as the
// registry does.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wineprefix {

// One value as the registry holds it: string types as UTF-16LE bytes with
// their terminating NUL (when the file wrote them as strings), everything else
// as the raw bytes.
struct RegFileValue {
  std::uint32_t type = 0;
  std::string data;
};

struct RegFileKey {
  // Keyed by the folded name; "" is the default value ("@").
  std::map<std::u16string, RegFileValue> values;
  // A "#link" key (a registry symbolic link): not followed, so not found.
  bool link = false;

  const RegFileValue* FindValue(std::u16string_view name) const;
};

class RegFile {
 public:
  // Parses the file's text. False when it does not start with Wine's header
  // line; lines that do not parse are skipped.
  bool Parse(std::string_view text);
  // The same for one key as a 32-bit program names it: keeps only that key's
  // values and the root, which is all an open needs and spares building every
  // key of a whole prefix.
  bool ParseFor32BitKey(std::string_view text, std::u16string_view path);

  // "#arch=win64": 32-bit programs see Software\ through Wow6432Node.
  bool win64() const { return win64_; }
  // A path of '\'-separated components, empty components ignored; "" is the
  // root. Keys named only as the parents of others exist too.
  const RegFileKey* FindKey(std::u16string_view path) const;
  // Where a 32-bit program's `path` is stored (normalized): in a win64 prefix
  // Software\X lies under Software\Wow6432Node\X, as Windows redirects it.
  std::u16string StoredPath32(std::u16string_view path) const;

 private:
  // path32: the one key to keep, as a 32-bit program names it; null for all.
  bool ParseText(std::string_view text, const std::u16string_view* path32);
  RegFileKey* AddKey(const std::u16string& normalized);

  std::unordered_map<std::u16string, RegFileKey> keys_;  // by folded, normalized path
  bool win64_ = false;
};

// The key path split at '\', empty components dropped.
std::vector<std::u16string> SplitRegistryPath(std::u16string_view path);
// Registry name comparison: ASCII, Latin-1 and full-width letters fold.
std::u16string FoldRegistryName(std::u16string_view name);
bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);

// UTF-8 to UTF-16 code units; invalid sequences are dropped, as Wine does
// when it reads raw UTF-8 from a registry file.
std::u16string Utf8ToUtf16Lenient(std::string_view utf8);
// Code units as little-endian bytes.
std::string Utf16ToLeBytes(std::u16string_view units);

}  // namespace wineprefix
