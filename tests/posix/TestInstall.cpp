#include "support/TestInstall.h"

#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace fs = std::filesystem;

struct TestInstall::State {
  TempDir root;
  std::string saved_prefix;
  bool had_prefix = false;
};

TestInstall::TestInstall() : state_(new State) {
  const char* saved = std::getenv("WINEPREFIX");
  state_->had_prefix = saved != nullptr;
  if (saved) state_->saved_prefix = saved;

  fs::path prefix = state_->root.path() / "prefix";
  fs::create_directories(prefix / "dosdevices");
  fs::create_directories(prefix / "drive_c" / "Game");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  setenv("WINEPREFIX", prefix.string().c_str(), 1);
  install_path_ = "C:\\Game";
  host_folder_ = (prefix / "drive_c" / "Game").string();
}

TestInstall::~TestInstall() {
  if (state_->had_prefix) {
    setenv("WINEPREFIX", state_->saved_prefix.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  delete state_;
}
