#include <gtest/gtest.h>

#include "support/TestApp.h"

// Constructed in this order before main, destroyed in reverse, as in the
// updater: the lock outlives the application.
static ObjectHeapLock g_object_heap_lock;
static TestApp g_test_app;

TestApp& GetTestApp() { return g_test_app; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
