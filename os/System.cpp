#include "os/System.h"

#include <algorithm>
#include <memory>
#include <new>

namespace os {
namespace {
System* g_substitute = nullptr;

// Large enough that the per-call cost vanishes against the bytes moved, small
// enough for any address space.
constexpr std::uint32_t kCopyChunk = std::uint32_t{1} << 20;
}  // namespace

System& Sys() { return g_substitute ? *g_substitute : NativeSystem(); }

CopyResult System::StreamCopyFromFile(StreamHandle stream, NativeHandle file,
                                      std::uint32_t offset, std::uint32_t count,
                                      std::uint32_t* copied) {
  *copied = 0;
  if (count == 0) return CopyResult::kCopied;
  // Offsets stay below 4 GiB, so the low part alone says whether the seek failed.
  std::int32_t high = 0;
  if (FileSeek(file, offset, &high, kSeekBegin) == kInvalidSetFilePointer) {
    return CopyResult::kReadFailed;
  }
  const std::uint32_t chunk = std::min(count, kCopyChunk);
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[chunk]);
  if (!buffer) return CopyResult::kNoMemory;
  while (*copied < count) {
    const std::uint32_t want = std::min(count - *copied, chunk);
    std::uint32_t got = 0;
    if (!FileRead(file, buffer.get(), want, &got)) return CopyResult::kReadFailed;
    got = std::min(got, want);
    // What did arrive goes on, so that *copied points at the first missing byte.
    if (got > 0 && !StreamWrite(stream, buffer.get(), got)) return CopyResult::kWriteFailed;
    *copied += got;
    if (got != want) return CopyResult::kReadFailed;
  }
  return CopyResult::kCopied;
}

void UseSystem(System* system) { g_substitute = system; }

}  // namespace os
