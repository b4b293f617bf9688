// The Windows backend reaches the registry, files and its own path through the
// wide calls and converts at the edge. The test prefix runs on code page 932,
// where every answer must be what the ANSI call gives; values CP932 cannot
// hold come back through short names or not at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/Process.h"
#include "os/System.h"
#include "backends/win32/WideText.h"
#include "support/TempDir.h"

namespace {

using backends::win32::WideFromCp932;

const wchar_t kKeyPath[] = L"Software\\MesUpdateWideTest";
const wchar_t kGe[] = L"\u30B2";    // ゲ
const wchar_t kHyou[] = L"\u8868";  // 表: its second Shift-JIS byte is a backslash

std::wstring Repeat(const wchar_t* piece, int count) {
  std::wstring out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

struct Answer {
  LONG status;
  DWORD type, size;
  std::string data;  // the buffer as left, when the call succeeded
};

class WideRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath);
  }

  // Stores the text, with its NUL unless told otherwise. The registry counts
  // a NUL that follows the data in memory, so none may follow it then.
  void Store(const std::wstring& text, bool with_nul = true) {
    const std::wstring buffer = with_nul ? text : text + L"X";
    const DWORD bytes = static_cast<DWORD>((text.size() + (with_nul ? 1 : 0)) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(key_, L"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(buffer.c_str()),
                             bytes),
              ERROR_SUCCESS);
  }

  Answer ByAnsiCall(DWORD capacity, bool with_buffer = true) {
    std::string buffer(capacity, '\x7F');
    Answer a{0, 0, capacity, {}};
    a.status = RegQueryValueExA(key_, "V", nullptr, &a.type,
                                with_buffer ? reinterpret_cast<BYTE*>(&buffer[0]) : nullptr,
                                &a.size);
    if (a.status == ERROR_SUCCESS && with_buffer) a.data = buffer;
    return a;
  }

  Answer ByBackend(DWORD capacity, bool with_buffer = true) {
    std::string buffer(capacity, '\x7F');
    std::uint32_t type = 0, size = capacity;
    LONG status = os::NativeSystem().RegistryQuery(
        reinterpret_cast<os::NativeHandle>(key_), "V", &type,
        with_buffer ? reinterpret_cast<unsigned char*>(&buffer[0]) : nullptr, &size);
    Answer a{status, type, size, {}};
    if (status == ERROR_SUCCESS && with_buffer) a.data = buffer;
    return a;
  }

  void ExpectSameAsAnsiCall(const char* what, DWORD capacity, bool with_buffer = true) {
    SCOPED_TRACE(std::string(what) + ", buffer " + std::to_string(capacity));
    Answer ansi = ByAnsiCall(capacity, with_buffer);
    Answer ours = ByBackend(capacity, with_buffer);
    EXPECT_EQ(ours.status, ansi.status);
    EXPECT_EQ(ours.type, ansi.type);
    EXPECT_EQ(ours.size, ansi.size);
    EXPECT_EQ(ours.data, ansi.data);
  }

  HKEY key_ = nullptr;
};

TEST_F(WideRegistryTest, StringValuesAreDeliveredAsTheAnsiCallDoesOnCodePage932) {
  // 129 double-byte characters, one ASCII and the NUL fill 260 bytes exactly,
  // though the stored wide form (262 bytes) does not fit.
  const std::wstring exact = Repeat(kHyou, 129) + L"x";
  Store(exact);
  ExpectSameAsAnsiCall("exact fit", 260);
  EXPECT_EQ(ByBackend(260).size, 260u);
  ExpectSameAsAnsiCall("exact fit, one byte short", 259);
  ExpectSameAsAnsiCall("size only", 0, false);

  // Fits as wide text (262 bytes), not in CP932 (261).
  Store(Repeat(kGe, 130));
  Answer longer = ByBackend(260);
  EXPECT_EQ(longer.status, ERROR_MORE_DATA);
  EXPECT_EQ(longer.size, 261u);
  ExpectSameAsAnsiCall("longer in CP932", 260);

  // Without a stored NUL: one is added when there is room, and not counted.
  Store(std::wstring(L"C:\\") + kGe + kHyou, false);
  ExpectSameAsAnsiCall("unterminated, room left", 260);
  ExpectSameAsAnsiCall("unterminated, exact", 7);
  Store(L"");
  ExpectSameAsAnsiCall("empty", 260);
}

TEST_F(WideRegistryTest, OtherTypesPassThroughUnchanged) {
  const DWORD number = 42;
  ASSERT_EQ(RegSetValueExW(key_, L"V", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number),
            ERROR_SUCCESS);
  ExpectSameAsAnsiCall("dword", 4);
  ExpectSameAsAnsiCall("dword, small buffer", 3);
}

TEST_F(WideRegistryTest, FolderCp932CannotNameIsReachedThroughItsShortName) {
  TempDir dir;
  const std::wstring parent = WideFromCp932(dir.path().c_str()) + L"\\" + kGe + kHyou;
  const std::wstring folder = parent + L"\\Caf\u00E9 Mirkan";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  Store(folder);

  Answer ours = ByBackend(260);
  ASSERT_EQ(ours.status, ERROR_SUCCESS);
  const std::string value = ours.data.substr(0, ours.size - 1);
  // Only the last component changes: the Japanese one CP932 holds stays long.
  const std::string kept = dir.path() + "\\\x83\x51\x95\x5C\\";
  ASSERT_EQ(value.compare(0, kept.size(), kept), 0) << value;
  const std::string short_name = value.substr(kept.size());
  EXPECT_EQ(short_name.find_first_of("\\\xE9"), std::string::npos) << short_name;
  EXPECT_TRUE(os::NativeSystem().PathExists(value.c_str())) << value;
  EXPECT_EQ(ours.data[ours.size - 1], '\0');

  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(parent.c_str());
  // Without the folder there is no short name, hence no lossless form.
  EXPECT_EQ(ByBackend(260).status, backends::win32::kErrorNoUnicodeTranslation);
}

TEST(WideModulePathTest, IsTheAnsiCallsPathAndIsCutLikeIt) {
  for (std::uint32_t capacity : {260u, 10u, 1u}) {
    SCOPED_TRACE(capacity);
    std::vector<char> ansi(capacity, '\x7F'), ours(capacity, '\x7F');
    const DWORD ansi_length = GetModuleFileNameA(nullptr, ansi.data(), capacity);
    EXPECT_EQ(os::ModuleFileName(ours.data(), capacity), ansi_length);
    // A cut path ends in a NUL, as current Windows does it (Wine, like XP, adds none).
    const std::size_t compared = ansi_length < capacity ? ansi_length + 1 : capacity - 1;
    EXPECT_EQ(std::string(ours.data(), compared), std::string(ansi.data(), compared));
    EXPECT_EQ(ours[std::min<std::size_t>(ansi_length, capacity - 1)], '\0');
  }
}

}  // namespace
