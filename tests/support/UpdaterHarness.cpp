#include "support/UpdaterHarness.h"

#include <cstring>

#include "updater/UpdaterApp.h"

namespace {

constexpr platform::NativeHandle kFakeKey = 0x4B45;
// What the injected failures report, as a platform would.
constexpr std::uint32_t kInjectedError = platform::kErrorWriteFault;

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a;
    char y = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

bool UpdaterSystem::Breaks() {
  last_failed_ = ++file_operations == fail_at;
  if (last_failed_) injected = true;
  return last_failed_;
}

std::uint32_t UpdaterSystem::LastError() {
  return last_failed_ ? kInjectedError : ForwardingSystem::LastError();
}

std::int32_t UpdaterSystem::RegistryOpen(platform::NativeHandle root, const char* subkey,
                                         std::uint32_t, platform::NativeHandle* key) {
  bool found = !install_path.empty() && root == platform::kHkeyLocalMachine &&
               SameIgnoringCase(subkey, "Software\\velk\\MIRKAN");
  *key = found ? kFakeKey : platform::kNoHandle;
  return found ? 0 : static_cast<std::int32_t>(platform::kErrorFileNotFound);
}

std::int32_t UpdaterSystem::RegistryQuery(platform::NativeHandle key, const char* name,
                                          std::uint32_t* type, unsigned char* data,
                                          std::uint32_t* size) {
  if (key != kFakeKey) return platform::kErrorInvalidHandle;
  if (!SameIgnoringCase(name, "InstPath")) return platform::kErrorFileNotFound;
  std::uint32_t needed = static_cast<std::uint32_t>(install_path.size() + (omit_nul ? 0 : 1));
  if (type) *type = platform::kRegSz;
  if (*size < needed) {
    *size = needed;
    return platform::kErrorMoreData;
  }
  std::memcpy(data, install_path.c_str(), needed);
  *size = needed;
  return 0;
}

std::int32_t UpdaterSystem::RegistryClose(platform::NativeHandle key) {
  return key == kFakeKey ? 0 : static_cast<std::int32_t>(platform::kErrorInvalidHandle);
}

platform::NativeHandle UpdaterSystem::FileOpen(const char* path, platform::FileOpenMode mode) {
  return Breaks() ? platform::kInvalidHandle : ForwardingSystem::FileOpen(path, mode);
}

bool UpdaterSystem::FileRead(platform::NativeHandle file, void* buffer, std::uint32_t count,
                             std::uint32_t* transferred) {
  *transferred = 0;
  return !Breaks() && ForwardingSystem::FileRead(file, buffer, count, transferred);
}

bool UpdaterSystem::FileWrite(platform::NativeHandle file, const void* buffer,
                              std::uint32_t count, std::uint32_t* transferred) {
  *transferred = 0;
  return !Breaks() && ForwardingSystem::FileWrite(file, buffer, count, transferred);
}

std::uint32_t UpdaterSystem::FileSeek(platform::NativeHandle file, std::uint32_t distance,
                                      std::int32_t* high, std::uint32_t origin) {
  if (Breaks()) return platform::kInvalidSetFilePointer;
  return ForwardingSystem::FileSeek(file, distance, high, origin);
}

std::uint32_t UpdaterSystem::FileSize(platform::NativeHandle file, std::uint32_t* high) {
  return Breaks() ? platform::kInvalidFileSize : ForwardingSystem::FileSize(file, high);
}

// A failed close keeps the handle open, as the platform would.
bool UpdaterSystem::FileClose(platform::NativeHandle file) {
  return !Breaks() && ForwardingSystem::FileClose(file);
}

platform::StreamHandle UpdaterSystem::StreamCreate(const char* path) {
  return Breaks() ? nullptr : ForwardingSystem::StreamCreate(path);
}

bool UpdaterSystem::StreamWrite(platform::StreamHandle stream, const void* data,
                                std::size_t size) {
  return !Breaks() && ForwardingSystem::StreamWrite(stream, data, size);
}

// The platform's own copy (in the kernel on Linux), as one file operation.
platform::CopyResult UpdaterSystem::StreamCopyFromFile(platform::StreamHandle stream,
                                                       platform::NativeHandle file,
                                                       std::uint32_t offset, std::uint32_t count,
                                                       std::uint32_t* copied) {
  *copied = 0;
  ++stream_copies;
  if (Breaks()) return platform::CopyResult::kReadFailed;
  return ForwardingSystem::StreamCopyFromFile(stream, file, offset, count, copied);
}

bool UpdaterSystem::StreamSync(platform::StreamHandle stream) {
  return !Breaks() && ForwardingSystem::StreamSync(stream);
}

// The runtime releases a stream even when closing it fails.
bool UpdaterSystem::StreamClose(platform::StreamHandle stream) {
  bool broken = Breaks();
  return ForwardingSystem::StreamClose(stream) && !broken;
}

bool UpdaterSystem::PathExists(const char* path) {
  return !Breaks() && ForwardingSystem::PathExists(path);
}

bool UpdaterSystem::PathDelete(const char* path) {
  if (fail_delete) {
    last_failed_ = true;
    return false;
  }
  return !Breaks() && ForwardingSystem::PathDelete(path);
}

bool UpdaterSystem::PathMove(const char* from, const char* to) {
  return !Breaks() && ForwardingSystem::PathMove(from, to);
}

platform::PayloadBytes UpdaterSystem::FindPayload(int id) {
  if (id == missing_payload_id) return {nullptr, 0};
  return ForwardingSystem::FindPayload(id);
}

int RunUpdater(UpdaterSystem* system) {
  ScopedSystem scope(system);
  UpdaterApp app;
  if (app.Init() != 1) return -1;
  return app.Run();
}
