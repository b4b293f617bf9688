// The Linux entry. Unlike the Windows program, which ignores its command
// line, this one is a Unix command: it reads its options first (-h/--help,
// --version, -y/--yes, -p/--prefix DIR; anything else is refused before any
// file is touched), settles which Wine prefix to work in (PrefixChoice), then
// hands AppMain the command-line text after the program's name and the
// show-default state, and exits with its result. When the game is not
// installed it adds English lines on stderr saying where it looked; when the
// answer was No, one saying that nothing was changed; when the archive itself
// was refused, what it holds; after an update, one on stdout naming the
// archive updated.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SourceCommit.h"
#include "app/AppBase.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveFormat.h"
#include "backends/posix/ErrorCodes.h"
#include "backends/posix/WinePaths.h"
#include "backends/posix/WineRegistry.h"
#include "updater/UpdaterApp.h"
#include "updater/posix/EntryTexts.h"
#include "updater/posix/PlayerSystem.h"
#include "updater/posix/PrefixChoice.h"

namespace {

constexpr std::int32_t kShowDefault = 10;
constexpr std::int32_t kExitUsage = UpdaterApp::kExitUsage;
constexpr std::int32_t kExitStopped = UpdaterApp::kExitStopped;
constexpr std::int32_t kExitUpdated = UpdaterApp::kExitUpdated;

struct Options {
  bool help = false;
  bool version = false;
  bool yes = false;
  std::string prefix;  // --prefix DIR
  std::string error;   // the first argument not understood
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc && options.error.empty(); ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      options.help = true;
    } else if (std::strcmp(argument, "--version") == 0) {
      options.version = true;
    } else if (std::strcmp(argument, "--yes") == 0 || std::strcmp(argument, "-y") == 0) {
      options.yes = true;
    } else if (std::strcmp(argument, "--prefix") == 0 || std::strcmp(argument, "-p") == 0) {
      if (i + 1 == argc || !*argv[i + 1]) {
        options.error = entry_text::NeedsFolder(argument);
      } else {
        options.prefix = argv[++i];
      }
    } else if (std::strncmp(argument, "--prefix=", 9) == 0 && argument[9]) {
      options.prefix = argument + 9;
    } else if (argument[0] == '-') {
      options.error = entry_text::UnrecognizedOption(argument);
    } else {
      options.error = entry_text::UnexpectedArgument(argument);
    }
  }
  return options;
}

// The help, with the search's places from the one table that drives it.
void PrintUsage() {
  std::fputs(entry_text::kUsageHead, stdout);
  for (std::size_t i = 0; i < prefix_search::kSearchPlaceCount; ++i) {
    const prefix_search::SearchPlace& place = prefix_search::kSearchPlaces[i];
    std::printf("  %-15s %s (%s)\n", place.manager, prefix_search::ShownPlace(place).c_str(),
                prefix_search::LayoutWords(place.layout));
  }
  std::fputs(entry_text::kUsageTail, stdout);
}

// The player's message said only "not installed": say where the program
// looked and why the game was not found there.
void ExplainNotInstalled(const prefix_search::Location& location) {
  if (location.searched) {
    for (const std::string& line : location.not_found) TellPlayer(line);
    return;
  }
  const backends::posix::RegistryLookup lookup = backends::posix::LookUpRegistryValue(
      location.prefix, kGameKey, kInstallPathValue, kMaxPath);
  // Found but refused: too long for the archive's path, or 260 bytes with no NUL.
  const std::string why = lookup.fault == backends::posix::LookupFault::kNone
                              ? entry_text::UnusableFolder(lookup)
                              : entry_text::WhyNotNamed(lookup);
  TellPlayer(entry_text::NotInstalledIn(location.prefix, location.source, why));
}

// The first bytes of the file: the count, and the index when it fits.
std::string ReadHead(int fd, std::uint64_t size) {
  std::string head(kCountSize, '\0');
  if (size < head.size() || pread(fd, &head[0], head.size(), 0) != static_cast<ssize_t>(head.size())) {
    return "";
  }
  const std::uint64_t index_end = archive::IndexEnd(archive::DecodeCount(head));
  if (index_end > size) return head;
  head.resize(static_cast<std::size_t>(index_end));
  if (pread(fd, &head[0], head.size(), 0) != static_cast<ssize_t>(head.size())) return "";
  return head;
}

// What the updater's reader found wrong in the archive; empty when nothing.
std::string ArchiveFault(const std::string& host) {
  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "";
  struct stat info;
  std::string fault;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kLargestArchive) {
      fault = entry_text::TooLarge(size);
    } else {
      const archive::Examination examination = archive::ExamineArchive(ReadHead(fd, size), size);
      if (!examination.readable) fault = entry_text::NotAnArchive(examination.error);
      for (const archive::ExaminedEntry& entry : examination.entries) {
        if (!fault.empty()) break;
        if (entry.unterminated || entry.out_of_bounds) {
          fault = entry_text::DamagedEntry(entry.position, entry.unterminated);
        }
      }
    }
  }
  close(fd);
  return fault;
}

// After the archive's own messages (the count or the index could not be
// read), which no failed file call explains: what the file holds and what
// to do. A missing archive is explained already; a leftover new file
// beside it that was not moved into place is not.
void ExplainArchiveFailure(const char* archive_path) {
  std::string mapped;
  if (!archive_path || !*archive_path || !backends::posix::MapWindowsPath(archive_path, &mapped)) {
    return;
  }
  // Named as the player finds it: the drive links resolved.
  const std::string host = backends::posix::ResolvedHostPath(mapped);
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) {
    if (errno == ENOENT && lstat((host + "_").c_str(), &info) == 0) {
      TellPlayer(entry_text::LeftAlone(host + "_"));
    }
    return;
  }
  const std::string fault = ArchiveFault(host);
  if (!fault.empty()) TellPlayer(host + ": " + fault + entry_text::kPutItBack);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (!options.error.empty()) {
    std::fputs(entry_text::UsageError(options.error).c_str(), stderr);
    return kExitUsage;
  }
  if (options.help) {
    PrintUsage();
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", entry_text::VersionLine(MES_VERSION, MES_SOURCE_COMMIT).c_str());
    return 0;
  }
  // The program's layer over the backend, for the whole run.
  PlayerSystem player(options.yes);
  os::UseSystem(&player);

  const prefix_search::Location location = prefix_search::Locate(options.prefix, options.yes);
  if (location.stop) return location.exit_code;

  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  // Linux has no module instance handles.
  const std::int32_t result = AppMain(nullptr, nullptr, command_line.c_str(), kShowDefault);
  // Stopped before any question: the registry did not name the game.
  // Stopped after it: the answer was No.
  if (result == kExitStopped && !player.question_asked()) ExplainNotInstalled(location);
  if (result == kExitStopped && player.question_asked()) TellPlayer(entry_text::kAnswerNo);
  if (result == kExitUpdated && location.found) {
    std::printf("%s\n", entry_text::Updated(location.copy.archive).c_str());
  }
  if (result == UpdaterApp::kExitNotUpdated) {
    ExplainArchiveFailure(static_cast<UpdaterApp*>(GetApp())->archive_path());
  }
  return result;
}
