#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/AppBase.h"
#include "app/ModuleNames.h"
#include "os/Process.h"
#include "support/TestApp.h"

namespace {

struct PhaseCase {
  std::int32_t init_result;
  std::int32_t run_result;
  const char* expected_calls;
  std::int32_t expected_exit;
};

TEST(AppMainTest, RunsOnlyAfterInitReturnsExactlyOneAndAlwaysExits) {
  const PhaseCase cases[] = {
      {1, 1, "IRE", 1}, {1, 7, "IRE", 7}, {0, 1, "IE", -1}, {2, 1, "IE", -1}, {-1, 1, "IE", -1},
  };
  TestApp& app = GetTestApp();
  for (const PhaseCase& c : cases) {
    app.calls.clear();
    app.init_result = c.init_result;
    app.run_result = c.run_result;
    EXPECT_EQ(AppMain(nullptr, nullptr, "", 10), c.expected_exit) << "Init " << c.init_result;
    EXPECT_EQ(app.calls, c.expected_calls) << "Init " << c.init_result;
  }
  app.init_result = 1;
  app.run_result = 1;
}

TEST(AppMainTest, StoresStartUpValues) {
  int marker = 0;
  const char* command_line = "--flag value";
  AppMain(&marker, nullptr, command_line, 3);
  EXPECT_EQ(GetTestApp().instance(), &marker);
  EXPECT_EQ(GetTestApp().command_line(), command_line);
  EXPECT_EQ(GetTestApp().show_state(), 3);
}

TEST(AppBaseTest, FirstApplicationStaysRegistered) {
  ASSERT_EQ(GetApp(), &GetTestApp());
  {
    TestApp second;
    EXPECT_EQ(GetApp(), &GetTestApp());
  }
  TestApp* third = new TestApp;  // from the object heap
  EXPECT_EQ(GetApp(), &GetTestApp());
  delete third;
}

TEST(AppBaseTest, DerivesNamesOfThisExecutable) {
  const std::string base = GetTestApp().base_name();
  EXPECT_EQ(base, "unit_tests");
  const std::string folder = GetTestApp().module_folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.back() == '\\' || folder.back() == '/');
  EXPECT_EQ(std::string(GetTestApp().ini_path()), folder + "unit_tests.INI");
}

TEST(ObjectHeapTest, DeletingHeapObjectsGivesTheHeapBack) {
  ObjectHeap& heap = GetObjectHeap();
  ASSERT_NE(heap.lock, nullptr);
  ASSERT_EQ(heap.live_count, 0);
  TestApp* a = new TestApp;
  TestApp* b = new TestApp;
  EXPECT_EQ(heap.live_count, 2);
  EXPECT_NE(heap.heap, nullptr);
  delete a;
  EXPECT_EQ(heap.live_count, 1);
  EXPECT_NE(heap.heap, nullptr);
  delete b;
  EXPECT_EQ(heap.live_count, 0);
  EXPECT_EQ(heap.heap, nullptr);  // destroyed with its last block
}

ModuleNames Derive(const char* path) {
  ModuleNames names;
  DeriveModuleNames(path, os::IsCp932LeadByte, &names);
  return names;
}

void ExpectNames(const char* path, const std::string& base, const std::string& folder,
                 const std::string& ini) {
  ModuleNames names = Derive(path);
  EXPECT_EQ(names.base_name, base) << path;
  EXPECT_EQ(names.module_folder, folder) << path;
  EXPECT_EQ(names.ini_path, ini) << path;
}

TEST(ModuleNamesTest, SplitsDriveFolderAndBaseName) {
  ExpectNames("C:\\Games\\Patch\\update.exe", "update", "C:\\Games\\Patch\\",
              "C:\\Games\\Patch\\update.INI");
  ExpectNames("C:\\x\\a.b.exe", "a.b", "C:\\x\\", "C:\\x\\a.b.INI");
  ExpectNames("C:\\x\\tool", "tool", "C:\\x\\", "C:\\x\\tool.INI");
  ExpectNames("\\\\server\\share\\update.exe", "update", "\\\\server\\share\\",
              "\\\\server\\share\\update.INI");
  ExpectNames("/opt/game/bin/mesupdate", "mesupdate", "/opt/game/bin/", "/opt/game/bin/mesupdate.INI");
  ExpectNames("C:update.exe", "update", "C:", "C:update.INI");
  ExpectNames("C:\\dir.d\\noext", "noext", "C:\\dir.d\\", "C:\\dir.d\\noext.INI");
}

TEST(ModuleNamesTest, TrailByteOf0x5CIsNotASeparator) {
  // 表 is 0x95 0x5C, ソ is 0x83 0x5C in Shift-JIS.
  ExpectNames("C:\\\x95\x5C\\update.exe", "update", "C:\\\x95\x5C\\", "C:\\\x95\x5C\\update.INI");
  ExpectNames("C:\\Game\\\x83\x5C\x83\x74\x83\x67.exe", "\x83\x5C\x83\x74\x83\x67", "C:\\Game\\",
              "C:\\Game\\\x83\x5C\x83\x74\x83\x67.INI");
  // Without double-byte awareness the folder would end inside the character.
  ModuleNames single_byte;
  DeriveModuleNames("C:\\\x95\x5Cx.exe", [](unsigned char) { return false; }, &single_byte);
  EXPECT_STREQ(single_byte.base_name, "x");
  EXPECT_STREQ(Derive("C:\\\x95\x5Cx.exe").base_name, "\x95\x5Cx");
}

TEST(ModuleNamesTest, EmptyOrOverlongPathsStayInsideTheirBuffers) {
  ModuleNames empty = Derive("");
  EXPECT_STREQ(empty.base_name, "");
  EXPECT_STREQ(empty.module_folder, "");
  EXPECT_STREQ(empty.ini_path, "");

  // A 259-byte path with a one-letter extension: the INI path must be cut.
  std::string path = "C:\\" + std::string(200, 'd') + "\\" + std::string(53, 'n') + ".e";
  ASSERT_EQ(path.size(), 259u);
  ModuleNames names = Derive(path.c_str());
  EXPECT_EQ(std::string(names.base_name), std::string(53, 'n'));
  EXPECT_EQ(std::strlen(names.ini_path), kMaxPath - 1);
  EXPECT_EQ(std::string(names.ini_path).substr(0, 257), path.substr(0, 257));

  // A base name over 255 bytes is cut to 255.
  std::string long_name = "C:\\" + std::string(256, 'x') + ".exe";
  EXPECT_EQ(std::strlen(Derive(long_name.c_str()).base_name), 255u);
}

}  // namespace
