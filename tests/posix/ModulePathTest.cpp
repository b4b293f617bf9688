// The caption is the executable's base name: on Linux the path is UTF-8, whose
// bytes Shift-JIS rules would misread (あ is E3 81 82, and 0x82 would swallow
// the separator after it).
#include <gtest/gtest.h>

#include <cstring>

#include "app/ModuleNames.h"
#include "os/Process.h"

namespace {

TEST(ModulePathTest, SplitsUtf8FoldersAtTheirSeparators) {
  ModuleNames names;
  DeriveModuleNames("/home/u/\xe3\x81\x82/mesupdate", os::IsAnsiLeadByte, &names);
  EXPECT_STREQ(names.base_name, "mesupdate");
  EXPECT_STREQ(names.module_folder, "/home/u/\xe3\x81\x82/");
}

}  // namespace
