#include "os/Registry.h"

#include <cstring>

namespace os {

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::int32_t DeliverRegistryValue(std::string_view value, std::uint32_t type, unsigned char* data,
                                  std::uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;
  if (!size) return kErrorSuccess;
  const auto length = static_cast<std::uint32_t>(value.size());
  if (data && *size < length) {
    *size = length;
    return kErrorMoreData;
  }
  if (data && length > 0) {
    std::memcpy(data, value.data(), length);
    if (IsStringType(type) && length < *size && data[length - 1] != 0) data[length] = 0;
  }
  *size = length;
  return kErrorSuccess;
}

}  // namespace os
