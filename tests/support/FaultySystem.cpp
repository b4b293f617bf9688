#include "support/FaultySystem.h"

using os::CopyResult;
using os::NativeHandle;
using os::StreamHandle;

namespace {
// What the injected failures report, as a platform would.
constexpr std::uint32_t kInjectedError = os::kErrorWriteFault;
}  // namespace

void FaultySystem::ClearFaults() {
  messages.clear();
  fail_at = file_operations = 0;
  injected = last_failed_ = false;
  short_read_at = failed_read_at = failed_seek_at = failed_stream_write_at = failed_copy_at = 0;
  fail_stream_create = fail_stream_sync = fail_stream_close = false;
  fail_file_close = fail_delete = false;
  copy_failure = CopyResult::kReadFailed;
  copy_failure_after = 0;
  reads = seeks = stream_writes = copies = file_closes = 0;
  registry_opens = registry_queries = registry_closes = 0;
  swap_begins = 0;
  deleted_before_swap.clear();
  deleted_in_swap.clear();
}

void FaultySystem::SwapBegins() {
  ++swap_begins;
  ForwardingSystem::SwapBegins();
}

bool FaultySystem::Breaks(bool also) {
  last_failed_ = ++file_operations == fail_at;
  injected = injected || last_failed_;
  last_failed_ = last_failed_ || also;
  return last_failed_;
}

std::uint32_t FaultySystem::LastError() {
  return last_failed_ ? kInjectedError : ForwardingSystem::LastError();
}

NativeHandle FaultySystem::FileOpen(const char* path, os::FileOpenMode mode) {
  return Breaks() ? os::kInvalidHandle : ForwardingSystem::FileOpen(path, mode);
}

bool FaultySystem::FileRead(NativeHandle file, void* buffer, std::uint32_t count,
                            std::uint32_t* transferred) {
  *transferred = 0;
  if (Breaks(++reads == failed_read_at)) return false;
  const bool read = ForwardingSystem::FileRead(file, buffer, count, transferred);
  // The bytes all arrive, only the count says otherwise: a reader must go by the count.
  if (read && reads == short_read_at && *transferred > 0) --*transferred;
  return read;
}

bool FaultySystem::FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
                             std::uint32_t* transferred) {
  *transferred = 0;
  return !Breaks() && ForwardingSystem::FileWrite(file, buffer, count, transferred);
}

std::uint32_t FaultySystem::FileSeek(NativeHandle file, std::uint32_t distance, std::int32_t* high,
                                     std::uint32_t origin) {
  if (Breaks(++seeks == failed_seek_at)) return os::kInvalidSetFilePointer;
  return ForwardingSystem::FileSeek(file, distance, high, origin);
}

std::uint32_t FaultySystem::FileSize(NativeHandle file, std::uint32_t* high) {
  return Breaks() ? os::kInvalidFileSize : ForwardingSystem::FileSize(file, high);
}

bool FaultySystem::FileClose(NativeHandle file) {
  ++file_closes;
  return !Breaks(fail_file_close) && ForwardingSystem::FileClose(file);
}

StreamHandle FaultySystem::StreamCreate(const char* path) {
  return Breaks(fail_stream_create) ? nullptr : ForwardingSystem::StreamCreate(path);
}

bool FaultySystem::StreamWrite(StreamHandle stream, const void* data, std::size_t size) {
  return !Breaks(++stream_writes == failed_stream_write_at) &&
         ForwardingSystem::StreamWrite(stream, data, size);
}

// The copy itself counts as one operation; the reads, seeks and writes it is
// made of count on their own.
CopyResult FaultySystem::StreamCopyFromFile(StreamHandle stream, NativeHandle file,
                                            std::uint32_t offset, std::uint32_t count,
                                            std::uint32_t* copied) {
  *copied = 0;
  if (Breaks()) return CopyResult::kReadFailed;
  if (++copies == failed_copy_at) {
    *copied = copy_failure_after;
    return copy_failure;
  }
  return os::System::StreamCopyFromFile(stream, file, offset, count, copied);
}

bool FaultySystem::StreamSync(StreamHandle stream) {
  return !Breaks(fail_stream_sync) && ForwardingSystem::StreamSync(stream);
}

// The runtime releases a stream even when closing it fails.
bool FaultySystem::StreamClose(StreamHandle stream) {
  const bool broken = Breaks(fail_stream_close);
  return ForwardingSystem::StreamClose(stream) && !broken;
}

bool FaultySystem::PathExists(const char* path) {
  return !Breaks() && ForwardingSystem::PathExists(path);
}

bool FaultySystem::PathDelete(const char* path) {
  (swap_begins > 0 ? deleted_in_swap : deleted_before_swap).push_back(path);
  return !Breaks(fail_delete) && ForwardingSystem::PathDelete(path);
}

bool FaultySystem::PathMove(const char* from, const char* to) {
  return !Breaks() && ForwardingSystem::PathMove(from, to);
}

std::int32_t FaultySystem::RegistryOpen(NativeHandle root, const char* subkey,
                                        std::uint32_t access, NativeHandle* key) {
  ++registry_opens;
  return ForwardingSystem::RegistryOpen(root, subkey, access, key);
}

std::int32_t FaultySystem::RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                                         unsigned char* data, std::uint32_t* size) {
  ++registry_queries;
  return ForwardingSystem::RegistryQuery(key, name, type, data, size);
}

std::int32_t FaultySystem::RegistryClose(NativeHandle key) {
  ++registry_closes;
  return ForwardingSystem::RegistryClose(key);
}

os::MessageAnswer FaultySystem::ShowMessage(const char* text, const char* caption,
                                                  os::CaptionEncoding,
                                                  os::MessageStyle style) {
  messages.push_back({caption, text, style});
  if (style != os::MessageStyle::kQuestion) return os::MessageAnswer::kOk;
  return answer_yes ? os::MessageAnswer::kYes : os::MessageAnswer::kNo;
}
