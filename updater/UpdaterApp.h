// The updater: finds the game through the registry, asks the player, rebuilds
// mes.arc with the patch set's payloads, swaps it in and reports.
#pragma once

#include <cstdint>

#include "app/AppBase.h"

class UpdaterApp : public AppBase {
 public:
  UpdaterApp();

  std::int32_t Init() override;
  void Exit() override;
  std::int32_t Run() override;

  const char* archive_path() const { return archive_path_; }

 private:
  char archive_path_[kMaxPath];
};
