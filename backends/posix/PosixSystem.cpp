// The Linux backend: files and the registry of a Wine prefix, a terminal
// or desktop dialog for message boxes, payloads linked into the executable.
#include <string>

#include "os/System.h"
#include "backends/posix/DesktopDialog.h"
#include "backends/posix/ErrorCodes.h"
#include "backends/posix/PayloadTable.h"
#include "backends/posix/PosixFiles.h"
#include "backends/posix/WineRegistry.h"

namespace os {
namespace posix = backends::posix;
namespace {

class PosixSystem final : public System {
 public:
  NativeHandle FileOpen(const char* p, FileOpenMode m) override { return posix::FileOpen(p, m); }
  bool FileRead(NativeHandle f, void* b, std::uint32_t c, std::uint32_t* t) override {
    return posix::FileRead(f, b, c, t);
  }
  bool FileWrite(NativeHandle f, const void* b, std::uint32_t c, std::uint32_t* t) override {
    return posix::FileWrite(f, b, c, t);
  }
  std::uint32_t FileSeek(NativeHandle f, std::uint32_t d, std::int32_t* h, std::uint32_t o) override {
    return posix::FileSeek(f, d, h, o);
  }
  std::uint32_t FileSize(NativeHandle f, std::uint32_t* h) override { return posix::FileSize(f, h); }
  bool FileClose(NativeHandle f) override { return posix::FileClose(f); }
  NativeHandle FileDuplicate(NativeHandle f) override { return posix::FileDuplicate(f); }

  StreamHandle StreamCreate(const char* p) override { return posix::StreamCreate(p); }
  bool StreamWrite(StreamHandle s, const void* d, std::size_t n) override {
    return posix::StreamWrite(s, d, n);
  }
  bool StreamSync(StreamHandle s) override { return posix::StreamSync(s); }
  bool StreamClose(StreamHandle s) override { return posix::StreamClose(s); }
  // In the kernel where it can; otherwise the rest through reads and writes.
  CopyResult StreamCopyFromFile(StreamHandle s, NativeHandle f, std::uint32_t offset,
                                std::uint32_t count, std::uint32_t* copied) override {
    CopyResult result = CopyResult::kCopied;
    if (posix::StreamCopyInKernel(s, f, offset, count, copied, &result)) return result;
    std::uint32_t rest = 0;
    result = System::StreamCopyFromFile(s, f, offset + *copied, count - *copied, &rest);
    *copied += rest;
    if (result == CopyResult::kReadFailed && posix::LastWin32Error() == kErrorSuccess) {
      posix::SetLastWin32Error(kErrorHandleEof);
    }
    return result;
  }

  bool PathExists(const char* p) override { return posix::PathExists(p); }
  bool PathDelete(const char* p) override { return posix::PathDelete(p); }
  bool PathMove(const char* f, const char* t) override { return posix::PathMove(f, t); }
  std::uint32_t LastError() override { return posix::LastWin32Error(); }

  std::int32_t RegistryOpen(NativeHandle r, const char* s, std::uint32_t a, NativeHandle* k) override {
    return posix::WineRegistryOpen(r, s, a, k);
  }
  std::int32_t RegistryQuery(NativeHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                             std::uint32_t* s) override {
    return posix::WineRegistryQuery(k, n, t, d, s);
  }
  std::int32_t RegistryClose(NativeHandle k) override { return posix::WineRegistryClose(k); }

  std::string TakeFailureCause() override { return posix::TakeFailureDetail(); }
  void SwapBegins() override { posix::BeginSwap(); }

  MessageAnswer ShowMessage(const char* text, const char* caption, CaptionEncoding encoding,
                            MessageStyle style) override {
    return posix::ShowPlayerMessage(text, caption, encoding, style);
  }

  PayloadBytes FindPayload(int id) override {
    for (std::size_t i = 0; i < posix::kPayloadCount; ++i) {
      const posix::PayloadRecord& record = posix::kPayloadTable[i];
      if (record.id == id) {
        return {record.begin, static_cast<std::uint32_t>(record.end - record.begin)};
      }
    }
    return {nullptr, 0};
  }
};

}  // namespace

System& NativeSystem() {
  static PosixSystem system;
  return system;
}

}  // namespace os
