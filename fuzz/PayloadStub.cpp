// The fuzzer carries no payload resources: FindPayload finds none.
#include "platform/posix/PayloadTable.h"

namespace platform::posix {

const PayloadRecord kPayloadTable[] = {{0, nullptr, nullptr}};
const std::size_t kPayloadCount = 0;

}  // namespace platform::posix
