#include "platform/System.h"

namespace platform {
namespace {
System* g_substitute = nullptr;
}  // namespace

System& Sys() { return g_substitute ? *g_substitute : NativeSystem(); }

void SetSystemForTesting(System* system) { g_substitute = system; }

}  // namespace platform
