// Process-level services of the frame: the executable's own path, the ANSI
// code page's lead bytes, a critical section and a private heap. These run
// during static construction, before any test could substitute a System, so
// they are plain functions of the build's backend.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

// Full path of the running executable, cut to the buffer as
// GetModuleFileNameA cuts it: the number of bytes written without the NUL, 0
// when the path cannot be delivered. On Windows in Shift-JIS (code page 932)
// whatever the system's code page, through short names where needed; on
// Linux in UTF-8, as the file system names it.
std::uint32_t ModuleFileName(char* buffer, std::uint32_t capacity);

// Whether the byte starts a character of more than one byte in whose later
// bytes a separator could hide: Shift-JIS lead bytes on Windows; none in the
// UTF-8 of Linux paths.
bool IsAnsiLeadByte(unsigned char byte);

// Lead bytes of code page 932, for callers that must not depend on the
// system (inline, so that the Wine-prefix model needs no library for it).
inline bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Storage for the platform's critical section, held by value.
struct CriticalSectionStorage {
  alignas(16) unsigned char bytes[64];
};
void CriticalSectionInit(CriticalSectionStorage* section);
void CriticalSectionEnter(CriticalSectionStorage* section);
void CriticalSectionLeave(CriticalSectionStorage* section);
void CriticalSectionDelete(CriticalSectionStorage* section);

// A private heap (HeapCreate/HeapAlloc/HeapFree/HeapDestroy).
using PrivateHeap = void*;
PrivateHeap PrivateHeapCreate();
void* PrivateHeapAlloc(PrivateHeap heap, std::size_t size);
bool PrivateHeapFree(PrivateHeap heap, void* block);
void PrivateHeapDestroy(PrivateHeap heap);

}  // namespace os
