// The program's two static objects, in one translation unit so that their
// order is fixed: the heap lock is constructed first and destroyed last.
#include "app/HeapObject.h"
#include "updater/UpdaterApp.h"

static ObjectHeapLock g_object_heap_lock;
static UpdaterApp g_updater_app;
