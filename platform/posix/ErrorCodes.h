#pragma once

#include <cstdint>

namespace platform::posix {

// The Win32 error code that corresponds to an errno value.
std::uint32_t Win32ErrorFromErrno(int error);

// The calling thread's last error, as GetLastError keeps it.
std::uint32_t LastWin32Error();
void SetLastWin32Error(std::uint32_t code);
// Records errno's translation and returns false, for one-line failure paths.
bool FailWithErrno();

}  // namespace platform::posix
