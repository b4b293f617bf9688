#include "os/Process.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "backends/win32/WideText.h"

namespace os {
namespace win32 = backends::win32;
namespace {

// The longest path the wide calls deliver, with its NUL.
constexpr DWORD kLongestWidePath = 32768;

CRITICAL_SECTION* SectionIn(CriticalSectionStorage* section) {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSectionStorage::bytes),
                "a critical section must fit its storage");
  return reinterpret_cast<CRITICAL_SECTION*>(section->bytes);
}

}  // namespace

// In CP932 like every path of the program, whatever the system's code page;
// cut to the buffer as GetModuleFileNameA cuts it.
std::uint32_t ModuleFileName(char* buffer, std::uint32_t capacity) {
  if (capacity == 0) return 0;
  std::wstring wide(kLongestWidePath, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &wide[0], kLongestWidePath);
  std::string path;
  if (length == 0 || length >= kLongestWidePath ||
      !win32::PathToCp932(std::wstring_view(wide.data(), length), &path)) {
    buffer[0] = '\0';
    return 0;
  }
  if (path.size() >= capacity) {
    std::memcpy(buffer, path.data(), capacity - 1);
    buffer[capacity - 1] = '\0';
    return capacity;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<std::uint32_t>(path.size());
}

// The module path is CP932 (see ModuleFileName), so are its lead bytes.
bool IsAnsiLeadByte(unsigned char byte) { return IsCp932LeadByte(byte); }

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

}  // namespace os
