#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TempDir::TempDir() {
  static unsigned serial = 0;
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::ostringstream name;
    name << "mesupdate-test-" << std::hex << random() << '-' << serial++;
    std::error_code error;
    if (fs::create_directory(base / name.str(), error)) {
      path_ = (base / name.str()).string();
      return;
    }
  }
  throw std::runtime_error("cannot make a folder under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(fs::path(path_), ignored);
}

std::string TempDir::Path(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::string path = Path(name);
  WriteFileBytes(path, bytes);
  return path;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::path(path), error);
}
