// The operating-system seam: every call the program makes to the operating
// system goes through one System object. Each build links exactly one backend
// (backends/win32 or backends/posix); tests substitute backends/memory, behind their own
// ForwardingSystem to count calls or inject failures.
//
// The operations keep the Windows calling conventions (handles, 32-bit sizes,
// Win32 error codes), because the classes above them are written in those
// terms. The posix backend emulates them on top of a Wine prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

// A file or registry handle. 0 is "none" everywhere in the program.
using NativeHandle = std::uintptr_t;
constexpr NativeHandle kNoHandle = 0;
// What a failed FileOpen returns, like Win32's INVALID_HANDLE_VALUE.
constexpr NativeHandle kInvalidHandle = ~NativeHandle{0};

// The two ways the program opens files (the Win32 flag sets it uses).
enum class FileOpenMode {
  kReadShareRead,          // GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
  kWriteTruncateShareNone  // GENERIC_WRITE, no sharing, CREATE_ALWAYS, NORMAL
};

// Move methods of SetFilePointer.
enum SeekOrigin : std::uint32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };
constexpr std::uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;
constexpr std::uint32_t kInvalidFileSize = 0xFFFFFFFFu;

// Win32 error codes, reported by both backends.
enum Win32Error : std::uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorSharingViolation = 32,
  kErrorHandleEof = 38,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorAlreadyExists = 183,
  kErrorMoreData = 234,
  kErrorNoUnicodeTranslation = 1113,
};

// Registry roots and access masks, with their Win32 values.
constexpr NativeHandle kHkeyLocalMachine = 0x80000002u;
constexpr std::uint32_t kKeyAllAccess = 0xF003Fu;
enum RegistryType : std::uint32_t {
  kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7
};

enum class MessageStyle { kInformation, kWarning, kQuestion };
// How a caption is encoded: fixed captions are Shift-JIS like every text; the
// executable's base name is as ModuleFileName gave it (Shift-JIS on Windows,
// the file system's bytes on Linux).
enum class CaptionEncoding { kShiftJis, kSystem };
enum class MessageAnswer { kOk, kYes, kNo };

// A message box as a backend or a test keeps it once shown: the caption and
// the text in the encoding the keeper says, and the style.
struct ShownMessage {
  std::string caption;
  std::string text;
  MessageStyle style;
};

// A payload resource carried in the executable: read-only, valid for the life
// of the process. data is null when the resource does not exist.
struct PayloadBytes {
  const unsigned char* data;
  std::uint32_t size;
};

// A buffered output stream opened for binary writing ("wb").
using StreamHandle = void*;

// How a copy from a file into a stream ended.
enum class CopyResult { kCopied, kReadFailed, kWriteFailed, kNoMemory };

// The contract every backend keeps (backends/win32, backends/posix and
// backends/memory; tests/unit/SystemContractTest runs it on each). Paths are
// Shift-JIS. A failed call leaves its Win32 code for LastError; a call that
// succeeds may leave any code there, unless it says otherwise. "Refused (32)"
// means the call fails with kErrorSharingViolation and changes nothing.
// Where a folder on the way is missing a backend answers kErrorPathNotFound
// (Windows, memory) or kErrorFileNotFound (POSIX cannot tell the two apart);
// a missing file in an existing folder is always kErrorFileNotFound.
class System {
 public:
  virtual ~System() = default;

  // Files: each is one Win32 call (create, read, write, set the pointer, get
  // the size, close, duplicate).
  //
  // kReadShareRead opens an existing file for reading; a missing one fails
  // (kErrorFileNotFound), a folder fails (kErrorAccessDenied). Any number of
  // such readers share the file; while one holds it, a writer's open, a
  // stream, a delete and a move of the file are refused (32).
  // kWriteTruncateShareNone creates the file or empties an existing one, and
  // shares it with no one: every other open, stream, delete or move of it is
  // refused (32) until it is closed. Refused because of a reader, it leaves
  // the file's bytes as they were. kInvalidHandle on failure.
  virtual NativeHandle FileOpen(const char* path, FileOpenMode mode) = 0;
  // Reads up to count bytes at the handle's position and moves it on. A read
  // that meets the end of the file succeeds with fewer bytes (0 at the end).
  // Fails on a handle opened for writing only.
  virtual bool FileRead(NativeHandle file, void* buffer, std::uint32_t count,
                        std::uint32_t* transferred) = 0;
  // Writes all count bytes at the handle's position, growing the file. Fails
  // on a handle opened for reading only (the file unchanged), and with
  // kErrorDiskFull when the disk is.
  virtual bool FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
                         std::uint32_t* transferred) = 0;
  // Returns the low part of the new position, or kInvalidSetFilePointer.
  // high, when given, holds the high part of the distance on entry and of the
  // new position on return; without it the distance is a signed 32-bit
  // value. A position before the start of the file fails; one past its end
  // is allowed. Success leaves kErrorSuccess, so a position whose low part
  // is all ones can be told from a failure.
  virtual std::uint32_t FileSeek(NativeHandle file, std::uint32_t distance_low,
                                 std::int32_t* distance_high, std::uint32_t origin) = 0;
  // The file's size as it is now (writes through any handle count), low
  // part returned and high part in *size_high; kInvalidFileSize on failure.
  virtual std::uint32_t FileSize(NativeHandle file, std::uint32_t* size_high) = 0;
  // Closes the handle; another close of it fails.
  virtual bool FileClose(NativeHandle file) = 0;
  // A new read-only, inheritable handle to the same open file: it shares the
  // position and the sharing of the handle it came from, and holds the file
  // until it is closed too. kNoHandle on failure.
  virtual NativeHandle FileDuplicate(NativeHandle file) = 0;

  // The runtime's buffered binary output stream for the program's own new
  // file: whatever file was under the name goes first (a link's name goes,
  // never what it leads to), and a new, empty file is made. It shares the
  // file with no one: while it is open, every open, stream, delete or move
  // of the file is refused (32), a second stream for the same name included.
  // A file under the name that someone holds open is refused (32) and kept
  // as it is. nullptr on failure.
  virtual StreamHandle StreamCreate(const char* path) = 0;
  // Appends size bytes; the bytes may wait in the stream's buffer, so a full
  // disk may show only at StreamSync or StreamClose.
  virtual bool StreamWrite(StreamHandle stream, const void* data, std::size_t size) = 0;
  // Flushes the stream's buffer and the file's data to stable storage.
  virtual bool StreamSync(StreamHandle stream) = 0;
  // Flushes and closes the stream; the stream is gone even when it fails.
  virtual bool StreamClose(StreamHandle stream) = 0;
  // Appends count bytes of `file`, from `offset` on, to the stream, after
  // the bytes the stream already holds. *copied counts the file's bytes that
  // reached the stream; a failure says which side failed, so that a caller
  // can tell a damaged source from a full disk. A source that ends early is a
  // read failure. The default reads through one buffer of at most 1 MiB; a
  // backend may copy inside the kernel instead. The file's position
  // afterwards is unspecified.
  virtual CopyResult StreamCopyFromFile(StreamHandle stream, NativeHandle file,
                                        std::uint32_t offset, std::uint32_t count,
                                        std::uint32_t* copied);

  // Whole files by path. PathExists is true for a file or a folder; false
  // with kErrorFileNotFound (or kErrorPathNotFound, see above) otherwise.
  virtual bool PathExists(const char* path) = 0;
  // Deletes a file: missing, kErrorFileNotFound; held open by anyone (this
  // process included), refused (32).
  virtual bool PathDelete(const char* path) = 0;
  // Renames a file, never replacing one: a file already at `to` fails with
  // kErrorAlreadyExists and both stay; a missing `from` fails with
  // kErrorFileNotFound; a file held open is refused (32).
  virtual bool PathMove(const char* from, const char* to) = 0;
  // The error code of the last failed call above (GetLastError).
  virtual std::uint32_t LastError() = 0;
  // The cause of the latest failure that left one, in plain words for the
  // person at the machine (the file as it lies on disk and what is wrong with
  // it, or why a message could not be shown), and forgets it; empty when
  // there is none. The Windows and in-memory backends keep none: their error
  // codes say it all.
  virtual std::string TakeFailureCause() = 0;
  // The program calls this at the step that begins replacing the old archive
  // (the delete of the old one, or the move of a finished leftover into
  // place). Until then a backend that honours stop requests may end the work,
  // its unfinished new file removed; from then on the work goes to its end.
  // Backends without stop requests do nothing.
  virtual void SwapBegins() = 0;

  // Registry open, query and close: each returns its Win32 status code
  // (kErrorSuccess, kErrorFileNotFound for a missing key or value, ...).
  // Key and value names are compared without regard to ASCII case. root is
  // kHkeyLocalMachine or a key this System opened; *key is kNoHandle after a
  // failure.
  virtual std::int32_t RegistryOpen(NativeHandle root, const char* subkey,
                                    std::uint32_t access, NativeHandle* key) = 0;
  // As RegQueryValueExA on code page 932 (the buffer rule of
  // os/Registry.h): *type gets the value's type; with no data the size it
  // needs goes to *size; a buffer too small gets nothing, *size the size
  // needed and kErrorMoreData; otherwise the value is copied, *size is its
  // length and a string stored without its NUL gets one where room is left.
  virtual std::int32_t RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) = 0;
  // Closes a key; closing kHkeyLocalMachine does nothing and succeeds.
  virtual std::int32_t RegistryClose(NativeHandle key) = 0;

  // A modal message box with no owner. The text is Shift-JIS. A question
  // answers kYes or kNo, every other style kOk. A question nobody could be
  // asked is answered kNo; when a box could not be shown as the backend
  // meant to, it says why through TakeFailureCause.
  virtual MessageAnswer ShowMessage(const char* text, const char* caption,
                                    CaptionEncoding caption_encoding, MessageStyle style) = 0;

  // A "MODULE" resource of the executable by integer id; data is null when
  // there is none.
  virtual PayloadBytes FindPayload(int id) = 0;
};

// The System in force: the build's own backend unless a test installed another.
System& Sys();
// The build's own backend.
System& NativeSystem();
// Installs a substitute: a test's, or a program entry's layer over the
// native backend (nullptr restores the native backend).
void UseSystem(System* system);

// A substitute that forwards everything to the native backend; tests derive
// from it and override the calls they want to observe or break.
class ForwardingSystem : public System {
 public:
  explicit ForwardingSystem(System& target = NativeSystem()) : target_(target) {}
  NativeHandle FileOpen(const char* p, FileOpenMode m) override { return target_.FileOpen(p, m); }
  bool FileRead(NativeHandle f, void* b, std::uint32_t c, std::uint32_t* t) override {
    return target_.FileRead(f, b, c, t);
  }
  bool FileWrite(NativeHandle f, const void* b, std::uint32_t c, std::uint32_t* t) override {
    return target_.FileWrite(f, b, c, t);
  }
  std::uint32_t FileSeek(NativeHandle f, std::uint32_t d, std::int32_t* h, std::uint32_t o) override {
    return target_.FileSeek(f, d, h, o);
  }
  std::uint32_t FileSize(NativeHandle f, std::uint32_t* h) override { return target_.FileSize(f, h); }
  bool FileClose(NativeHandle f) override { return target_.FileClose(f); }
  NativeHandle FileDuplicate(NativeHandle f) override { return target_.FileDuplicate(f); }
  StreamHandle StreamCreate(const char* p) override { return target_.StreamCreate(p); }
  bool StreamWrite(StreamHandle s, const void* d, std::size_t n) override {
    return target_.StreamWrite(s, d, n);
  }
  bool StreamSync(StreamHandle s) override { return target_.StreamSync(s); }
  bool StreamClose(StreamHandle s) override { return target_.StreamClose(s); }
  CopyResult StreamCopyFromFile(StreamHandle s, NativeHandle f, std::uint32_t o, std::uint32_t n,
                                std::uint32_t* c) override {
    return target_.StreamCopyFromFile(s, f, o, n, c);
  }
  bool PathExists(const char* p) override { return target_.PathExists(p); }
  bool PathDelete(const char* p) override { return target_.PathDelete(p); }
  bool PathMove(const char* f, const char* t) override { return target_.PathMove(f, t); }
  std::uint32_t LastError() override { return target_.LastError(); }
  std::string TakeFailureCause() override { return target_.TakeFailureCause(); }
  void SwapBegins() override { target_.SwapBegins(); }
  std::int32_t RegistryOpen(NativeHandle r, const char* s, std::uint32_t a, NativeHandle* k) override {
    return target_.RegistryOpen(r, s, a, k);
  }
  std::int32_t RegistryQuery(NativeHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                             std::uint32_t* s) override {
    return target_.RegistryQuery(k, n, t, d, s);
  }
  std::int32_t RegistryClose(NativeHandle k) override { return target_.RegistryClose(k); }
  MessageAnswer ShowMessage(const char* t, const char* c, CaptionEncoding e,
                            MessageStyle s) override {
    return target_.ShowMessage(t, c, e, s);
  }
  PayloadBytes FindPayload(int id) override { return target_.FindPayload(id); }

 protected:
  System& target_;
};

}  // namespace os
