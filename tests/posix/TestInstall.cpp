#include "support/TestInstall.h"

#include <filesystem>

#include "posix/TempWinePrefix.h"

struct TestInstall::State {
  TempWinePrefix prefix;
};

TestInstall::TestInstall() : state_(new State) {
  state_->prefix.MakeDriveC();
  std::filesystem::create_directories(state_->prefix.path() + "/drive_c/Game");
  install_path_ = "C:\\Game";
  host_folder_ = state_->prefix.path() + "/drive_c/Game";
}

TestInstall::~TestInstall() { delete state_; }
