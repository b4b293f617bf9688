// Linux consoles and file names are UTF-8; CP932 goes through iconv.
#include "os/CodePageText.h"

#include <unistd.h>

#include "wineprefix/CodePage.h"
#include "backends/posix/ErrorCodes.h"
#include "backends/posix/FileSharing.h"

namespace os {
namespace posix = backends::posix;

std::string NameForConsole(const std::string& cp932) { return wineprefix::Cp932ToUtf8Lossy(cp932); }

std::string Utf8ForConsole(const std::string& utf8) { return utf8; }

std::string Cp932ToUtf8ForDisplay(const std::string& cp932) {
  return wineprefix::Cp932ToUtf8Lossy(cp932);
}

bool Utf8ToCp932Strict(const std::string& utf8, std::string* cp932) {
  return wineprefix::Utf8ToCp932(utf8, cp932);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }

std::string PathToUtf8(const std::filesystem::path& path) { return path.string(); }

bool FileNameToCp932(const std::filesystem::path& name, std::string* cp932) {
  return wineprefix::Utf8ToCp932(name.native(), cp932);
}

bool Cp932ToFileName(const std::string& cp932, std::filesystem::path* name) {
  std::string utf8;
  if (!wineprefix::Cp932ToUtf8(cp932, &utf8)) return false;
  *name = std::filesystem::path(utf8);
  return true;
}

// A file of the tool's own, as the updater makes its new archive: never
// written through a link, never a FIFO or a device, never another run's file.
std::FILE* OpenFileForWriting(const std::filesystem::path& path) {
  const int fd = posix::CreateOwnFile(path.string());
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (!file) close(fd);
  return file;
}

bool SyncFileToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

// Over a file the updater is reading or the game holds open, refused as on
// Windows rather than swapped under them.
bool MoveOverFile(const std::filesystem::path& from, const std::filesystem::path& target,
                  std::string* why) {
  posix::TakeFailureDetail();
  const bool moved = posix::ReplaceName(from.string(), target.string());
  *why = moved ? std::string() : posix::TakeFailureDetail();
  return moved;
}

}  // namespace os
