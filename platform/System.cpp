#include "platform/System.h"

#include <algorithm>
#include <memory>
#include <new>

namespace platform {
namespace {
System* g_substitute = nullptr;
}  // namespace

System& Sys() { return g_substitute ? *g_substitute : NativeSystem(); }

bool System::StreamCopyFromFile(StreamHandle stream, NativeHandle file, std::uint32_t offset,
                                std::uint32_t count) {
  constexpr std::uint32_t kChunk = 1u << 20;
  if (count == 0) return true;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[std::min(count, kChunk)]);
  if (!buffer) return false;
  std::int32_t high = 0;
  if (FileSeek(file, offset, &high, kSeekBegin) == kInvalidSetFilePointer && LastError() != 0) return false;
  while (count > 0) {
    std::uint32_t want = std::min(count, kChunk), got = 0;
    if (!FileRead(file, buffer.get(), want, &got)) return false;
    if (got != want) return false;
    if (!StreamWrite(stream, buffer.get(), got)) return false;
    count -= got;
  }
  return true;
}

void SetSystemForTesting(System* system) { g_substitute = system; }

}  // namespace platform
