// HKEY_LOCAL_MACHINE read from a prefix's system.reg with the Win32 calling
// conventions. Expected Shift-JIS bytes come from iconv -t CP932.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wineprefix/CodePage.h"
#include "backends/posix/WineRegistry.h"
#include "posix/TempWinePrefix.h"

using os::NativeHandle;
using os::kHkeyLocalMachine;
using backends::posix::WineRegistryClose;
using backends::posix::WineRegistryOpen;
using backends::posix::WineRegistryQuery;
using namespace std::string_literals;

namespace {

constexpr std::int32_t kOk = 0, kNotFound = 2, kBadHandle = 6;

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

class WineRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (NativeHandle key : open_) WineRegistryClose(key);
  }

  // The key's handle, or 0 with the status in status_.
  NativeHandle Open(const char* subkey, NativeHandle root = kHkeyLocalMachine) {
    NativeHandle key = 12345;
    status_ = WineRegistryOpen(root, subkey, os::kKeyAllAccess, &key);
    if (status_ != kOk) {
      EXPECT_EQ(key, os::kNoHandle);
      return 0;
    }
    open_.push_back(key);
    return key;
  }

  // "type:hex bytes", asking for the size first as callers do; "error N".
  std::string Value(NativeHandle key, const char* name) {
    std::uint32_t type = 0;
    std::string data;
    const std::int32_t status = Query(key, name, &type, &data);
    if (status != kOk) return "error " + std::to_string(status);
    return std::to_string(type) + ":" + Hex(data);
  }

  // A string value read back as the file calls read a path: "error N" when
  // the query fails.
  std::string Text(NativeHandle key, const char* name) {
    std::uint32_t type = 0;
    std::string data, utf8;
    const std::int32_t status = Query(key, name, &type, &data);
    if (status != kOk) return "error " + std::to_string(status);
    return wineprefix::Cp932ToUtf8(data, &utf8) ? utf8 : "not Shift-JIS";
  }

  std::int32_t Query(NativeHandle key, const char* name, std::uint32_t* type, std::string* data) {
    std::uint32_t size = 0;
    std::int32_t status = WineRegistryQuery(key, name, type, nullptr, &size);
    data->assign(size, '\x55');
    if (status == kOk) {
      status = WineRegistryQuery(key, name, nullptr,
                                 reinterpret_cast<unsigned char*>(data->data()), &size);
    }
    data->resize(size);
    return status;
  }

  TempWinePrefix prefix_;
  std::int32_t status_ = 0;
  std::vector<NativeHandle> open_;
};

constexpr char kValues[] =
    "WINE REGISTRY Version 2\n"
    "[Software\\\\velk\\\\MIRKAN] 1796618148\n"
    "@=\"\\x30c7\\x30d5\\x30a9\\x30eb\\x30c8\"\n"
    "\"InstPath\"=\"C:\\\\Games\\\\\\x30df\\x30eb\\x30ab\\x30ca\\x8868\\x30bd\"\n"
    "\"Escaped\"=\"a\\\\b\\\"c\\n\\101\\x41\"\n"
    "\"Count\"=dword:12345678\n"
    "\"SzNoNul\"=hex(1):43,00,3a,00,5c,00,68,88\n"
    "\"Odd\"=hex(1):41,00,42\n"
    "\"Yen\"=\"C:\\\\Games\\\\\\xa5Mirkan\"\n"
    "\"WaveDash\"=\"C:\\\\\\x301c\"\n";

TEST_F(WineRegistryTest, ReturnsStringsInCodePage932AndOtherTypesRaw) {
  prefix_.WriteSystemReg(kValues);
  NativeHandle key = Open("Software\\velk\\MIRKAN");
  ASSERT_NE(key, 0u);
  // C:\Games\ミルカナ表ソ, its NUL counted; names in any case.
  EXPECT_EQ(Value(key, "instPATH"), "1:433a5c47616d65735c837e838b834a8369955c835c00");
  // デフォルト, under a null or an empty name.
  EXPECT_EQ(Value(key, nullptr), "1:836683748348838b836700");
  EXPECT_EQ(Value(key, ""), "1:836683748348838b836700");
  EXPECT_EQ(Value(key, "Escaped"), "1:" + Hex("a\\b\"c\nAA") + "00");
  // Stored without a NUL: converted as stored, nothing added to the size.
  EXPECT_EQ(Value(key, "SzNoNul"), "1:433a5c955c");
  EXPECT_EQ(Value(key, "Odd"), "1:41");
  // Characters iconv would take one way only (the yen sign to 0x5C, a path
  // separator once read back; the wave dash to the full-width tilde) take
  // user-defined codes, which read back as themselves.
  const std::string yen = Value(key, "Yen");
  EXPECT_EQ(yen.substr(0, 20), "1:" + Hex("C:\\Games\\")) << yen;
  EXPECT_TRUE(yen.substr(20, 2) >= "f0" && yen.substr(20, 2) <= "f9") << yen;
  EXPECT_EQ(Text(key, "Yen"), "C:\\Games\\\u00A5Mirkan\0"s);
  EXPECT_EQ(Text(key, "WaveDash"), "C:\\\u301C\0"s);
}

TEST_F(WineRegistryTest, OpensKeysAndReportsWhatIsMissing) {
  EXPECT_EQ(Open("Software\\velk\\MIRKAN"), 0u);  // no system.reg yet
  EXPECT_EQ(status_, kNotFound);

  std::string crlf;
  for (const char* p = kValues; *p; ++p) crlf += *p == '\n' ? "\r\n" : std::string(1, *p);
  prefix_.WriteSystemReg(crlf);
  NativeHandle root = Open(nullptr);
  ASSERT_NE(root, 0u);
  // Parents exist without sections of their own; keys open relative to others.
  NativeHandle velk = Open("SOFTWARE\\velk\\", root);
  ASSERT_NE(velk, 0u);
  NativeHandle mirkan = Open("mirkan", velk);
  ASSERT_NE(mirkan, 0u);
  EXPECT_EQ(Value(mirkan, "Count"), "4:78563412");
  EXPECT_EQ(Value(mirkan, "Missing"), "error 2");
  EXPECT_EQ(Value(velk, "Count"), "error 2");
  EXPECT_EQ(Value(0x4444, "Count"), "error 6");

  EXPECT_EQ(Open("Software\\velk\\MIRKAN\\Missing"), 0u);
  EXPECT_EQ(status_, kNotFound);
  EXPECT_EQ(Open("Software", 0x80000001u), 0u);  // HKEY_CURRENT_USER
  EXPECT_EQ(status_, kNotFound);
  EXPECT_EQ(Open("Software", 0x4444), 0u);
  EXPECT_EQ(status_, kBadHandle);
  EXPECT_EQ(Open("Software\\\x81"), 0u);  // not Shift-JIS
  EXPECT_EQ(status_, kNotFound);

  NativeHandle key = 0;
  ASSERT_EQ(WineRegistryOpen(kHkeyLocalMachine, "Software", os::kKeyAllAccess, &key), kOk);
  EXPECT_EQ(WineRegistryClose(key), kOk);
  EXPECT_EQ(WineRegistryClose(key), kBadHandle);

  // A file without Wine's header is no registry at all.
  prefix_.WriteSystemReg("WINE REGISTRY Version 1" + crlf.substr(crlf.find('\r')));
  EXPECT_EQ(Open(nullptr), 0u);
  EXPECT_EQ(status_, kNotFound);
}

constexpr char kBothViews[] =
    "[Software\\\\velk\\\\MIRKAN] 1\n"
    "\"InstPath\"=\"64\"\n"
    "\"Only64\"=\"x\"\n"
    "[Software\\\\Wow6432Node\\\\velk\\\\MIRKAN] 1\n"
    "\"InstPath\"=\"32\"\n"
    "[System\\\\Setup] 1\n";

TEST_F(WineRegistryTest, SeesSoftwareThroughWow6432NodeInA64BitPrefix) {
  prefix_.WriteSystemReg("WINE REGISTRY Version 2\n#arch=win64\n"s + kBothViews);
  EXPECT_EQ(Value(Open("Software\\velk\\MIRKAN"), "InstPath"), "1:333200");
  EXPECT_EQ(Value(Open("Software\\velk\\MIRKAN"), "Only64"), "error 2");
  // The same view when opened step by step, or when naming the node itself.
  EXPECT_EQ(Value(Open("velk\\MIRKAN", Open("software")), "InstPath"), "1:333200");
  EXPECT_EQ(Value(Open("Software\\Wow6432Node\\velk\\MIRKAN"), "InstPath"), "1:333200");
  EXPECT_NE(Open("System\\Setup"), 0u);  // only Software is redirected

  // A 32-bit prefix has one view: the keys as written.
  prefix_.WriteSystemReg("WINE REGISTRY Version 2\n#arch=win32\n"s + kBothViews);
  EXPECT_EQ(Value(Open("Software\\velk\\MIRKAN"), "InstPath"), "1:363400");
}

// What Wine 8 wrote for keys added with reg.exe (with /reg:32 and without),
// regedit, and a program calling RegSetValueExW without the NUL.
TEST_F(WineRegistryTest, ReadsTheKeysAWine8PrefixWrote) {
  std::ifstream in(MES_TEST_DATA_DIR "/wine8-system.reg", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  prefix_.WriteSystemReg(text.str());
  NativeHandle key = Open("SoftWare\\velk\\MIRKAN");
  ASSERT_NE(key, 0u) << "status " << status_;
  // C:\Games32\ミルカナ表ソ: the 32-bit view, not C:\Games\.
  EXPECT_EQ(Value(key, "InstPath"), "1:433a5c47616d657333325c837e838b834a8369955c835c00");
  EXPECT_EQ(Value(key, nullptr), "1:836683748348838b836700");
  EXPECT_EQ(Value(key, "Expand"), "2:2553797374656d526f6f74255c955c8ea600");
  EXPECT_EQ(Value(key, "Multi"), "7:6f6e6500955c835c0074687265650000");
  EXPECT_EQ(Value(key, "Count"), "4:78563412");
  EXPECT_EQ(Value(key, "Blob"),
            "3:00ff10abcdef0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  // é has no Shift-JIS form: both take the one user-defined code that
  // stands for it in this process.
  const std::string name = Value(key, "Name");
  EXPECT_EQ(name.substr(6, 4), name.substr(12, 4)) << name;
  EXPECT_EQ(Text(key, "Name"), "fr\u00E9d\u00E9\u88681a\0"s);
  EXPECT_EQ(Value(key, "Quote"), "1:" + Hex("say \"hi\" \\\\ back\\slash") + "00");
  // %ProgramFiles%\velk\ミルカナ\表示\bin over three hex(2) lines, no NUL.
  EXPECT_EQ(Value(key, "ExpandNoNul"),
            "2:2550726f6772616d46696c6573255c76656c6b5c837e838b834a83695c955c8ea65c62696e");
  EXPECT_EQ(Value(key, "NoNulR"), "error 2");  // only in the 64-bit view

  // The subkey 表ソ and its value キー, named in Shift-JIS.
  EXPECT_EQ(Value(Open("Software\\velk\\MIRKAN\\\x95\x5c\x83\x5c"), "\x83\x4c\x81\x5b"), "1:7800");
  EXPECT_EQ(Open("Software\\Wine\\Ports"), 0u);  // a link
}

}  // namespace
