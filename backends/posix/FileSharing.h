// What Windows' sharing modes promise, on a POSIX file system.
//
// Between processes of this program: open file description locks, shared for
// a read that lets others read, exclusive for a write that shares nothing. A
// conflict is a sharing violation (32). With other processes (the game under
// Wine takes no such locks): a delete or move of a file that another process
// holds open is a sharing violation too, found by reading /proc/PID/fd as
// fuser does. Processes of other users are not visible there.
//
// Every refusal sets the Win32 error and its cause in plain words
// (NoteFailureDetail). Paths here are host paths.
#pragma once

#include <sys/types.h>

#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

enum class Follow { kLinks, kNoLinks };

// Which file a descriptor has open, and its mode and owner.
struct FileRecord {
  dev_t device;
  ino_t inode;
  mode_t mode;
  uid_t owner;
  gid_t group;
};
// false, with the Win32 error set, when the descriptor cannot be asked.
bool RecordFile(int fd, const std::string& host, FileRecord* record);

// Opens an existing regular file for reading with a shared lock; kNoLinks
// refuses a name that is a symbolic link. The descriptor, or -1.
int OpenForSharedRead(const std::string& host, Follow follow);
// Opens or creates a regular file for writing with an exclusive lock, never
// through a link, and empties it once the lock is held. The descriptor, or -1.
int OpenForExclusiveWrite(const std::string& host);
// The updater's own new file: a stale one of that name (a file, or a link,
// never a link's target) is removed first, then the file is created anew and
// locked exclusively. Anything else under the name is refused. The
// descriptor, or -1.
int CreateOwnFile(const std::string& host);
// Flushes a new file's data, then its folder, so that the file and its name
// are on disk before anything relies on them.
bool FlushNewFile(int fd, const std::string& host);

// Removes a name as Windows' delete would: refused (32) while the file is
// locked or another process holds it open, and (5) while it is read-only. A
// link goes, its target stays. With read_as, the name must still lead to that
// file (checked under the lock), or the delete is refused (32).
bool RemoveName(const std::string& host, const FileRecord* read_as = nullptr);
// Renames a regular file (never a link) without replacing an existing file,
// refused (32) while the source is locked or held open, and flushes the
// folder; a flush that fails after the rename is noted, and the move stands.
// With takes_after, the file first takes that file's mode and, where
// allowed, its owner and group.
bool MoveName(const std::string& from, const std::string& to,
              const FileRecord* takes_after = nullptr);
// Renames a file over `to`, which may exist: refused (32) while the file
// there is locked (a run of mesupdate reading it) or held open.
bool ReplaceName(const std::string& from, const std::string& to);

// Steps whose failure the tests force: the next `times` such steps fail with
// `error`. A folder's flush tries the folder, then its file system: two
// kFolderSync failures fail both.
enum class SharingStep { kLock, kRemove, kFolderOpen, kFolderSync };
void FailNextSharingStepForTesting(SharingStep step, int error, int times = 1);

}  // namespace backends::posix
