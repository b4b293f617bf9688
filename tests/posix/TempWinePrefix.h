// A throw-away Wine prefix for one test: WINEPREFIX points at it while the
// object lives, and both go away with it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

class TempWinePrefix {
 public:
  TempWinePrefix() {
    const char* old = std::getenv("WINEPREFIX");
    if (old) old_prefix_ = old;
    std::string pattern = std::filesystem::temp_directory_path().string() + "/mesprefix.XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "mkdtemp failed";
    setenv("WINEPREFIX", path_.c_str(), 1);
  }

  ~TempWinePrefix() {
    if (old_prefix_) {
      setenv("WINEPREFIX", old_prefix_->c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }

  TempWinePrefix(const TempWinePrefix&) = delete;
  TempWinePrefix& operator=(const TempWinePrefix&) = delete;

  const std::string& path() const { return path_; }

  void WriteFile(const std::string& relative, std::string_view bytes) const {
    std::filesystem::path target = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << target;
  }

  void WriteSystemReg(std::string_view text) const { WriteFile("system.reg", text); }

  // drive_c with the link Wine makes for it.
  void MakeDriveC() const {
    std::filesystem::create_directories(path_ + "/drive_c");
    std::filesystem::create_directories(path_ + "/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", path_ + "/dosdevices/c:");
  }

 private:
  std::string path_;
  std::optional<std::string> old_prefix_;
};
