// Runs the updater's phases in-process against files in a temporary folder:
// the registry is faked, message boxes are recorded and answered as scripted,
// and every file operation through the seam can be counted and broken.
#pragma once

#include <cstdint>
#include <string>

#include "support/RecordingSystem.h"

class UpdaterSystem : public RecordingSystem {
 public:
  // The game's key; install_path empty means no key at all.
  std::string install_path;
  // Store the value without its NUL, as a registry may.
  bool omit_nul = false;
  // Deleting the old archive fails, as when the game holds it open.
  bool fail_delete = false;
  // An executable built without this payload resource.
  int missing_payload_id = 0;

  // File operation number fail_at (counted from 1) fails; 0 breaks nothing.
  int fail_at = 0;
  int file_operations = 0;
  int stream_copies = 0;
  bool injected = false;  // the failure was delivered

  std::int32_t RegistryOpen(platform::NativeHandle root, const char* subkey, std::uint32_t access,
                            platform::NativeHandle* key) override;
  std::int32_t RegistryQuery(platform::NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override;
  std::int32_t RegistryClose(platform::NativeHandle key) override;

  platform::NativeHandle FileOpen(const char* path, platform::FileOpenMode mode) override;
  bool FileRead(platform::NativeHandle file, void* buffer, std::uint32_t count,
                std::uint32_t* transferred) override;
  bool FileWrite(platform::NativeHandle file, const void* buffer, std::uint32_t count,
                 std::uint32_t* transferred) override;
  std::uint32_t FileSeek(platform::NativeHandle file, std::uint32_t distance, std::int32_t* high,
                         std::uint32_t origin) override;
  std::uint32_t FileSize(platform::NativeHandle file, std::uint32_t* high) override;
  bool FileClose(platform::NativeHandle file) override;
  platform::StreamHandle StreamCreate(const char* path) override;
  bool StreamWrite(platform::StreamHandle stream, const void* data, std::size_t size) override;
  platform::CopyResult StreamCopyFromFile(platform::StreamHandle stream,
                                          platform::NativeHandle file, std::uint32_t offset,
                                          std::uint32_t count, std::uint32_t* copied) override;
  bool StreamSync(platform::StreamHandle stream) override;
  bool StreamClose(platform::StreamHandle stream) override;
  bool PathExists(const char* path) override;
  bool PathDelete(const char* path) override;
  bool PathMove(const char* from, const char* to) override;
  std::uint32_t LastError() override;
  platform::PayloadBytes FindPayload(int id) override;

 private:
  // Counts one file operation; true when this one must fail.
  bool Breaks();
  bool last_failed_ = false;
};

// Runs Init and, when it gives 1, Run, like AppMain; returns the exit code.
int RunUpdater(UpdaterSystem* system);
