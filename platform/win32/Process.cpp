#include "platform/Process.h"

#include <windows.h>

namespace platform {
namespace {

CRITICAL_SECTION* SectionIn(CriticalSectionStorage* section) {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSectionStorage::bytes),
                "a critical section must fit its storage");
  return reinterpret_cast<CRITICAL_SECTION*>(section->bytes);
}

}  // namespace

std::uint32_t ModuleFileName(char* buffer, std::uint32_t capacity) {
  return GetModuleFileNameA(nullptr, buffer, capacity);
}

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void CriticalSectionInit(CriticalSectionStorage* section) {
  InitializeCriticalSection(SectionIn(section));
}

void CriticalSectionEnter(CriticalSectionStorage* section) {
  EnterCriticalSection(SectionIn(section));
}

void CriticalSectionLeave(CriticalSectionStorage* section) {
  LeaveCriticalSection(SectionIn(section));
}

void CriticalSectionDelete(CriticalSectionStorage* section) {
  DeleteCriticalSection(SectionIn(section));
}

PrivateHeap PrivateHeapCreate() { return HeapCreate(0, 0, 0); }

void* PrivateHeapAlloc(PrivateHeap heap, std::size_t size) {
  return HeapAlloc(static_cast<HANDLE>(heap), 0, size);
}

bool PrivateHeapFree(PrivateHeap heap, void* block) {
  return HeapFree(static_cast<HANDLE>(heap), 0, block) != FALSE;
}

void PrivateHeapDestroy(PrivateHeap heap) { HeapDestroy(static_cast<HANDLE>(heap)); }

}  // namespace platform
