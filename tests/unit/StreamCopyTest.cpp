// Copying a file's bytes into the output stream, against the build's own
// backend (in the kernel on Linux, reads and writes on Windows) and against
// the reads and writes every backend falls back to.
#include <gtest/gtest.h>

#include <string>

#include "os/System.h"
#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"

namespace {

using os::CopyResult;

// Over two chunks of the reads-and-writes copy, with an odd tail.
const std::string kSource = archive_test::PatternData((3u << 20) + 77, 5);

// The default copy on the native backend's own reads and writes.
class ReadWriteCopySystem : public os::ForwardingSystem {
 public:
  CopyResult StreamCopyFromFile(os::StreamHandle s, os::NativeHandle f,
                                std::uint32_t o, std::uint32_t n, std::uint32_t* c) override {
    return os::System::StreamCopyFromFile(s, f, o, n, c);
  }
};

// Writes "head", copies [offset, offset + count) of the source, writes "tail".
struct CopyRun {
  CopyResult result;
  std::uint32_t copied;
  std::string written;
};

CopyRun CopyBetweenWrites(os::System& system, const TempDir& dir, std::uint32_t offset,
                          std::uint32_t count) {
  const std::string source = dir.Write("source", kSource);
  const std::string target = dir.Path("target");
  CopyRun run{CopyResult::kWriteFailed, 0, ""};
  const os::NativeHandle file =
      system.FileOpen(source.c_str(), os::FileOpenMode::kReadShareRead);
  os::StreamHandle stream = system.StreamCreate(target.c_str());
  EXPECT_NE(file, os::kInvalidHandle);
  EXPECT_NE(stream, nullptr);
  if (file == os::kInvalidHandle || !stream) return run;
  EXPECT_TRUE(system.StreamWrite(stream, "head", 4));
  run.result = system.StreamCopyFromFile(stream, file, offset, count, &run.copied);
  EXPECT_TRUE(system.StreamWrite(stream, "tail", 4));
  EXPECT_TRUE(system.StreamSync(stream));
  EXPECT_TRUE(system.StreamClose(stream));
  EXPECT_TRUE(system.FileClose(file));
  run.written = ReadFileBytes(target);
  return run;
}

class StreamCopyTest : public ::testing::TestWithParam<bool> {
 protected:
  os::System& system() {
    return GetParam() ? static_cast<os::System&>(read_write_) : os::NativeSystem();
  }
  ReadWriteCopySystem read_write_;
  TempDir dir_;
};

TEST_P(StreamCopyTest, CopiedBytesLandBetweenTheBufferedOnes) {
  const std::uint32_t offset = 1000, count = static_cast<std::uint32_t>(kSource.size()) - 1010;
  const CopyRun run = CopyBetweenWrites(system(), dir_, offset, count);
  EXPECT_EQ(run.result, CopyResult::kCopied);
  EXPECT_EQ(run.copied, count);
  EXPECT_TRUE(run.written == "head" + kSource.substr(offset, count) + "tail");

  const CopyRun nothing = CopyBetweenWrites(system(), dir_, 5, 0);
  EXPECT_EQ(nothing.result, CopyResult::kCopied);
  EXPECT_EQ(nothing.written, "headtail");
}

TEST_P(StreamCopyTest, ASourceThatEndsEarlyIsAReadFailureAfterWhatItHad) {
  const std::uint32_t size = static_cast<std::uint32_t>(kSource.size());
  const CopyRun run = CopyBetweenWrites(system(), dir_, size - 100, 300);
  EXPECT_EQ(run.result, CopyResult::kReadFailed);
  EXPECT_EQ(run.copied, 100u);
  EXPECT_TRUE(run.written == "head" + kSource.substr(size - 100) + "tail");
}

INSTANTIATE_TEST_SUITE_P(Backends, StreamCopyTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ReadsAndWrites" : "Native";
                         });

}  // namespace
