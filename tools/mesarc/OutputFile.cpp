#include "tools/mesarc/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "os/CodePageText.h"

namespace mesarc {

OutputFile::OutputFile(const std::filesystem::path& target)
    : target_(target), temporary_(TemporaryPath(target)) {}

OutputFile::~OutputFile() { Discard(); }

std::filesystem::path OutputFile::TemporaryPath(const std::filesystem::path& target) {
  std::filesystem::path temporary = target;
  temporary += ".mesarc-new";
  return temporary;
}

bool OutputFile::Fail() {
  if (cause_.empty()) cause_ = errno != 0 ? std::strerror(errno) : "the system gave no reason";
  ok_ = false;
  return false;
}

bool OutputFile::Open() {
  errno = 0;
  file_ = os::OpenFileForWriting(temporary_);
  ok_ = file_ != nullptr;
  owns_temporary_ = ok_;
  return ok_ || Fail();
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (!ok_ || file_ == nullptr) return false;
  errno = 0;
  ok_ = size == 0 || std::fwrite(data, 1, size, file_) == size;
  return ok_ || Fail();
}

bool OutputFile::Commit() {
  if (!ok_ || file_ == nullptr) {
    Discard();
    return false;
  }
  errno = 0;
  const bool synced = os::SyncFileToDisk(file_);
  if (!synced) Fail();
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  if (!closed) Fail();
  file_ = nullptr;
  std::string why;
  const bool moved = synced && closed && os::MoveOverFile(temporary_, target_, &why);
  if (synced && closed && !moved && cause_.empty()) cause_ = why;
  ok_ = moved;
  if (ok_) owns_temporary_ = false;  // it is the target now
  if (!ok_) Discard();
  return ok_;
}

void OutputFile::Discard() {
  if (file_ == nullptr && ok_) return;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  // A temporary name that Open could not take is another run's, or not a file.
  std::error_code error;
  if (owns_temporary_) std::filesystem::remove(temporary_, error);
  owns_temporary_ = false;
  ok_ = false;
}

std::string NotWritten(const std::string& shown, const OutputFile& out) {
  return shown + ": cannot be written" + (out.Cause().empty() ? "" : ": " + out.Cause());
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

bool IsOutputOrTemporary(const std::filesystem::path& path, const std::filesystem::path& target) {
  return SameFile(path, target) || SameFile(path, OutputFile::TemporaryPath(target));
}

std::string OutputRefusal(const std::string& shown, const std::vector<std::filesystem::path>& inputs,
                          bool force) {
  const std::filesystem::path target = os::PathFromUtf8(shown);
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return "is a folder";
  // The file is written beside its name first: that name must not be an input either.
  const std::filesystem::path temporary = OutputFile::TemporaryPath(target);
  for (const std::filesystem::path& input : inputs) {
    if (SameFile(target, input)) return "is one of the inputs; choose another output";
    if (SameFile(temporary, input)) {
      return "would be written through " + os::PathToUtf8(temporary) +
             ", one of the inputs; choose another output";
    }
  }
  if (!force && std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
    return "exists (--force replaces it)";
  }
  return std::string();
}

}  // namespace mesarc
