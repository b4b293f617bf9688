#include "platform/FileHandle.h"

using os::Sys;

namespace {

FileHandle::Handle HandleOrNone(FileHandle::Handle opened) {
  return opened == os::kInvalidHandle ? os::kNoHandle : opened;
}

}  // namespace

FileHandle::~FileHandle() { FileHandle::CloseHandleAt(&handle_); }

void FileHandle::Attach(Handle handle) { handle_ = handle; }

int FileHandle::OpenForRead(const char* path) {
  handle_ = HandleOrNone(Sys().FileOpen(path, os::FileOpenMode::kReadShareRead));
  return handle_ != os::kNoHandle ? 1 : 0;
}

int FileHandle::CreateForWrite(const char* path) {
  handle_ = HandleOrNone(Sys().FileOpen(path, os::FileOpenMode::kWriteTruncateShareNone));
  return handle_ != os::kNoHandle ? 1 : 0;
}

int FileHandle::CloseHandleAt(Handle* place) {
  if (*place == os::kNoHandle) return 1;
  if (!Sys().FileClose(*place)) return 0;
  *place = os::kNoHandle;
  return 1;
}

int FileHandle::Close() { return CloseHandleAt(&handle_); }

int FileHandle::Read(void* buffer, std::uint32_t count) {
  std::uint32_t transferred = 0;
  return Sys().FileRead(handle_, buffer, count, &transferred) ? 1 : 0;
}

int FileHandle::ReadCounted(void* buffer, std::uint32_t count, std::uint32_t* transferred) {
  *transferred = 0;
  return Sys().FileRead(handle_, buffer, count, transferred) ? 1 : 0;
}

int FileHandle::Write(const void* buffer, std::uint32_t count) {
  std::uint32_t transferred = 0;
  return Sys().FileWrite(handle_, buffer, count, &transferred) ? 1 : 0;
}

int FileHandle::Seek(std::uint32_t distance, std::uint32_t origin) {
  std::int32_t high = 0;
  return Sys().FileSeek(handle_, distance, &high, origin) != os::kInvalidSetFilePointer ? 1
                                                                                             : 0;
}

std::uint32_t FileHandle::GetSize() {
  std::uint32_t high = 0;
  return Sys().FileSize(handle_, &high);
}

FileHandle::Handle FileHandle::Duplicate() { return Sys().FileDuplicate(handle_); }

std::uint32_t FileHandle::Tell() {
  return Sys().FileSeek(handle_, 0, nullptr, os::kSeekCurrent);
}

int SizedInputFile::OpenForRead(const char* path) {
  if (!FileHandle::OpenForRead(path)) return 0;
  size_ = FileHandle::GetSize();
  return 1;
}

std::uint32_t SizedInputFile::GetSize() { return size_; }
