// A file that appears under its final name only when complete: written
// beside it under a temporary name, synced to stable storage, then renamed
// over it. Until Commit succeeds the final path keeps what it held.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>

namespace mesarc {

class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& target);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false when it cannot be created.
  bool Open();
  bool Write(const void* data, std::size_t size);
  // Flushes, syncs, closes and renames over the target. false, with the
  // temporary file removed, when any of that fails.
  bool Commit();

  // The temporary name beside target; left behind only by a crash.
  static std::filesystem::path TemporaryPath(const std::filesystem::path& target);

 private:
  void Discard();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool ok_ = true;
  bool owns_temporary_ = false;
};

}  // namespace mesarc
