// A thin class over one open registry key that keeps the status of its last
// platform call (0 for success, otherwise a Win32 error code).
#pragma once

#include <cstdint>

#include "app/HeapObject.h"
#include "os/System.h"

class RegistryKey : public HeapObject {
 public:
  using Handle = os::NativeHandle;

  RegistryKey() : key_(os::kNoHandle), status_(0) {}
  ~RegistryKey() override;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Closes a held key first. 1 on success, 0 on failure.
  int Open(Handle root, const char* subkey, std::uint32_t access);
  // Passes the platform's results through: no type check, no NUL added.
  // size holds the capacity on entry and the value's length on return.
  int QueryValue(const char* name, std::uint32_t* type, unsigned char* data, std::uint32_t* size);

  Handle key() const { return key_; }
  std::int32_t status() const { return status_; }

 private:
  void CloseHeldKey();

  Handle key_;
  std::int32_t status_;
};
