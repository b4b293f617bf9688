// A System that keeps files, the registry and payloads in memory, for tests
// and fuzzing: no disk, no wineserver, and the same answers on every build.
// Files keep the contract of os/System.h as the Windows backend does: paths
// are compared without regard to ASCII case ('/' and '\' alike), a file's
// folder must exist, the two open modes and the stream share as the contract
// says, an open file cannot be deleted or moved, a move never replaces, and
// every failure leaves its Win32 code for LastError. Not thread-safe: tests and
// fuzzers drive it from one thread.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/System.h"

namespace backends::memory {
using namespace os;

class MemorySystem : public System {
 public:
  MemorySystem();
  ~MemorySystem() override;

  // Setup and examination, outside the Win32 semantics. Folders hold files;
  // AddFile also makes the folders above it.
  void AddFolder(std::string_view path);
  void AddFile(std::string_view path, std::string_view bytes);
  // The file's bytes, or false when there is none.
  bool GetFile(std::string_view path, std::string* bytes) const;
  bool HasFile(std::string_view path) const { return GetFile(path, nullptr); }
  // Paths of every file, as first created, in folded order.
  std::vector<std::string> FileNames() const;
  // Handles and streams not yet closed (a leak check for tests).
  std::size_t OpenCount() const;
  // Bytes all files may hold together; a write past it fails with
  // kErrorDiskFull, as a full disk does. Unlimited by default.
  void SetCapacity(std::uint64_t bytes) { capacity_ = bytes; }

  // A value under HKEY_LOCAL_MACHINE\key (made with its parents). String
  // values are given as the ANSI bytes a query returns, with their NUL.
  void SetRegistryValue(std::string_view key, std::string_view name, std::uint32_t type,
                        std::string_view data);
  void AddRegistryKey(std::string_view key);
  void SetPayload(int id, std::string_view bytes);
  void RemovePayload(int id) { payloads_.erase(id); }

  // Message boxes are recorded as given (Shift-JIS); a question gets kYes
  // (a test that answers otherwise puts a FaultySystem in front), the others kOk.
  const std::vector<ShownMessage>& messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }

  NativeHandle FileOpen(const char* path, FileOpenMode mode) override;
  bool FileRead(NativeHandle file, void* buffer, std::uint32_t count,
                std::uint32_t* transferred) override;
  bool FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
                 std::uint32_t* transferred) override;
  std::uint32_t FileSeek(NativeHandle file, std::uint32_t distance_low,
                         std::int32_t* distance_high, std::uint32_t origin) override;
  std::uint32_t FileSize(NativeHandle file, std::uint32_t* size_high) override;
  bool FileClose(NativeHandle file) override;
  NativeHandle FileDuplicate(NativeHandle file) override;

  StreamHandle StreamCreate(const char* path) override;
  bool StreamWrite(StreamHandle stream, const void* data, std::size_t size) override;
  bool StreamSync(StreamHandle stream) override;
  bool StreamClose(StreamHandle stream) override;

  bool PathExists(const char* path) override;
  bool PathDelete(const char* path) override;
  bool PathMove(const char* from, const char* to) override;
  std::uint32_t LastError() override { return last_error_; }
  std::string TakeFailureCause() override { return std::string(); }
  // Stops nothing: the in-memory files are never cut short by a signal.
  void SwapBegins() override {}

  std::int32_t RegistryOpen(NativeHandle root, const char* subkey, std::uint32_t access,
                            NativeHandle* key) override;
  std::int32_t RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override;
  std::int32_t RegistryClose(NativeHandle key) override;

  MessageAnswer ShowMessage(const char* text, const char* caption,
                            CaptionEncoding caption_encoding, MessageStyle style) override;
  PayloadBytes FindPayload(int id) override;

 private:
  struct File;
  struct Opening;
  using RegistryValue = std::pair<std::uint32_t, std::string>;
  using RegistryKeyValues = std::map<std::string, RegistryValue>;

  bool Fail(std::uint32_t code);
  Opening* FindOpening(NativeHandle file);
  // True when the folded path's folder exists; kErrorPathNotFound otherwise.
  bool CheckFolder(const std::string& key);
  bool Open(const char* path, Opening* wanted);
  bool IsOpen(const std::shared_ptr<File>& file) const;
  bool WriteAt(Opening& opening, const void* data, std::size_t size);
  std::uint64_t TotalBytes() const;

  std::map<std::string, std::shared_ptr<File>> files_;  // by folded path
  std::set<std::string> folders_;                        // folded paths
  std::map<NativeHandle, std::shared_ptr<Opening>> handles_;
  std::map<StreamHandle, std::shared_ptr<Opening>> streams_;
  std::map<std::string, RegistryKeyValues> registry_;    // folded key path -> values
  std::map<NativeHandle, std::string> open_keys_;
  std::map<int, std::string> payloads_;
  std::vector<ShownMessage> messages_;
  NativeHandle next_handle_ = 0x100;
  std::uint64_t capacity_ = ~std::uint64_t{0};
  std::uint32_t last_error_ = kErrorSuccess;
};

// A path folded for lookups: separators as '\', ASCII letters upper-cased,
// except the second byte of a Shift-JIS character; no trailing separator.
std::string FoldPath(std::string_view path);
// A registry value name folded the same way, separators kept as they are.
std::string FoldName(std::string_view name);

}  // namespace backends::memory
