#include "os/Process.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>

namespace os {
namespace {

pthread_mutex_t* MutexIn(CriticalSectionStorage* section) {
  static_assert(sizeof(pthread_mutex_t) <= sizeof(CriticalSectionStorage::bytes),
                "a mutex must fit the critical-section storage");
  return reinterpret_cast<pthread_mutex_t*>(section->bytes);
}

// The Linux heap is the C heap; this only gives the private heap an identity.
unsigned char g_heap_token;

}  // namespace

std::uint32_t ModuleFileName(char* buffer, std::uint32_t capacity) {
  if (capacity == 0) return 0;
  ssize_t length = readlink("/proc/self/exe", buffer, capacity - 1);
  if (length <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[length] = '\0';
  // Like GetModuleFileNameA, a cut path reports the full capacity.
  return static_cast<std::uint32_t>(length) == capacity - 1 ? capacity
                                                            : static_cast<std::uint32_t>(length);
}

// The path comes from the file system in UTF-8, where no byte of a character
// is ever a separator or a dot: nothing to skip.
bool IsAnsiLeadByte(unsigned char) { return false; }

void CriticalSectionInit(CriticalSectionStorage* section) {
  // Critical sections may be entered again by the thread that holds them.
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(MutexIn(section), &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void CriticalSectionEnter(CriticalSectionStorage* section) { pthread_mutex_lock(MutexIn(section)); }

void CriticalSectionLeave(CriticalSectionStorage* section) {
  pthread_mutex_unlock(MutexIn(section));
}

void CriticalSectionDelete(CriticalSectionStorage* section) {
  pthread_mutex_destroy(MutexIn(section));
}

PrivateHeap PrivateHeapCreate() { return &g_heap_token; }

void* PrivateHeapAlloc(PrivateHeap /*heap*/, std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

bool PrivateHeapFree(PrivateHeap /*heap*/, void* block) {
  std::free(block);
  return true;
}

void PrivateHeapDestroy(PrivateHeap /*heap*/) {}

}  // namespace os
