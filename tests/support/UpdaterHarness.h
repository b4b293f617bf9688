// Runs the updater's phases in-process on an in-memory system: the game's
// folder C:\Game, the payloads the executable carries, the registry as a
// test sets it, and a FaultySystem in front that records the messages and
// breaks the calls a test chooses.
#pragma once

#include <string>

#include "backends/memory/MemorySystem.h"
#include "support/FaultySystem.h"
#include "support/MemoryFolder.h"

class UpdaterHarness {
 public:
  // No registry key yet: SetInstallPath makes it.
  UpdaterHarness();

  // InstPath under the game's key. Without its NUL, as a registry may store it.
  void SetInstallPath(const std::string& path, bool with_nul = true);
  // An executable built without this payload resource.
  void RemovePayload(int id) { memory.RemovePayload(id); }
  // Init and, when it gives 1, Run, like AppMain; the exit code.
  int Run();

  backends::memory::MemorySystem memory;
  FaultySystem system{memory};
  MemoryFolder game{memory, "C:\\Game"};
};
