// The payload files linked into the Linux executable, generated at build time
// from the resource script.
#pragma once

#include <cstddef>

#include "os/System.h"

namespace backends::posix {
using namespace os;

struct PayloadRecord {
  int id;
  const unsigned char* begin;
  const unsigned char* end;
};

extern const PayloadRecord kPayloadTable[];
extern const std::size_t kPayloadCount;

}  // namespace backends::posix
