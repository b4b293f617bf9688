// The one buffer rule of RegistryQuery, which every backend delivers through.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/Registry.h"

namespace {

using os::DeliverRegistryValue;

constexpr std::int32_t Status(std::uint32_t code) { return static_cast<std::int32_t>(code); }

struct Delivery {
  std::int32_t status;
  std::uint32_t size;
  std::string buffer;  // the whole buffer afterwards, 'x' where untouched
};

Delivery Deliver(const std::string& value, std::uint32_t type, std::uint32_t room) {
  std::string buffer(room, 'x');
  std::uint32_t size = room;
  const std::int32_t status = DeliverRegistryValue(
      value, type, reinterpret_cast<unsigned char*>(&buffer[0]), &size);
  return {status, size, buffer};
}

TEST(RegistryValueRuleTest, AStringGetsItsNulOnlyWhereRoomIsLeft) {
  const std::string unterminated = "C:\\G";
  EXPECT_EQ(Deliver(unterminated, os::kRegSz, 6).buffer, std::string("C:\\G\0x", 6));
  EXPECT_EQ(Deliver(unterminated, os::kRegSz, 6).size, 4u);  // the NUL not counted
  EXPECT_EQ(Deliver(unterminated, os::kRegSz, 4).buffer, "C:\\G");
  EXPECT_EQ(Deliver(std::string("ab\0", 3), os::kRegExpandSz, 5).buffer,
            std::string("ab\0xx", 5));
  EXPECT_EQ(Deliver("\x2A\x01", os::kRegBinary, 4).buffer, "\x2A\x01xx");
}

TEST(RegistryValueRuleTest, ASmallBufferGetsNothingButTheSizeNeeded) {
  const Delivery small = Deliver("abcdef", os::kRegSz, 3);
  EXPECT_EQ(small.status, Status(os::kErrorMoreData));
  EXPECT_EQ(small.size, 6u);
  EXPECT_EQ(small.buffer, "xxx");

  std::uint32_t size = 0;
  EXPECT_EQ(DeliverRegistryValue("abcdef", os::kRegSz, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(DeliverRegistryValue("abcdef", os::kRegSz, nullptr, nullptr), 0);
  unsigned char data[8];
  EXPECT_EQ(DeliverRegistryValue("abcdef", os::kRegSz, data, nullptr),
            Status(os::kErrorInvalidParameter));
}

}  // namespace
