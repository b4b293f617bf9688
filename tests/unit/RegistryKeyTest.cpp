// The registry wrapper against the build's own backend (a Wine prefix's
// system.reg on Linux, the registry of the Wine test prefix on Windows).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/RegistryKey.h"
#include "support/FaultySystem.h"
#include "support/TestRegistry.h"

namespace {

constexpr char kTestKey[] = "Software\\MesUpdateTest";
// テスト値 in code page 932, with its NUL.
constexpr unsigned char kTextValue[] = {0x83, 0x65, 0x83, 0x58, 0x83, 0x67, 0x92, 0x6C, 0x00};

class RegistryKeyTest : public ::testing::Test {
 protected:
  TestRegistry registry_;
  FaultySystem counting_;
  ScopedSystem scope_{&counting_};
};

TEST_F(RegistryKeyTest, ReadsAStringValueInCodePage932) {
  RegistryKey key;
  ASSERT_EQ(key.Open(os::kHkeyLocalMachine, kTestKey, os::kKeyAllAccess), 1);
  EXPECT_EQ(key.status(), 0);
  unsigned char data[64];
  std::uint32_t type = 0, size = sizeof data;
  ASSERT_EQ(key.QueryValue("Text", &type, data, &size), 1);
  EXPECT_EQ(type, os::kRegSz);
  ASSERT_EQ(size, sizeof kTextValue);
  EXPECT_EQ(std::memcmp(data, kTextValue, size), 0);

  // Names are not case-sensitive.
  size = sizeof data;
  EXPECT_EQ(key.QueryValue("TEXT", &type, data, &size), 1);
}

TEST_F(RegistryKeyTest, MissingSubkeyLeavesKeyNoneAndQueriesMakeNoCall) {
  {
    RegistryKey key;
    EXPECT_EQ(key.Open(os::kHkeyLocalMachine, "Software\\MesUpdateTest\\Nope",
                       os::kKeyAllAccess),
              0);
    EXPECT_EQ(key.key(), os::kNoHandle);
    EXPECT_EQ(key.status(), static_cast<std::int32_t>(os::kErrorFileNotFound));
    unsigned char data[8];
    std::uint32_t type = 0, size = sizeof data;
    EXPECT_EQ(key.QueryValue("Text", &type, data, &size), 0);
    EXPECT_EQ(key.status(), static_cast<std::int32_t>(os::kErrorFileNotFound));
  }
  EXPECT_EQ(counting_.registry_queries, 0);
  EXPECT_EQ(counting_.registry_closes, 0);  // destroyed after a failed open: no call
}

// The buffer rule itself is the backends' (SystemContractTest).
TEST_F(RegistryKeyTest, MissingValueReportsItsCode) {
  RegistryKey key;
  ASSERT_EQ(key.Open(os::kHkeyLocalMachine, kTestKey, os::kKeyAllAccess), 1);
  unsigned char data[4];
  std::uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(key.QueryValue("Absent", &type, data, &size), 0);
  EXPECT_EQ(key.status(), static_cast<std::int32_t>(os::kErrorFileNotFound));
}

TEST_F(RegistryKeyTest, SecondOpenClosesTheFirstKey) {
  RegistryKey key;
  ASSERT_EQ(key.Open(os::kHkeyLocalMachine, kTestKey, os::kKeyAllAccess), 1);
  EXPECT_EQ(counting_.registry_closes, 0);
  ASSERT_EQ(key.Open(os::kHkeyLocalMachine, "Software\\MesUpdateTest\\Sub",
                     os::kKeyAllAccess),
            1);
  EXPECT_EQ(counting_.registry_closes, 1);
  unsigned char data[4];
  std::uint32_t type = 0, size = sizeof data;
  ASSERT_EQ(key.QueryValue("Number", &type, data, &size), 1);
  EXPECT_EQ(type, os::kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 42);
}

}  // namespace
