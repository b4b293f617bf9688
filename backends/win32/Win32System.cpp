// The Windows backend: each operation is the Win32 call it is named after.
// Paths and names arrive in Shift-JIS and go to the wide calls, so nothing
// depends on the system's ANSI code page.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "os/Registry.h"
#include "os/System.h"
#include "backends/win32/Win32Dialog.h"
#include "backends/win32/WideText.h"

namespace os {
namespace win32 = backends::win32;
namespace {

HANDLE ToHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle FromHandle(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

struct OpenFlags {
  DWORD access, share, disposition, attributes;
};

OpenFlags FlagsFor(FileOpenMode mode) {
  if (mode == FileOpenMode::kReadShareRead) return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0};
  return {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL};
}

constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;

// The runtime's stream keeps errno; callers of this seam ask GetLastError.
bool FailStream() {
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}

std::wstring Wide(const char* cp932) { return win32::WideFromCp932(cp932); }

// The whole value as stored, read again while it grows between the calls.
LONG QueryWide(HKEY key, const wchar_t* name, DWORD* type, std::vector<unsigned char>* stored) {
  DWORD bytes = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &bytes);
  while (status == ERROR_SUCCESS) {
    // Never a null buffer: that would only ask for the size again.
    stored->resize(bytes > 0 ? bytes : 1);
    DWORD got = static_cast<DWORD>(stored->size());
    status = RegQueryValueExW(key, name, nullptr, type, stored->data(), &got);
    if (status == ERROR_SUCCESS) {
      stored->resize(got);
    } else if (status == ERROR_MORE_DATA) {
      bytes = got;
      status = ERROR_SUCCESS;
      continue;
    }
    break;
  }
  return status;
}

// Calls Windows XP lacks; it has no links to files, so nothing to look for.
template <typename Function>
Function Vista(const char* name) {
  // Through void(*)(), the one cast between function types GCC allows.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

// Where an open file really is once every link on the way was followed;
// empty where the system cannot tell.
std::wstring FinalPath(HANDLE file) {
  using Query = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const Query query = Vista<Query>("GetFinalPathNameByHandleW");
  std::wstring path(1024, L'\0');
  const DWORD length = query ? query(file, &path[0], static_cast<DWORD>(path.size()), 0) : 0;
  path.resize(length < path.size() ? length : 0);
  return path;
}

std::wstring FinalPathOf(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring final_path = FinalPath(h);
  CloseHandle(h);
  return final_path;
}

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

// Names are compared as the file system does for the names this program
// writes: ASCII letters in either case.
bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Whether the file open as `file` is the one named `path` in its folder, and
// not one a link there leads to. Under Wine a Unix link looks like a file,
// and deleting it deletes the file it leads to.
bool IsItsOwnName(HANDLE file, const std::wstring& path) {
  const std::wstring at = FinalPath(file);
  if (at.empty()) return true;
  const std::size_t cut = path.find_last_of(L"\\/");
  std::wstring folder = FinalPathOf(cut == std::wstring::npos ? L"." : path.substr(0, cut + 1));
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();  // a drive's root
  const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
  return at.size() == folder.size() + 1 + name.size() && at.compare(0, folder.size(), folder) == 0 &&
         at[folder.size()] == L'\\' && SameName(at.substr(folder.size() + 1), name);
}

// A file left under the new file's name goes; a link there is refused, so
// what it leads to is never touched. One another program holds open stays,
// and its error says why.
bool RemoveStale(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  using Dispose = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  static const Dispose dispose = Vista<Dispose>("SetFileInformationByHandle");
  const bool own = IsItsOwnName(h, path);
  FILE_DISPOSITION_INFO delete_on_close = {TRUE};
  const bool removed =
      own && dispose && dispose(h, FileDispositionInfo, &delete_on_close, sizeof delete_on_close);
  const DWORD error = own ? GetLastError() : ERROR_ACCESS_DENIED;
  CloseHandle(h);
  if (own && !dispose) return DeleteFileW(path.c_str()) != FALSE;
  SetLastError(error);
  return removed;
}

// A new file, never one that appeared under the name since, open to no one
// else until it is closed: another updater cannot write it at the same time.
FILE* CreateUnshared(const std::wstring& path) {
  SetLastError(ERROR_SUCCESS);
  const int fd = _wsopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                         _S_IREAD | _S_IWRITE);
  FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (stream) return stream;
  // The runtime keeps its own error; keep the system's, or say why.
  const DWORD error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_ACCESS_DENIED;
  if (fd >= 0) {
    _close(fd);
    DeleteFileW(path.c_str());
  }
  SetLastError(error);
  return nullptr;
}

class Win32System final : public System {
 public:
  NativeHandle FileOpen(const char* path, FileOpenMode mode) override {
    OpenFlags f = FlagsFor(mode);
    HANDLE h = CreateFileW(Wide(path).c_str(), f.access, f.share, nullptr, f.disposition,
                           f.attributes, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidHandle : FromHandle(h);
  }
  bool FileRead(NativeHandle f, void* buffer, std::uint32_t count, std::uint32_t* got) override {
    DWORD transferred = 0;
    BOOL ok = ReadFile(ToHandle(f), buffer, count, &transferred, nullptr);
    *got = transferred;
    return ok != FALSE;
  }
  bool FileWrite(NativeHandle f, const void* buffer, std::uint32_t count,
                 std::uint32_t* put) override {
    DWORD transferred = 0;
    BOOL ok = WriteFile(ToHandle(f), buffer, count, &transferred, nullptr);
    *put = transferred;
    return ok != FALSE;
  }
  std::uint32_t FileSeek(NativeHandle f, std::uint32_t low, std::int32_t* high,
                         std::uint32_t origin) override {
    LONG high_part = high ? *high : 0;
    DWORD result = SetFilePointer(ToHandle(f), static_cast<LONG>(low), high ? &high_part : nullptr,
                                  origin);
    if (high) *high = high_part;
    return result;
  }
  std::uint32_t FileSize(NativeHandle f, std::uint32_t* high) override {
    DWORD high_part = 0;
    DWORD low = GetFileSize(ToHandle(f), &high_part);
    if (high) *high = high_part;
    return low;
  }
  bool FileClose(NativeHandle f) override { return CloseHandle(ToHandle(f)) != FALSE; }
  NativeHandle FileDuplicate(NativeHandle f) override {
    HANDLE copy = nullptr;
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, ToHandle(f), process, &copy, GENERIC_READ, TRUE, 0)) {
      return kNoHandle;
    }
    return FromHandle(copy);
  }

  StreamHandle StreamCreate(const char* path) override {
    const std::wstring wide = Wide(path);
    if (!RemoveStale(wide)) return nullptr;
    FILE* stream = CreateUnshared(wide);
    if (!stream) return nullptr;
    // Entries arrive one at a time, many of them small: write in large blocks.
    setvbuf(stream, nullptr, _IOFBF, kStreamBufferSize);
    return stream;
  }
  bool StreamWrite(StreamHandle s, const void* data, std::size_t size) override {
    if (size == 0) return true;
    return std::fwrite(data, 1, size, static_cast<FILE*>(s)) == size || FailStream();
  }
  bool StreamSync(StreamHandle s) override {
    FILE* stream = static_cast<FILE*>(s);
    if (std::fflush(stream) != 0) return FailStream();
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return FlushFileBuffers(h) != FALSE;
  }
  bool StreamClose(StreamHandle s) override {
    return std::fclose(static_cast<FILE*>(s)) == 0 || FailStream();
  }

  bool PathExists(const char* path) override {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool PathDelete(const char* path) override { return DeleteFileW(Wide(path).c_str()) != FALSE; }
  bool PathMove(const char* from, const char* to) override {
    return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != FALSE;
  }
  std::uint32_t LastError() override { return GetLastError(); }
  // The Win32 code in the message is all Windows has to say.
  std::string TakeFailureCause() override { return std::string(); }
  // Windows ends the process at once when asked to; nothing to hold back.
  void SwapBegins() override {}

  std::int32_t RegistryOpen(NativeHandle root, const char* subkey, std::uint32_t access,
                            NativeHandle* key) override {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExW(reinterpret_cast<HKEY>(root), Wide(subkey).c_str(), 0, access,
                                &opened);
    *key = reinterpret_cast<NativeHandle>(opened);
    return status;
  }
  // As RegQueryValueExA would answer on code page 932, whatever the system's
  // code page: strings come back in CP932, sized and terminated as it does.
  std::int32_t RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override {
    DWORD value_type = 0;
    std::vector<unsigned char> stored;
    LONG status = QueryWide(reinterpret_cast<HKEY>(key), Wide(name).c_str(), &value_type, &stored);
    if (type) *type = value_type;
    if (status != ERROR_SUCCESS) return status;
    if (IsStringType(value_type)) {
      std::wstring text(stored.size() / sizeof(wchar_t), L'\0');
      if (!text.empty()) std::memcpy(&text[0], stored.data(), text.size() * sizeof(wchar_t));
      return win32::DeliverStringValue(text, data, size);
    }
    // Any other type as RegQueryValueExA delivers it: unchanged.
    return DeliverRegistryValue(
        std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size()), value_type,
        data, size);
  }
  std::int32_t RegistryClose(NativeHandle key) override {
    return RegCloseKey(reinterpret_cast<HKEY>(key));
  }

  MessageAnswer ShowMessage(const char* text, const char* caption, CaptionEncoding encoding,
                            MessageStyle style) override {
    return win32::ShowMessageBox(text, caption, encoding, style);
  }

  PayloadBytes FindPayload(int id) override {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "MODULE");
    if (!resource) return {nullptr, 0};
    DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return {static_cast<const unsigned char*>(data), data ? static_cast<std::uint32_t>(size) : 0};
  }
};

}  // namespace

System& NativeSystem() {
  static Win32System system;
  return system;
}

}  // namespace os
