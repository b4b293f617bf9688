#include "backends/posix/WineRegistry.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "os/Registry.h"
#include "wineprefix/CodePage.h"
#include "wineprefix/RegFileParser.h"
#include "backends/posix/WinePaths.h"

namespace backends::posix {
using namespace os;
using namespace wineprefix;
namespace {

// An open key: the file as read when it was opened (the registry may change
// underneath, the handle keeps what it saw), the key itself, and the path the
// program named, so that keys opened relative to it redirect the same way.
struct OpenKey {
  std::shared_ptr<const RegFile> file;
  const RegFileKey* key;
  std::u16string path;
};

std::mutex g_mutex;
std::map<NativeHandle, OpenKey> g_open_keys;
// Like Windows handles: small multiples of four, never 0, far from the roots.
NativeHandle g_next_handle = 0x1000;

std::string ShownKey(const std::u16string& path) {
  std::string bytes;
  for (char16_t unit : path) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  std::string utf8;
  if (!Utf16LeToUtf8(bytes, &utf8)) utf8 = "?";
  return "HKEY_LOCAL_MACHINE" + (path.empty() ? std::string() : "\\" + utf8);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Why system.reg could not be read, from the prefix down.
LookupFault WhyUnreadable(const std::string& prefix, const std::string& reg_path) {
  if (!IsDirectory(prefix)) return LookupFault::kNoPrefixFolder;
  struct stat info;
  if (stat(reg_path.c_str(), &info) != 0) return LookupFault::kNoSystemReg;
  return LookupFault::kUnreadable;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  std::streamoff length = in.tellg();
  if (length < 0) return false;
  text->resize(static_cast<std::size_t>(length));
  in.seekg(0);
  in.read(text->data(), length);
  return !in.bad() && in.gcount() == length;
}

// The key at `path` of the prefix's system.reg (as this 32-bit program sees
// it), with the file that holds it; null when either is missing, with the
// reason in lookup.
const RegFileKey* LoadKey(const std::string& prefix, const std::u16string& path,
                          std::shared_ptr<const RegFile>* file, RegistryLookup* lookup) {
  lookup->key = ShownKey(path);
  if (prefix.empty()) {
    lookup->fault = LookupFault::kNoPrefix;
    return nullptr;
  }
  const std::string reg_path = prefix + "/system.reg";
  std::string text;
  if (!ReadWholeFile(reg_path, &text)) {
    lookup->fault = WhyUnreadable(prefix, reg_path);
    return nullptr;
  }
  auto parsed = std::make_shared<RegFile>();
  if (!parsed->ParseFor32BitKey(text, path)) {
    lookup->fault = LookupFault::kNotRegistry;
    return nullptr;
  }
  *file = parsed;
  const RegFileKey* key = parsed->FindKey(parsed->StoredPath32(path));
  if (!key) {
    lookup->fault = LookupFault::kNoKey;
    lookup->win64 = parsed->win64();
  }
  return key;
}

// Names reach us in the ANSI code page (Shift-JIS).
bool AnsiToUnits(const char* ansi, std::u16string* units) {
  units->clear();
  if (!ansi || !*ansi) return true;
  std::string utf8;
  if (!Cp932ToUtf8(ansi, &utf8)) return false;
  *units = Utf8ToUtf16Lenient(utf8);
  return true;
}

// UTF-16LE as stored to Shift-JIS. Where the Windows build reaches a folder
// whose name Shift-JIS cannot hold through its short name, Linux has none: a
// character Shift-JIS lacks takes a user-defined code instead, which the file
// calls turn back into it. An odd last byte is ignored.
bool UnitsToAnsi(std::string_view utf16le, std::string* ansi) {
  utf16le = utf16le.substr(0, utf16le.size() & ~std::size_t{1});
  return Utf16LeToCp932WithAliases(utf16le, ansi);
}

// RegQueryValueExA on an open key; what went wrong goes to lookup.
std::int32_t QueryValue(const RegFileKey& key, const char* name, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size, RegistryLookup* lookup) {
  lookup->value = Cp932ToUtf8Lossy(name ? name : "");
  std::u16string units;
  const RegFileValue* value = AnsiToUnits(name, &units) ? key.FindValue(units) : nullptr;
  if (!value) {
    lookup->fault = LookupFault::kNoValue;
    return kErrorFileNotFound;
  }
  std::string converted;
  const std::string* bytes = &value->data;
  if (IsStringType(value->type)) {
    if (!UnitsToAnsi(value->data, &converted)) {
      lookup->fault = LookupFault::kNotShiftJis;
      return kErrorNoUnicodeTranslation;
    }
    bytes = &converted;
  }
  if (type) *type = value->type;
  lookup->room = size ? *size : 0;
  const std::int32_t status = DeliverRegistryValue(*bytes, value->type, data, size);
  if (status == kErrorMoreData) {
    lookup->fault = LookupFault::kTooLong;
    lookup->size = *size;
  }
  return status;
}

}  // namespace

std::int32_t WineRegistryOpen(NativeHandle root, const char* subkey, std::uint32_t /*access*/,
                              NativeHandle* key) {
  if (!key) return kErrorInvalidParameter;
  *key = kNoHandle;

  std::u16string path;
  if (root != kHkeyLocalMachine) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto parent = g_open_keys.find(root);
    if (parent == g_open_keys.end()) {
      // Other predefined roots (HKEY_CURRENT_USER and the rest) are not emulated.
      return IsPredefinedRoot(root) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    path = parent->second.path + u'\\';
  }
  std::u16string relative;
  if (!AnsiToUnits(subkey, &relative)) return kErrorFileNotFound;
  path += relative;

  std::shared_ptr<const RegFile> file;
  RegistryLookup lookup;
  const RegFileKey* found = LoadKey(WinePrefixDirectory(), path, &file, &lookup);
  if (!found) return kErrorFileNotFound;

  std::lock_guard<std::mutex> lock(g_mutex);
  NativeHandle handle = g_next_handle;
  g_next_handle += 4;
  g_open_keys.emplace(handle, OpenKey{std::move(file), found, std::move(path)});
  *key = handle;
  return kErrorSuccess;
}

std::int32_t WineRegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;

  std::shared_ptr<const RegFile> file;
  const RegFileKey* open = nullptr;
  RegistryLookup lookup;
  if (key == kHkeyLocalMachine) {
    open = LoadKey(WinePrefixDirectory(), std::u16string(), &file, &lookup);
    if (!open) return kErrorFileNotFound;
  } else {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_open_keys.find(key);
    if (found == g_open_keys.end()) return kErrorInvalidHandle;
    file = found->second.file;  // keeps the key alive outside the lock
    open = found->second.key;
  }
  return QueryValue(*open, name, type, data, size, &lookup);
}

RegistryLookup LookUpRegistryValue(const std::string& prefix, const char* subkey,
                                   const char* name, std::uint32_t room) {
  RegistryLookup lookup;
  std::u16string path;
  if (!AnsiToUnits(subkey, &path)) {
    lookup.fault = LookupFault::kNoKey;
    return lookup;
  }
  std::shared_ptr<const RegFile> file;
  const RegFileKey* key = LoadKey(prefix, path, &file, &lookup);
  if (!key) return lookup;
  std::string buffer(room, '\0');
  std::uint32_t type = 0, size = room;
  QueryValue(*key, name, &type, reinterpret_cast<unsigned char*>(&buffer[0]), &size, &lookup);
  return lookup;
}

std::int32_t WineRegistryClose(NativeHandle key) {
  if (key == kHkeyLocalMachine) return kErrorSuccess;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_open_keys.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace backends::posix
