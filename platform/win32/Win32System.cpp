// The Windows backend: each operation is the Win32 call it is named after.
#include <windows.h>

#include <io.h>

#include <cstdio>

#include "platform/System.h"
#include "platform/win32/Win32Dialog.h"

namespace platform {
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

class Win32System final : public System {
 public:
  NativeHandle FileOpen(const char* path, FileOpenMode mode) override {
    OpenFlags f = FlagsFor(mode);
    HANDLE h = CreateFileA(path, f.access, f.share, nullptr, f.disposition, f.attributes, nullptr);
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
    FILE* stream = std::fopen(path, "wb");
    if (!stream) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
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
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
  }
  bool PathDelete(const char* path) override { return DeleteFileA(path) != FALSE; }
  bool PathMove(const char* from, const char* to) override { return MoveFileA(from, to) != FALSE; }
  std::uint32_t LastError() override { return GetLastError(); }

  std::int32_t RegistryOpen(NativeHandle root, const char* subkey, std::uint32_t access,
                            NativeHandle* key) override {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(reinterpret_cast<HKEY>(root), subkey, 0, access, &opened);
    *key = reinterpret_cast<NativeHandle>(opened);
    return status;
  }
  std::int32_t RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override {
    DWORD value_type = 0, value_size = *size;
    LONG status = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &value_type, data,
                                   &value_size);
    if (type) *type = value_type;
    *size = value_size;
    return status;
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

}  // namespace platform
