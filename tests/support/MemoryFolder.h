// A folder on a MemorySystem with TempDir's helpers, for tests that run on
// the in-memory system: they write, read and look for files through it.
#pragma once

#include <string>

#include "backends/memory/MemorySystem.h"

class MemoryFolder {
 public:
  MemoryFolder(backends::memory::MemorySystem& system, std::string path)
      : system_(system), path_(std::move(path)) {
    system_.AddFolder(path_);
  }

  const std::string& path() const { return path_; }
  // A file in the folder, as the code under test names it.
  std::string Path(const std::string& name) const { return path_ + "\\" + name; }
  // Writes bytes to name in the folder, replacing it; returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    system_.AddFile(Path(name), bytes);
    return Path(name);
  }
  // By full path: the whole content, empty when there is no such file.
  std::string Read(const std::string& path) const {
    std::string bytes;
    system_.GetFile(path, &bytes);
    return bytes;
  }
  bool Exists(const std::string& path) const { return system_.HasFile(path); }

 private:
  backends::memory::MemorySystem& system_;
  std::string path_;
};
