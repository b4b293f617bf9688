#include "support/TestRegistry.h"

// The Wine prefix of the test run holds the keys already (tests/wine/make_prefix.sh).
struct TestRegistry::State {};

TestRegistry::TestRegistry() : state_(nullptr) {}

TestRegistry::~TestRegistry() = default;
