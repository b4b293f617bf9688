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
  os::CriticalSectionInit(&section_);
  if (!g_object_heap.lock) g_object_heap.lock = this;
}

ObjectHeapLock::~ObjectHeapLock() {
  if (g_object_heap.lock == this) g_object_heap.lock = nullptr;
  os::CriticalSectionDelete(&section_);
}

void ObjectHeapLock::Enter() { os::CriticalSectionEnter(&section_); }

void ObjectHeapLock::Leave() { os::CriticalSectionLeave(&section_); }

void* AllocateFromObjectHeap(std::size_t size) {
  EnterHeapLock();
  if (!g_object_heap.heap) g_object_heap.heap = os::PrivateHeapCreate();
  void* block = g_object_heap.heap ? os::PrivateHeapAlloc(g_object_heap.heap, size) : nullptr;
  if (block) ++g_object_heap.live_count;
  LeaveHeapLock();
  if (!block) std::abort();
  return block;
}

void ReleaseToObjectHeap(void* block) {
  if (!block) return;
  EnterHeapLock();
  os::PrivateHeapFree(g_object_heap.heap, block);
  --g_object_heap.live_count;
  LeaveHeapLock();

  // A separate locked section, so a release racing an allocation sees the
  // count the allocation left.
  EnterHeapLock();
  if (g_object_heap.live_count == 0 && g_object_heap.heap) {
    os::PrivateHeapDestroy(g_object_heap.heap);
    g_object_heap.heap = nullptr;
  }
  LeaveHeapLock();
}
