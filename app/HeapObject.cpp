#include "app/HeapObject.h"

#include <cstdlib>

namespace {

ObjectHeap g_object_heap{};

void EnterHeapLock() {
  if (g_object_heap.lock) g_object_heap.lock->Enter();
}

void LeaveHeapLock() {
  if (g_object_heap.lock) g_object_heap.lock->Leave();
}

}  // namespace

ObjectHeap& GetObjectHeap() { return g_object_heap; }

void* HeapObject::operator new(std::size_t size) { return AllocateFromObjectHeap(size); }

void HeapObject::operator delete(void* block) noexcept { ReleaseToObjectHeap(block); }

ObjectHeapLock::ObjectHeapLock() : section_{} {
  platform::CriticalSectionInit(&section_);
  if (!g_object_heap.lock) g_object_heap.lock = this;
}

ObjectHeapLock::~ObjectHeapLock() {
  if (g_object_heap.lock == this) g_object_heap.lock = nullptr;
  platform::CriticalSectionDelete(&section_);
}

void ObjectHeapLock::Enter() { platform::CriticalSectionEnter(&section_); }

void ObjectHeapLock::Leave() { platform::CriticalSectionLeave(&section_); }

void* AllocateFromObjectHeap(std::size_t size) {
  EnterHeapLock();
  if (!g_object_heap.heap) g_object_heap.heap = platform::PrivateHeapCreate();
  void* block = g_object_heap.heap ? platform::PrivateHeapAlloc(g_object_heap.heap, size) : nullptr;
  if (block) ++g_object_heap.live_count;
  LeaveHeapLock();
  if (!block) std::abort();
  return block;
}

void ReleaseToObjectHeap(void* block) {
  if (!block) return;
  EnterHeapLock();
  platform::PrivateHeapFree(g_object_heap.heap, block);
  --g_object_heap.live_count;
  LeaveHeapLock();

  // A separate locked section, so a release racing an allocation sees the
  // count the allocation left.
  EnterHeapLock();
  if (g_object_heap.live_count == 0 && g_object_heap.heap) {
    platform::PrivateHeapDestroy(g_object_heap.heap);
    g_object_heap.heap = nullptr;
  }
  LeaveHeapLock();
}
