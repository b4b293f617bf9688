// A System substitute that counts the calls made through the seam and can
// make the platform's file close fail, for checking the wrappers' promises
// about which calls they make.
#pragma once

#include "platform/System.h"

class CountingSystem : public platform::ForwardingSystem {
 public:
  bool FileClose(platform::NativeHandle file) override {
    ++file_closes;
    if (fail_file_close) return false;
    return target_.FileClose(file);
  }
  std::int32_t RegistryOpen(platform::NativeHandle root, const char* subkey, std::uint32_t access,
                            platform::NativeHandle* key) override {
    ++registry_opens;
    return target_.RegistryOpen(root, subkey, access, key);
  }
  std::int32_t RegistryQuery(platform::NativeHandle key, const char* name, std::uint32_t* type,
                             unsigned char* data, std::uint32_t* size) override {
    ++registry_queries;
    return target_.RegistryQuery(key, name, type, data, size);
  }
  std::int32_t RegistryClose(platform::NativeHandle key) override {
    ++registry_closes;
    return target_.RegistryClose(key);
  }

  int file_closes = 0;
  bool fail_file_close = false;
  int registry_opens = 0;
  int registry_queries = 0;
  int registry_closes = 0;
};
