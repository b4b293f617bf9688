#include "support/TestRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TempDir.h"

struct TestRegistry::State {
  TempDir prefix;
  std::string saved_prefix;
  bool had_prefix = false;
};

TestRegistry::TestRegistry() : state_(new State) {
  const char* saved = std::getenv("WINEPREFIX");
  state_->had_prefix = saved != nullptr;
  if (saved) state_->saved_prefix = saved;
  // As Wine writes it: the Japanese text as \x escapes of UTF-16 code units.
  WriteFileBytes(state_->prefix.File("system.reg"),
                 "WINE REGISTRY Version 2\n"
                 ";; All keys relative to \\\\Machine\n\n"
                 "#arch=win32\n\n"
                 "[Software\\\\MesUpdateTest] 1733550000\n"
                 "#time=1db48a1f2c3d4e5\n"
                 "\"Text\"=\"\\x30c6\\x30b9\\x30c8\\x5024\"\n\n"
                 "[Software\\\\MesUpdateTest\\\\Sub] 1733550000\n"
                 "\"Number\"=dword:0000002a\n");
  setenv("WINEPREFIX", state_->prefix.path().string().c_str(), 1);
}

TestRegistry::~TestRegistry() {
  if (state_->had_prefix) {
    setenv("WINEPREFIX", state_->saved_prefix.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  delete state_;
}
