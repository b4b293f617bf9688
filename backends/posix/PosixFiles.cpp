#include "backends/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "backends/posix/ErrorCodes.h"
#include "backends/posix/FileSharing.h"
#include "backends/posix/StopSignals.h"
#include "backends/posix/WinePaths.h"

namespace backends::posix {
using namespace os;
namespace {

// Handles are descriptors plus one, so that descriptor 0 is never "none".
NativeHandle HandleFromFd(int fd) { return static_cast<NativeHandle>(fd) + 1; }

int FdFromHandle(NativeHandle handle) {
  if (handle == kNoHandle || handle == kInvalidHandle) return -1;
  return static_cast<int>(handle - 1);
}

bool HostPath(const char* path, std::string* host) {
  if (MapWindowsPath(path, host)) return true;
  NoteUnmappablePath(path);
  SetLastWin32Error(kErrorPathNotFound);
  return false;
}

// Entries reach the stream one at a time, many of them small: a large buffer
// turns them into few large writes. glibc ignores the size unless it is given
// the buffer, so the stream owns one.
constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;
// Copies inside the kernel go in chunks of this size, each written back while
// the next is copied.
constexpr std::size_t kCopyChunk = std::size_t{16} << 20;

struct OutputStream {
  std::string host;  // for the player's line when the last write fails at close
  FILE* file;
  std::unique_ptr<char[]> buffer;
};

// The new file of this run, removed if a stop signal comes while it is
// written; the program says when the swap begins (BeginSwap). Once closed
// it is no longer locked, and another run may have put its own file under
// the name: from then on a stop removes nothing.
std::string g_new_file;
bool g_swap_begun = false;

// What this process read under each name, and the files it then deleted.
// Windows keeps a file open while it is read, so nobody replaces it
// meanwhile; here the delete removes only the file that was read, and a file
// moved into a name whose file was deleted so takes that file's mode and
// owner, as a replace in place keeps them.
std::map<std::string, FileRecord> g_read;
std::map<std::string, FileRecord> g_deleted;

const FileRecord* Find(const std::map<std::string, FileRecord>& records, const std::string& host) {
  const auto found = records.find(host);
  return found == records.end() ? nullptr : &found->second;
}

// Before the swap a stop removes the program's own unfinished file and hands
// over to the program, which ends the run.
void StopIfAsked() {
  const int signal = PendingStopSignal();
  if (signal == 0 || g_swap_begun) return;
  if (!g_new_file.empty()) unlink(g_new_file.c_str());
  ReportStop({signal, false, !g_new_file.empty(), false});
}

FILE* FileOf(StreamHandle stream) { return static_cast<OutputStream*>(stream)->file; }

}  // namespace

NativeHandle FileOpen(const char* path, FileOpenMode mode) {
  std::string host;
  if (!HostPath(path, &host)) return kInvalidHandle;
  // The sharing modes of the two opens: read sharing read, and no sharing.
  const bool read = mode == FileOpenMode::kReadShareRead;
  const int fd = read ? OpenForSharedRead(host, Follow::kLinks) : OpenForExclusiveWrite(host);
  if (fd < 0) return kInvalidHandle;
  FileRecord record;
  if (read && RecordFile(fd, host, &record)) g_read[host] = record;
  return HandleFromFd(fd);
}

bool FileRead(NativeHandle file, void* buffer, std::uint32_t count, std::uint32_t* transferred) {
  *transferred = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  // ReadFile on a disk file returns everything up to the end of the file.
  while (*transferred < count) {
    ssize_t got = read(FdFromHandle(file), out + *transferred, count - *transferred);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FailWithErrnoOn(FdFromHandle(file));
    if (got == 0) break;
    *transferred += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
               std::uint32_t* transferred) {
  *transferred = 0;
  const auto* in = static_cast<const unsigned char*>(buffer);
  while (*transferred < count) {
    ssize_t put = write(FdFromHandle(file), in + *transferred, count - *transferred);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return FailWithErrnoOn(FdFromHandle(file));
    *transferred += static_cast<std::uint32_t>(put);
  }
  return true;
}

std::uint32_t FileSeek(NativeHandle file, std::uint32_t distance_low, std::int32_t* distance_high,
                       std::uint32_t origin) {
  // Without a high part the distance is a signed 32-bit value, as in Win32.
  std::int64_t distance =
      distance_high ? static_cast<std::int64_t>((static_cast<std::uint64_t>(
                          static_cast<std::uint32_t>(*distance_high)) << 32) | distance_low)
                    : static_cast<std::int32_t>(distance_low);
  int whence = origin == kSeekBegin ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : SEEK_END;
  if (origin > kSeekEnd) {
    SetLastWin32Error(kErrorInvalidParameter);
    return kInvalidSetFilePointer;
  }
  off_t position = lseek(FdFromHandle(file), static_cast<off_t>(distance), whence);
  if (position < 0) return FailWithErrno(), kInvalidSetFilePointer;
  if (distance_high) *distance_high = static_cast<std::int32_t>(position >> 32);
  SetLastWin32Error(kErrorSuccess);
  return static_cast<std::uint32_t>(position);
}

std::uint32_t FileSize(NativeHandle file, std::uint32_t* size_high) {
  struct stat info;
  if (fstat(FdFromHandle(file), &info) != 0) return FailWithErrno(), kInvalidFileSize;
  std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  if (size_high) *size_high = static_cast<std::uint32_t>(size >> 32);
  SetLastWin32Error(kErrorSuccess);
  return static_cast<std::uint32_t>(size);
}

bool FileClose(NativeHandle file) {
  if (close(FdFromHandle(file)) != 0) return FailWithErrno();
  return true;
}

NativeHandle FileDuplicate(NativeHandle file) {
  int fd = fcntl(FdFromHandle(file), F_DUPFD, 0);
  if (fd < 0) return FailWithErrno(), kNoHandle;
  return HandleFromFd(fd);
}

StreamHandle StreamCreate(const char* path) {
  std::string host;
  if (!HostPath(path, &host)) return nullptr;
  StopIfAsked();
  const int fd = CreateOwnFile(host);
  if (fd < 0) return nullptr;
  g_read.erase(host);
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    FailWithErrno(host);
    close(fd);
    unlink(host.c_str());
    return nullptr;
  }
  g_new_file = host;
  auto* stream = new OutputStream{host, file, std::unique_ptr<char[]>(new (std::nothrow)
                                                                     char[kStreamBufferSize])};
  if (stream->buffer) setvbuf(file, stream->buffer.get(), _IOFBF, kStreamBufferSize);
  return stream;
}

bool StreamWrite(StreamHandle stream, const void* data, std::size_t size) {
  StopIfAsked();
  if (size == 0) return true;
  FILE* file = FileOf(stream);
  if (std::fwrite(data, 1, size, file) != size) return FailWithErrnoOn(fileno(file));
  return true;
}

bool StreamSync(StreamHandle stream) {
  StopIfAsked();
  FILE* file = FileOf(stream);
  if (std::fflush(file) != 0) return FailWithErrnoOn(fileno(file));
  // Its name too: the old archive is deleted next, and the new one must not
  // be lost if the folder's changes reach the disk out of order.
  return FlushNewFile(fileno(file), static_cast<OutputStream*>(stream)->host);
}

// The stream and its buffer go whatever fclose says.
bool StreamClose(StreamHandle stream) {
  StopIfAsked();
  std::unique_ptr<OutputStream> owned(static_cast<OutputStream*>(stream));
  if (owned->host == g_new_file) g_new_file.clear();
  if (std::fclose(owned->file) != 0) return FailWithErrno(owned->host);
  return true;
}

bool StreamCopyInKernel(StreamHandle stream, NativeHandle file, std::uint32_t offset,
                        std::uint32_t count, std::uint32_t* copied, CopyResult* result) {
  *copied = 0;
  FILE* out = FileOf(stream);
  // The kernel writes at the descriptor's position, so what the stream holds goes first.
  if (std::fflush(out) != 0) {
    FailWithErrnoOn(fileno(out));
    *result = CopyResult::kWriteFailed;
    return true;
  }
  off_t from = offset;
  while (*copied < count) {
    StopIfAsked();
    const std::size_t want = std::min<std::size_t>(count - *copied, kCopyChunk);
    ssize_t done = copy_file_range(FdFromHandle(file), &from, fileno(out), nullptr, want, 0);
    if (done < 0 && errno == EINTR) continue;
    // 0 is the end of the source for a regular file, but some file systems
    // answer 0 for "not here": the reads decide.
    if (done <= 0) return false;
    *copied += static_cast<std::uint32_t>(done);
    // The stream is synced at the end: the disk writes this chunk while the
    // next one is copied. Only a hint; the sync reports any write error.
    sync_file_range(fileno(out), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
  *result = CopyResult::kCopied;
  return true;
}

bool PathExists(const char* path) {
  std::string host;
  struct stat info;
  if (!HostPath(path, &host)) return false;
  if (stat(host.c_str(), &info) != 0) return FailWithErrno();
  return true;
}

bool PathDelete(const char* path) {
  std::string host;
  if (!HostPath(path, &host)) return false;
  StopIfAsked();
  if (!RemoveName(host, Find(g_read, host))) return false;
  if (const FileRecord* read = Find(g_read, host)) g_deleted[host] = *read;
  g_read.erase(host);
  return true;
}

bool PathMove(const char* from, const char* to) {
  std::string host_from, host_to;
  if (!HostPath(from, &host_from) || !HostPath(to, &host_to)) return false;
  // Windows' move never replaces an existing file.
  const bool moved = MoveName(host_from, host_to, Find(g_deleted, host_to));
  if (moved) g_deleted.erase(host_to);
  if (const int signal = PendingStopSignal()) ReportStop({signal, true, false, moved});
  return moved;
}

void BeginSwap() {
  StopIfAsked();
  g_swap_begun = true;
}

}  // namespace backends::posix
