// Thin classes over one platform file handle. Every operation is one platform
// call; failures show only in the result. The handle value 0 means none.
#pragma once

#include <cstdint>

#include "os/System.h"

class FileHandle {
 public:
  using Handle = os::NativeHandle;

  FileHandle() : handle_(os::kNoHandle) {}
  virtual ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Takes ownership of handle; a handle already held is neither closed nor returned.
  virtual void Attach(Handle handle);
  // Read access, others may read too; the file must exist. 1 or 0.
  virtual int OpenForRead(const char* path);
  // Write access, no sharing; creates or truncates. 1 or 0.
  virtual int CreateForWrite(const char* path);
  // Closes the handle stored at place and sets it to none; 1 without a call
  // when it holds none; 0 (place unchanged) when the platform close fails.
  virtual int CloseHandleAt(Handle* place);
  virtual int Close();
  // The platform's success flag; a short read at the end of the file succeeds.
  virtual int Read(void* buffer, std::uint32_t count);
  virtual int Write(const void* buffer, std::uint32_t count);
  // The distance is zero-extended: a seek never moves backwards. 1 or 0.
  virtual int Seek(std::uint32_t distance, std::uint32_t origin);
  // Low 32 bits of the size, 0xFFFFFFFF on failure.
  virtual std::uint32_t GetSize();
  // A new inheritable read-only handle owned by the caller, or none.
  virtual Handle Duplicate();
  // The 32-bit position, 0xFFFFFFFF on failure.
  virtual std::uint32_t Tell();

  // Like Read, and also tells how many bytes arrived, so readers of
  // untrusted files can tell a short read from a full one.
  int ReadCounted(void* buffer, std::uint32_t count, std::uint32_t* transferred);

  Handle handle() const { return handle_; }

 protected:
  Handle handle_;
};

class SizedInputFile : public FileHandle {
 public:
  SizedInputFile() : size_(0) {}

  // Also records the file's size (0xFFFFFFFF when that query fails); a failed
  // open leaves the recorded size as it was.
  int OpenForRead(const char* path) override;
  // The recorded size, without a platform call.
  std::uint32_t GetSize() override;

 protected:
  std::uint32_t size_;
};
