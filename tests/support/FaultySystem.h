// A RecordingSystem that breaks chosen file and stream calls, counted from 1
// in the order they happen, to drive the failure paths of the archive code.
#pragma once

#include <cstdint>

#include "support/RecordingSystem.h"

class FaultySystem : public RecordingSystem {
 public:
  // FileRead number short_read_at reports one byte less than it delivered
  // (and success); number failed_read_at fails outright.
  int short_read_at = 0;
  int failed_read_at = 0;
  // FileSeek number failed_seek_at fails.
  int failed_seek_at = 0;
  bool fail_stream_create = false;
  int failed_stream_write_at = 0;
  bool fail_stream_sync = false;
  // The stream is still closed, so only the result says it went wrong.
  bool fail_stream_close = false;
  // Copies into the stream run on the reads, seeks and writes above, so
  // their faults reach the copy too. Copy number failed_copy_at instead ends
  // with copy_failure, claiming copy_failure_after bytes copied.
  int failed_copy_at = 0;
  platform::CopyResult copy_failure = platform::CopyResult::kReadFailed;
  std::uint32_t copy_failure_after = 0;

  int reads = 0;
  int seeks = 0;
  int stream_writes = 0;
  int copies = 0;

  // Back to a system that breaks nothing and has recorded nothing.
  void ClearFaults() {
    short_read_at = failed_read_at = failed_seek_at = failed_stream_write_at = failed_copy_at = 0;
    fail_stream_create = fail_stream_sync = fail_stream_close = false;
    copy_failure = platform::CopyResult::kReadFailed;
    copy_failure_after = 0;
    reads = seeks = stream_writes = copies = 0;
    messages.clear();
  }

  bool FileRead(platform::NativeHandle file, void* buffer, std::uint32_t count,
                std::uint32_t* transferred) override {
    ++reads;
    if (reads == failed_read_at) {
      *transferred = 0;
      return false;
    }
    const bool read = ForwardingSystem::FileRead(file, buffer, count, transferred);
    // The bytes all arrive, only the count says otherwise: a reader must go by the count.
    if (read && reads == short_read_at && *transferred > 0) --*transferred;
    return read;
  }

  std::uint32_t FileSeek(platform::NativeHandle file, std::uint32_t distance, std::int32_t* high,
                         std::uint32_t origin) override {
    if (++seeks == failed_seek_at) return platform::kInvalidSetFilePointer;
    return ForwardingSystem::FileSeek(file, distance, high, origin);
  }

  platform::StreamHandle StreamCreate(const char* path) override {
    return fail_stream_create ? nullptr : ForwardingSystem::StreamCreate(path);
  }

  bool StreamWrite(platform::StreamHandle stream, const void* data, std::size_t size) override {
    if (++stream_writes == failed_stream_write_at) return false;
    return ForwardingSystem::StreamWrite(stream, data, size);
  }

  platform::CopyResult StreamCopyFromFile(platform::StreamHandle stream,
                                          platform::NativeHandle file, std::uint32_t offset,
                                          std::uint32_t count, std::uint32_t* copied) override {
    if (++copies == failed_copy_at) {
      *copied = copy_failure_after;
      return copy_failure;
    }
    return platform::System::StreamCopyFromFile(stream, file, offset, count, copied);
  }

  bool StreamSync(platform::StreamHandle stream) override {
    return !fail_stream_sync && ForwardingSystem::StreamSync(stream);
  }

  bool StreamClose(platform::StreamHandle stream) override {
    return ForwardingSystem::StreamClose(stream) && !fail_stream_close;
  }
};
