// The tests' one substitute System: forwards to a backend (an in-memory
// MemorySystem, or the build's own where a test is about that backend),
// records every message box instead of showing it, answers questions as
// scripted, counts calls and breaks chosen ones. Install it with
// ScopedSystem for the length of a test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/System.h"

// Shift-JIS bytes as shown (the caption may be the system's, for the base name).
using RecordedMessage = os::ShownMessage;

class FaultySystem : public os::ForwardingSystem {
 public:
  explicit FaultySystem(os::System& target = os::NativeSystem())
      : ForwardingSystem(target) {}

  std::vector<RecordedMessage> messages;
  bool answer_yes = true;

  // File, stream and path operation number fail_at (every one counts, from
  // 1) fails, and LastError then says kErrorWriteFault; 0 breaks nothing.
  int fail_at = 0;
  int file_operations = 0;
  bool injected = false;  // the failure was delivered

  // Faults by kind, counted from 1 among calls of that kind. FileRead number
  // short_read_at reports one byte less than it delivered (and success);
  // number failed_read_at fails outright.
  int short_read_at = 0;
  int failed_read_at = 0;
  int failed_seek_at = 0;
  int failed_stream_write_at = 0;
  bool fail_stream_create = false;
  bool fail_stream_sync = false;
  // The stream is still closed, so only the result says it went wrong.
  bool fail_stream_close = false;
  // A failed close keeps the handle open, as the platform would.
  bool fail_file_close = false;
  // Deleting fails, as when another program holds the file open.
  bool fail_delete = false;
  // Copies into a stream run on the reads, seeks and writes above, so their
  // faults reach the copy too. Copy number failed_copy_at instead ends with
  // copy_failure, claiming copy_failure_after bytes copied.
  int failed_copy_at = 0;
  os::CopyResult copy_failure = os::CopyResult::kReadFailed;
  std::uint32_t copy_failure_after = 0;

  int reads = 0;
  int seeks = 0;
  int stream_writes = 0;
  int copies = 0;
  int file_closes = 0;
  int registry_opens = 0;
  int registry_queries = 0;
  int registry_closes = 0;
  // The paths deleted before and after the program said the swap begins.
  int swap_begins = 0;
  std::vector<std::string> deleted_before_swap;
  std::vector<std::string> deleted_in_swap;

  // Back to a system that breaks nothing and has counted and recorded nothing.
  void ClearFaults();

  os::NativeHandle FileOpen(const char* path, os::FileOpenMode mode) override;
  bool FileRead(os::NativeHandle file, void* buffer, std::uint32_t count,
                std::uint32_t* transferred) override;
  bool FileWrite(os::NativeHandle file, const void* buffer, std::uint32_t count,
                 std::uint32_t* transferred) override;
  std::uint32_t FileSeek(os::NativeHandle file, std::uint32_t distance, std::int32_t* high,
                         std::uint32_t origin) override;
  std::uint32_t FileSize(os::NativeHandle file, std::uint32_t* high) override;
  bool FileClose(os::NativeHandle file) override;
  os::StreamHandle StreamCreate(const char* path) override;
  bool StreamWrite(os::StreamHandle stream, const void* data, std::size_t size) override;
  os::CopyResult StreamCopyFromFile(os::StreamHandle stream,
                                          os::NativeHandle file, std::uint32_t offset,
                                          std::uint32_t count, std::uint32_t* copied) override;
  bool StreamSync(os::StreamHandle stream) override;
  bool StreamClose(os::StreamHandle stream) override;
  bool PathExists(const char* path) override;
  bool PathDelete(const char* path) override;
  bool PathMove(const char* from, const char* to) override;
  std::uint32_t LastError() override;
  void SwapBegins() override;
  std::int32_t RegistryOpen(os::NativeHandle root, const char* subkey, std::uint32_t access,
                            os::NativeHandle* key) override;
  std::int32_t RegistryQuery(os::NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override;
  std::int32_t RegistryClose(os::NativeHandle key) override;
  os::MessageAnswer ShowMessage(const char* text, const char* caption,
                                      os::CaptionEncoding encoding,
                                      os::MessageStyle style) override;

 private:
  // Counts one operation; true when it must fail (fail_at, or `also`).
  bool Breaks(bool also = false);
  bool last_failed_ = false;
};

// Installs a substitute System for its lifetime.
class ScopedSystem {
 public:
  explicit ScopedSystem(os::System* system) { os::UseSystem(system); }
  ~ScopedSystem() { os::UseSystem(nullptr); }
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;
};
