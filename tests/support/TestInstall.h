// A game folder the updater can reach through a Windows path, as the registry
// would name it: on Linux a folder on drive C: of a temporary Wine prefix
// (WINEPREFIX points at it while the object lives), under Wine a plain folder.
#pragma once

#include <string>

class TestInstall {
 public:
  TestInstall();
  ~TestInstall();
  TestInstall(const TestInstall&) = delete;
  TestInstall& operator=(const TestInstall&) = delete;

  // The folder as InstPath holds it.
  const std::string& install_path() const { return install_path_; }
  // A file in the folder, as the updater names it (install path, '\', name).
  std::string WindowsPath(const std::string& name) const { return install_path_ + "\\" + name; }
  // The same file, as the test opens it.
  std::string HostPath(const std::string& name) const { return host_folder_ + "/" + name; }

 private:
  struct State;
  State* state_;
  std::string install_path_;
  std::string host_folder_;
};
