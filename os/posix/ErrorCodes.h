#pragma once

#include <cstdint>
#include <string>

namespace platform::posix {

// The Win32 error code that corresponds to an errno value.
std::uint32_t Win32ErrorFromErrno(int error);

// The calling thread's last error, as GetLastError keeps it.
std::uint32_t LastWin32Error();
void SetLastWin32Error(std::uint32_t code);
// Records errno's translation and returns false, for one-line failure paths.
bool FailWithErrno();

// One English line about the last failure of a file call, for a Linux player
// who cannot act on a Win32 error number: the host path and the cause in Unix
// words. Set where the failure is met; taken (and cleared) by whoever shows
// the player's message.
void NoteFailureDetail(std::string line);
std::string TakeFailureDetail();

}  // namespace platform::posix
