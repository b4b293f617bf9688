// The updater: finds the game through the registry, asks the player, rebuilds
// mes.arc with the patch set's payloads, swaps it in and reports.
#pragma once

#include <cstdint>

#include "app/AppBase.h"

class MesArchive;

class UpdaterApp : public AppBase {
 public:
  UpdaterApp();

  // Locates the archive and asks the player: 1 to go on, 0 to stop.
  std::int32_t Init() override;
  void Exit() override;
  // Updates and reports: kExitUpdated once the new archive is in place and
  // the player was told, kExitNotUpdated after any failure.
  std::int32_t Run() override;

  // The exit codes of Run; AppMain gives kExitStopped when Run does not run
  // (not installed, or the player said No): 255 to a Linux shell.
  static constexpr std::int32_t kExitUpdated = 1;
  static constexpr std::int32_t kExitNotUpdated = 2;
  static constexpr std::int32_t kExitStopped = -1;
  // The Linux command's: the command line was not understood, or --yes
  // cannot choose among several copies of the game.
  static constexpr std::int32_t kExitUsage = 2;

  const char* archive_path() const { return archive_path_; }

 private:
  bool ReadArchivePath();
  bool Confirm();
  // True when the rebuilt archive is in place under the archive path.
  bool UpdateArchive();
  bool RebuildInto(MesArchive* archive, const char* new_path);
  bool SwapIn(const char* new_path);
  bool MoveIntoPlace(const char* new_path);

  char archive_path_[kMaxPath];
};

// Where the registry names the game's folder: HKEY_LOCAL_MACHINE\<key>, value.
constexpr char kGameKey[] = "SoftWare\\velk\\MIRKAN";
constexpr char kInstallPathValue[] = "InstPath";

// The archive's path as the registry names it (InstPath and the archive's
// name, in Shift-JIS) into archive_path, which holds kMaxPath bytes: the
// updater's own lookup, which the Linux entry also uses to tell prefixes
// apart. False when the key, the value or a usable path is missing.
bool ReadGameArchivePath(char* archive_path);
