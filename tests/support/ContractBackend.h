// A backend for the System contract suite: its System, a fresh empty folder
// of its own, and the registry keys of TestRegistry.h. The same suite runs on
// the in-memory backend and on the build's own (POSIX on Linux, Win32 under
// Wine), so a backend that drifts from the others fails it.
#pragma once

#include <memory>
#include <string>

#include "os/System.h"

class ContractBackend {
 public:
  virtual ~ContractBackend() = default;
  virtual os::System& system() = 0;
  // The folder, and a file in it, as the backend's calls take them.
  virtual std::string folder() const = 0;
  virtual std::string Path(const std::string& name) const = 0;
};

std::unique_ptr<ContractBackend> MakeMemoryBackend();
std::unique_ptr<ContractBackend> MakeNativeBackend();
