// Frame objects whose storage comes from, and goes back to, a private heap
// guarded by the process's one ObjectHeapLock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/Process.h"

class HeapObject {
 public:
  virtual ~HeapObject() = default;

  // Allocation is paired with ReleaseToObjectHeap, so deleting a HeapObject
  // made with new gives its block back to the heap it came from.
  static void* operator new(std::size_t size);
  static void operator delete(void* block) noexcept;
};

class ObjectHeapLock : public HeapObject {
 public:
  // The first lock constructed becomes the lock of the object heap.
  ObjectHeapLock();
  ~ObjectHeapLock() override;
  ObjectHeapLock(const ObjectHeapLock&) = delete;
  ObjectHeapLock& operator=(const ObjectHeapLock&) = delete;

  void Enter();
  void Leave();

 private:
  os::CriticalSectionStorage section_;
};

// Process-wide state of the private heap, zero at start.
struct ObjectHeap {
  os::PrivateHeap heap;
  std::int32_t live_count;
  ObjectHeapLock* lock;
};
ObjectHeap& GetObjectHeap();

// Creates the heap on first use; aborts the process when no block can be had,
// as the language's allocation operator does.
void* AllocateFromObjectHeap(std::size_t size);
// Frees the block; destroys the heap once no block is live.
void ReleaseToObjectHeap(void* block);
