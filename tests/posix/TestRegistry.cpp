#include "support/TestRegistry.h"

#include "posix/TempWinePrefix.h"

struct TestRegistry::State {
  TempWinePrefix prefix;
};

TestRegistry::TestRegistry() : state_(new State) {
  // As Wine writes it: the Japanese text as \x escapes of UTF-16 code units.
  state_->prefix.WriteSystemReg(
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n\n"
      "#arch=win32\n\n"
      "[Software\\\\MesUpdateTest] 1733550000\n"
      "#time=1db48a1f2c3d4e5\n"
      "\"Text\"=\"\\x30c6\\x30b9\\x30c8\\x5024\"\n\n"
      "[Software\\\\MesUpdateTest\\\\Sub] 1733550000\n"
      "\"Number\"=dword:0000002a\n");
}

TestRegistry::~TestRegistry() { delete state_; }
