#include "support/TestInstall.h"

#include "support/TempDir.h"

struct TestInstall::State {
  TempDir folder;
};

TestInstall::TestInstall() : state_(new State) {
  install_path_ = state_->folder.path();
  host_folder_ = install_path_;
}

TestInstall::~TestInstall() { delete state_; }
