#include "platform/posix/WineRegistry.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "os/Registry.h"
#include "platform/posix/CodePage.h"
#include "platform/posix/RegFileParser.h"
#include "platform/posix/WinePaths.h"

namespace platform::posix {
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

RegistryLookup g_last_lookup;

void Record(std::string what, std::string why) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_last_lookup = {std::move(what), std::move(why)};
}

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
std::string WhyUnreadable(const std::string& prefix, const std::string& reg_path) {
  if (!IsDirectory(prefix)) return "the prefix does not exist";
  struct stat info;
  if (stat(reg_path.c_str(), &info) != 0) return "there is no system.reg";
  return "system.reg cannot be read";
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

// The key at `path` of system.reg (as this 32-bit program sees it), with the
// file that holds it; null when either is missing, with the reason recorded.
const RegFileKey* LoadKey(const std::u16string& path, std::shared_ptr<const RegFile>* file) {
  const std::string what = ShownKey(path);
  const std::string prefix = WinePrefixDirectory();
  if (prefix.empty()) {
    Record(what, "no Wine prefix holds the game");
    return nullptr;
  }
  const std::string reg_path = prefix + "/system.reg";
  std::string text;
  if (!ReadWholeFile(reg_path, &text)) {
    Record(what, WhyUnreadable(prefix, reg_path));
    return nullptr;
  }
  auto parsed = std::make_shared<RegFile>();
  if (!parsed->ParseFor32BitKey(text, path)) {
    Record(what, "system.reg is not a Wine registry file");
    return nullptr;
  }
  *file = parsed;
  const RegFileKey* key = parsed->FindKey(parsed->StoredPath32(path));
  if (!key) {
    Record(what, "no key " + what +
                     (parsed->win64() ? " (looked up under Software\\Wow6432Node, as a 32-bit "
                                        "program sees a 64-bit prefix)"
                                      : ""));
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
  const RegFileKey* found = LoadKey(path, &file);
  if (!found) return kErrorFileNotFound;

  std::lock_guard<std::mutex> lock(g_mutex);
  g_last_lookup = {ShownKey(path), std::string()};
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
  std::u16string key_path;
  if (key == kHkeyLocalMachine) {
    open = LoadKey(key_path, &file);
    if (!open) return kErrorFileNotFound;
  } else {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_open_keys.find(key);
    if (found == g_open_keys.end()) return kErrorInvalidHandle;
    file = found->second.file;  // keeps the key alive outside the lock
    open = found->second.key;
    key_path = found->second.path;
  }
  const std::string shown_name = Cp932ToUtf8Lossy(name ? name : "");
  const std::string what = "the value " + shown_name + " of " + ShownKey(key_path);

  std::u16string units;
  const RegFileValue* value = AnsiToUnits(name, &units) ? open->FindValue(units) : nullptr;
  if (!value) {
    Record(what, "no value " + shown_name + " in " + ShownKey(key_path));
    return kErrorFileNotFound;
  }

  std::string converted;
  const std::string* bytes = &value->data;
  if (IsStringType(value->type)) {
    if (!UnitsToAnsi(value->data, &converted)) {
      Record(what, what + " is not text Shift-JIS can hold (an unpaired surrogate, or more "
                          "characters Shift-JIS lacks than its user-defined codes)");
      return kErrorNoUnicodeTranslation;
    }
    bytes = &converted;
  }
  if (type) *type = value->type;
  const std::uint32_t room = size ? *size : 0;
  const std::int32_t status = DeliverRegistryValue(*bytes, value->type, data, size);
  Record(what, status != kErrorMoreData ? std::string()
                                        : what + " holds " + std::to_string(*size) +
                                              " bytes, more than " + std::to_string(room));
  return status;
}

RegistryLookup LastRegistryLookup() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_last_lookup;
}

std::int32_t WineRegistryClose(NativeHandle key) {
  if (key == kHkeyLocalMachine) return kErrorSuccess;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_open_keys.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace platform::posix
