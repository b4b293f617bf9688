// The fuzzer carries no payload resources: FindPayload finds none.
#include "backends/posix/PayloadTable.h"

namespace backends::posix {

const PayloadRecord kPayloadTable[] = {{0, nullptr, nullptr}};
const std::size_t kPayloadCount = 0;

}  // namespace backends::posix
