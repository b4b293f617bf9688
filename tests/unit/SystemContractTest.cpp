// The contract of os/System.h, run on every backend: the in-memory one that
// the program's tests and fuzzers use, and the build's own (POSIX, or Win32
// under Wine). The two must answer alike, or tests on memory would pass where
// the real program fails.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "os/System.h"
#include "support/ContractBackend.h"

namespace {

using os::FileOpenMode;
using os::kErrorSharingViolation;
using os::kInvalidHandle;
using os::NativeHandle;
using os::StreamHandle;

struct Backend {
  const char* name;
  std::unique_ptr<ContractBackend> (*make)();
};
void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

class SystemContractTest : public ::testing::TestWithParam<Backend> {
 protected:
  SystemContractTest() : backend_(GetParam().make()), sys_(backend_->system()) {}

  std::string Path(const std::string& name) const { return backend_->Path(name); }

  // A stream for path that holds bytes already; nullptr when refused.
  StreamHandle StreamWith(const std::string& path, const std::string& bytes) {
    StreamHandle stream = sys_.StreamCreate(path.c_str());
    EXPECT_NE(stream, nullptr) << path;
    if (stream) {
      EXPECT_TRUE(sys_.StreamWrite(stream, bytes.data(), bytes.size()));
    }
    return stream;
  }
  // Through the backend's own calls, so the suite needs nothing else of it.
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = Path(name);
    StreamHandle stream = StreamWith(path, bytes);
    if (stream) {
      EXPECT_TRUE(sys_.StreamClose(stream));
    }
    return path;
  }
  // The whole file; "<unreadable>" when it cannot be opened for reading.
  std::string Read(const std::string& path) {
    const NativeHandle file = sys_.FileOpen(path.c_str(), FileOpenMode::kReadShareRead);
    if (file == kInvalidHandle) return "<unreadable>";
    std::string bytes(64, '\0');
    std::uint32_t got = 0;
    EXPECT_TRUE(sys_.FileRead(file, &bytes[0], static_cast<std::uint32_t>(bytes.size()), &got));
    EXPECT_TRUE(sys_.FileClose(file));
    bytes.resize(got);
    return bytes;
  }
  NativeHandle Open(const std::string& path, FileOpenMode mode) {
    return sys_.FileOpen(path.c_str(), mode);
  }
  // Every way in that the contract refuses while the file is held.
  void ExpectRefusedWhileHeld(const std::string& path, bool readers_too) {
    if (readers_too) {
      EXPECT_EQ(Open(path, FileOpenMode::kReadShareRead), kInvalidHandle);
      EXPECT_EQ(sys_.LastError(), kErrorSharingViolation) << "reader";
    }
    EXPECT_EQ(Open(path, FileOpenMode::kWriteTruncateShareNone), kInvalidHandle);
    EXPECT_EQ(sys_.LastError(), kErrorSharingViolation) << "writer";
    EXPECT_EQ(sys_.StreamCreate(path.c_str()), nullptr);
    EXPECT_EQ(sys_.LastError(), kErrorSharingViolation) << "stream";
    EXPECT_FALSE(sys_.PathDelete(path.c_str()));
    EXPECT_EQ(sys_.LastError(), kErrorSharingViolation) << "delete";
    EXPECT_FALSE(sys_.PathMove(path.c_str(), Path("moved").c_str()));
    EXPECT_EQ(sys_.LastError(), kErrorSharingViolation) << "move";
  }

  std::unique_ptr<ContractBackend> backend_;
  os::System& sys_;
};

TEST_P(SystemContractTest, ReadersShareAndKeepEveryoneElseOut) {
  const std::string path = Write("mes.arc", "archive");
  const NativeHandle first = Open(path, FileOpenMode::kReadShareRead);
  const NativeHandle second = Open(path, FileOpenMode::kReadShareRead);
  ASSERT_NE(first, kInvalidHandle);
  ASSERT_NE(second, kInvalidHandle);
  ExpectRefusedWhileHeld(path, false);
  EXPECT_TRUE(sys_.FileClose(first));
  EXPECT_TRUE(sys_.FileClose(second));
  EXPECT_EQ(Read(path), "archive");  // no refused writer emptied it
  EXPECT_TRUE(sys_.PathDelete(path.c_str()));
}

TEST_P(SystemContractTest, AWriterEmptiesTheFileAndSharesItWithNoOne) {
  const std::string path = Write("file", "old bytes");
  const NativeHandle writer = Open(path, FileOpenMode::kWriteTruncateShareNone);
  ASSERT_NE(writer, kInvalidHandle);
  std::uint32_t high = 1;
  EXPECT_EQ(sys_.FileSize(writer, &high), 0u);
  EXPECT_EQ(high, 0u);
  ExpectRefusedWhileHeld(path, true);
  std::uint32_t put = 0;
  EXPECT_TRUE(sys_.FileWrite(writer, "new", 3, &put));
  EXPECT_EQ(put, 3u);
  char byte = 0;
  std::uint32_t got = 0;
  EXPECT_FALSE(sys_.FileRead(writer, &byte, 1, &got));  // write access only
  EXPECT_TRUE(sys_.FileClose(writer));
  EXPECT_EQ(Read(path), "new");

  const NativeHandle created = Open(Path("created"), FileOpenMode::kWriteTruncateShareNone);
  ASSERT_NE(created, kInvalidHandle);
  EXPECT_TRUE(sys_.FileClose(created));
  EXPECT_EQ(Read(Path("created")), "");
}

// A second writer of the new archive must never empty the first one's file.
TEST_P(SystemContractTest, AStreamIsTheOnlyWriterOfItsNewFile) {
  const std::string path = Path("mes.arc_");
  StreamHandle stream = StreamWith(path, "first");
  ASSERT_NE(stream, nullptr);
  ExpectRefusedWhileHeld(path, true);
  EXPECT_TRUE(sys_.StreamSync(stream));
  EXPECT_TRUE(sys_.StreamClose(stream));
  EXPECT_EQ(Read(path), "first");
}

TEST_P(SystemContractTest, AStreamReplacesAStaleFileUnlessSomeoneHoldsIt) {
  const std::string path = Write("mes.arc_", "stale bytes");
  const NativeHandle reader = Open(path, FileOpenMode::kReadShareRead);
  ASSERT_NE(reader, kInvalidHandle);
  EXPECT_EQ(sys_.StreamCreate(path.c_str()), nullptr);
  EXPECT_EQ(sys_.LastError(), kErrorSharingViolation);
  EXPECT_TRUE(sys_.FileClose(reader));
  EXPECT_EQ(Read(path), "stale bytes");
  Write("mes.arc_", "new");  // once no one holds it
  EXPECT_EQ(Read(path), "new");
}

TEST_P(SystemContractTest, ReadsSeeksAndDuplicatesFollowTheFileCalls) {
  const std::string path = Write("ten", "0123456789");
  const NativeHandle file = Open(path, FileOpenMode::kReadShareRead);
  ASSERT_NE(file, kInvalidHandle);
  std::uint32_t high = 1;
  EXPECT_EQ(sys_.FileSize(file, &high), 10u);
  EXPECT_EQ(high, 0u);
  char buffer[16] = {};
  std::uint32_t got = 0;
  EXPECT_EQ(sys_.FileSeek(file, 7, nullptr, os::kSeekBegin), 7u);
  ASSERT_TRUE(sys_.FileRead(file, buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "789");  // short at the end, yet a success
  ASSERT_TRUE(sys_.FileRead(file, buffer, 4, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(sys_.FileSeek(file, static_cast<std::uint32_t>(-11), nullptr, os::kSeekCurrent),
            os::kInvalidSetFilePointer);  // before the start
  EXPECT_NE(sys_.LastError(), 0u);
  std::uint32_t put = 0;
  EXPECT_FALSE(sys_.FileWrite(file, "x", 1, &put));  // read access only

  // A duplicate shares the position and holds the file on its own.
  EXPECT_EQ(sys_.FileSeek(file, 2, nullptr, os::kSeekBegin), 2u);
  const NativeHandle duplicate = sys_.FileDuplicate(file);
  ASSERT_NE(duplicate, os::kNoHandle);
  ASSERT_TRUE(sys_.FileRead(duplicate, buffer, 3, &got));
  EXPECT_EQ(std::string(buffer, got), "234");
  ASSERT_TRUE(sys_.FileRead(file, buffer, 3, &got));
  EXPECT_EQ(std::string(buffer, got), "567");
  EXPECT_TRUE(sys_.FileClose(file));
  EXPECT_FALSE(sys_.PathDelete(path.c_str()));
  EXPECT_EQ(sys_.LastError(), kErrorSharingViolation);
  EXPECT_TRUE(sys_.FileClose(duplicate));
  EXPECT_EQ(Read(path), "0123456789");
}

TEST_P(SystemContractTest, ACopyIntoTheStreamSaysWhichSideFailed) {
  const std::string source = Write("source", "0123456789");
  const NativeHandle file = Open(source, FileOpenMode::kReadShareRead);
  ASSERT_NE(file, kInvalidHandle);
  StreamHandle stream = StreamWith(Path("copy"), ">");
  ASSERT_NE(stream, nullptr);
  std::uint32_t copied = 0;
  EXPECT_EQ(sys_.StreamCopyFromFile(stream, file, 2, 5, &copied), os::CopyResult::kCopied);
  EXPECT_EQ(copied, 5u);
  EXPECT_EQ(sys_.StreamCopyFromFile(stream, file, 8, 5, &copied),
            os::CopyResult::kReadFailed);  // the source ends early
  EXPECT_EQ(copied, 2u);
  EXPECT_TRUE(sys_.StreamClose(stream));
  EXPECT_TRUE(sys_.FileClose(file));
  EXPECT_EQ(Read(Path("copy")), ">2345689");
}

TEST_P(SystemContractTest, PathCallsReportWin32Codes) {
  const std::string file = Write("file", "x");
  const std::string folder = backend_->folder();
  EXPECT_TRUE(sys_.PathExists(file.c_str()));
  EXPECT_TRUE(sys_.PathExists(folder.c_str()));
  EXPECT_FALSE(sys_.PathExists(Path("missing").c_str()));
  EXPECT_EQ(sys_.LastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(sys_.PathExists(Path("none/missing").c_str()));
  EXPECT_TRUE(sys_.LastError() == os::kErrorFileNotFound ||
              sys_.LastError() == os::kErrorPathNotFound);
  EXPECT_EQ(Open(Path("missing"), FileOpenMode::kReadShareRead), kInvalidHandle);
  EXPECT_EQ(sys_.LastError(), os::kErrorFileNotFound);
  EXPECT_EQ(Open(folder, FileOpenMode::kReadShareRead), kInvalidHandle);
  EXPECT_EQ(sys_.LastError(), os::kErrorAccessDenied);
  EXPECT_EQ(sys_.StreamCreate(folder.c_str()), nullptr);
  EXPECT_TRUE(sys_.PathExists(folder.c_str()));
  EXPECT_FALSE(sys_.PathDelete(Path("missing").c_str()));
  EXPECT_EQ(sys_.LastError(), os::kErrorFileNotFound);

  const std::string other = Write("other", "y");
  EXPECT_FALSE(sys_.PathMove(file.c_str(), other.c_str()));  // never replaces
  EXPECT_EQ(sys_.LastError(), os::kErrorAlreadyExists);
  EXPECT_EQ(Read(other), "y");
  EXPECT_FALSE(sys_.PathMove(Path("missing").c_str(), Path("moved").c_str()));
  EXPECT_EQ(sys_.LastError(), os::kErrorFileNotFound);
  ASSERT_TRUE(sys_.PathMove(file.c_str(), Path("moved").c_str()));
  EXPECT_FALSE(sys_.PathExists(file.c_str()));
  EXPECT_EQ(Read(Path("moved")), "x");
}

// A backend may or may not say why a call failed; what it says goes with one
// message only, so a probe's cause never reaches a later message.
TEST_P(SystemContractTest, AFailuresCauseIsTakenOnce) {
  EXPECT_FALSE(sys_.PathDelete(Path("missing").c_str()));
  sys_.TakeFailureCause();
  EXPECT_EQ(sys_.TakeFailureCause(), "");
  EXPECT_FALSE(sys_.PathMove(Path("missing").c_str(), Path("moved").c_str()));
  EXPECT_EQ(sys_.LastError(), os::kErrorFileNotFound) << "taking the cause keeps the code";
}

// HKLM\Software\MesUpdateTest of TestRegistry.h: Text = テスト値 (9 bytes in
// code page 932, NUL included), Sub\Number = 42.
TEST_P(SystemContractTest, RegistryQueriesKeepTheBufferRule) {
  NativeHandle key = os::kNoHandle;
  ASSERT_EQ(sys_.RegistryOpen(os::kHkeyLocalMachine, "software\\MESUPDATETEST",
                              os::kKeyAllAccess, &key),
            0);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(sys_.RegistryQuery(key, "TEXT", &type, nullptr, &size), 0);
  EXPECT_EQ(type, os::kRegSz);
  EXPECT_EQ(size, 9u);
  unsigned char data[16] = {};
  size = 4;
  EXPECT_EQ(sys_.RegistryQuery(key, "Text", &type, data, &size),
            static_cast<std::int32_t>(os::kErrorMoreData));
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(data[0], 0);  // nothing delivered
  size = sizeof data;
  ASSERT_EQ(sys_.RegistryQuery(key, "Text", &type, data, &size), 0);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(std::memcmp(data, "\x83\x65\x83\x58\x83\x67\x92\x6C", 9), 0);
  EXPECT_EQ(sys_.RegistryQuery(key, "Absent", &type, data, &size),
            static_cast<std::int32_t>(os::kErrorFileNotFound));

  NativeHandle sub = os::kNoHandle;
  ASSERT_EQ(sys_.RegistryOpen(key, "Sub", os::kKeyAllAccess, &sub), 0);
  size = sizeof data;
  ASSERT_EQ(sys_.RegistryQuery(sub, "Number", &type, data, &size), 0);
  EXPECT_EQ(type, os::kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 42);
  NativeHandle missing = 1;
  EXPECT_EQ(sys_.RegistryOpen(key, "Nope", os::kKeyAllAccess, &missing),
            static_cast<std::int32_t>(os::kErrorFileNotFound));
  EXPECT_EQ(missing, os::kNoHandle);
  EXPECT_EQ(sys_.RegistryClose(sub), 0);
  EXPECT_EQ(sys_.RegistryClose(key), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, SystemContractTest,
                         ::testing::Values(Backend{"Memory", MakeMemoryBackend},
                                           Backend{"Native", MakeNativeBackend}),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
