#include "platform/RegistryKey.h"

using os::Sys;

RegistryKey::~RegistryKey() { CloseHeldKey(); }

void RegistryKey::CloseHeldKey() {
  if (key_ == os::kNoHandle) return;
  status_ = Sys().RegistryClose(key_);
  if (status_ == 0) key_ = os::kNoHandle;
}

int RegistryKey::Open(Handle root, const char* subkey, std::uint32_t access) {
  CloseHeldKey();
  status_ = Sys().RegistryOpen(root, subkey, access, &key_);
  if (status_ != 0) key_ = os::kNoHandle;
  return status_ == 0 ? 1 : 0;
}

int RegistryKey::QueryValue(const char* name, std::uint32_t* type, unsigned char* data,
                            std::uint32_t* size) {
  if (key_ == os::kNoHandle) return 0;
  status_ = Sys().RegistryQuery(key_, name, type, data, size);
  return status_ == 0 ? 1 : 0;
}
