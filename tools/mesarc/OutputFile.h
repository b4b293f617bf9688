// A file that appears under its final name only when complete: written
// beside it under a temporary name, synced to stable storage, then renamed
// over it. Until Commit succeeds the final path keeps what it held.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

  // Why the last step failed, in the system's words ("No such file or directory").
  const std::string& Cause() const { return cause_; }

  // The temporary name beside target; left behind only by a crash.
  static std::filesystem::path TemporaryPath(const std::filesystem::path& target);

 private:
  void Discard();
  // Keeps errno's text as the cause; returns false.
  bool Fail();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool ok_ = true;
  bool owns_temporary_ = false;
  std::string cause_;
};

// "SHOWN: cannot be written", and why when the output knows.
std::string NotWritten(const std::string& shown, const OutputFile& out);

// Whether two paths name the same existing file (device and inode, or the
// platform's file index).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Whether path is the output target or the temporary file it is written through.
bool IsOutputOrTemporary(const std::filesystem::path& path, const std::filesystem::path& target);

// Why the output (UTF-8, as given) cannot take a new file made from inputs;
// empty when it can. An existing file is replaced only when force.
std::string OutputRefusal(const std::string& shown, const std::vector<std::filesystem::path>& inputs,
                          bool force);

}  // namespace mesarc
