// What Windows' sharing modes promise, on a POSIX file system.
//
// Between processes of this program: open file description locks, shared for
// a read that lets others read, exclusive for a write that shares nothing. A
// conflict is a sharing violation (32). With other processes (the game under
// Wine takes no such locks): a delete or move of a file that another process
// holds open is a sharing violation too, found by reading /proc/PID/fd as
// fuser does. Processes of other users are not visible there.
//
// Every refusal sets the Win32 error and one English line for the player
// (NoteFailureDetail). Paths here are host paths.
#pragma once

#include <string>

namespace platform::posix {

enum class Follow { kLinks, kNoLinks };


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

// Removes a name as Windows' delete would: refused (32) while the file is
// locked or another process holds it open, and (5) while it is read-only. A
// link goes, its target stays.
bool RemoveName(const std::string& host);
// Renames a regular file (never a link) without replacing an existing file,
// refused (32) while the source is locked or held open, and flushes the folder: the move is done only when
// it would survive a power cut.
bool MoveName(const std::string& from, const std::string& to);

// Steps whose failure the tests force: the next such step fails with `error`.
enum class SharingStep { kLock, kRemove, kFolderSync };
void FailNextSharingStepForTesting(SharingStep step, int error);

}  // namespace platform::posix
