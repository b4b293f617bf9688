// Win32 file semantics on POSIX file descriptors, for paths in a Wine prefix.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/System.h"

namespace backends::posix {
using namespace os;

NativeHandle FileOpen(const char* path, FileOpenMode mode);
bool FileRead(NativeHandle file, void* buffer, std::uint32_t count, std::uint32_t* transferred);
bool FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
               std::uint32_t* transferred);
std::uint32_t FileSeek(NativeHandle file, std::uint32_t distance_low, std::int32_t* distance_high,
                       std::uint32_t origin);
std::uint32_t FileSize(NativeHandle file, std::uint32_t* size_high);
bool FileClose(NativeHandle file);
NativeHandle FileDuplicate(NativeHandle file);

StreamHandle StreamCreate(const char* path);
bool StreamWrite(StreamHandle stream, const void* data, std::size_t size);
bool StreamSync(StreamHandle stream);
bool StreamClose(StreamHandle stream);
// Copies inside the kernel, after the bytes the stream holds, and gives the
// outcome in *result. false when the kernel would not go on (another file
// system, an old kernel, an error): *copied bytes are done, and reads and
// writes must carry the rest and tell which side fails.
bool StreamCopyInKernel(StreamHandle stream, NativeHandle file, std::uint32_t offset,
                        std::uint32_t count, std::uint32_t* copied, CopyResult* result);

bool PathExists(const char* path);
bool PathDelete(const char* path);
bool PathMove(const char* from, const char* to);
// System::SwapBegins: a stop that came before it still ends the run; from
// here the file calls go on to the end.
void BeginSwap();

}  // namespace backends::posix
