#include "support/UpdaterHarness.h"

#include "support/TempDir.h"
#include "updater/PatchSet.h"
#include "updater/UpdaterApp.h"

UpdaterHarness::UpdaterHarness() {
  for (const PatchSetEntry& entry : PatchSet::kEntries) {
    memory.SetPayload(entry.resource_id,
                      ReadFileBytes(std::string(MES_RESOURCES_DIR) + "/" + entry.name));
  }
}

void UpdaterHarness::SetInstallPath(const std::string& path, bool with_nul) {
  memory.SetRegistryValue("Software\\velk\\MIRKAN", "InstPath", os::kRegSz,
                          with_nul ? std::string(path.c_str(), path.size() + 1) : path);
}

int UpdaterHarness::Run() {
  ScopedSystem scope(&system);
  UpdaterApp app;
  if (app.Init() != 1) return -1;
  return app.Run();
}
