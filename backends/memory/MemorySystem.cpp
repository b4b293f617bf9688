#include "backends/memory/MemorySystem.h"

#include <algorithm>
#include <cstring>

#include "os/Process.h"
#include "os/Registry.h"
#include "os/WindowsPath.h"

namespace backends::memory {
using namespace os;

struct MemorySystem::File {
  std::string name;  // as first created
  std::string bytes;
};

// One open handle or stream: what it may do, what it lets others do, and the
// position it shares with its duplicates.
struct MemorySystem::Opening {
  std::shared_ptr<File> file;
  bool read = false, write = false;
  bool shares_read = false, shares_write = false;
  std::shared_ptr<std::uint64_t> position = std::make_shared<std::uint64_t>(0);
};

namespace {

constexpr std::uint32_t kErrorNegativeSeek = 131;


// The folded path's folder: what stands before its last component ("" above
// the top).
std::string FolderOf(const std::string& folded) {
  std::vector<std::string_view> components;
  SplitShiftJisPath(folded, &components);
  if (components.empty()) return std::string();
  const auto last = static_cast<std::size_t>(components.back().data() - folded.data());
  return folded.substr(0, last > 0 ? last - 1 : 0);
}

}  // namespace

namespace {

std::string Fold(std::string_view path, bool separators) {
  std::string folded;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (IsCp932LeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      folded += c;
      folded += path[++i];
    } else if (separators && (c == '\\' || c == '/')) {
      if (folded.empty() || folded.back() != '\\' || i == 0) folded += '\\';
    } else {
      folded += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    }
  }
  if (separators && folded.size() > 1 && folded.back() == '\\') folded.pop_back();
  return folded;
}

}  // namespace

std::string FoldPath(std::string_view path) { return Fold(path, true); }
std::string FoldName(std::string_view name) { return Fold(name, false); }

MemorySystem::MemorySystem() { registry_[""]; }
MemorySystem::~MemorySystem() = default;

void MemorySystem::AddFolder(std::string_view path) {
  for (std::string key = FoldPath(path); !key.empty(); key = FolderOf(key)) {
    folders_.insert(key);
  }
}

void MemorySystem::AddFile(std::string_view path, std::string_view bytes) {
  const std::string key = FoldPath(path);
  AddFolder(FolderOf(key));
  auto& file = files_[key];
  if (!file) file = std::make_shared<File>(File{std::string(path), {}});
  file->bytes.assign(bytes.data(), bytes.size());
}

bool MemorySystem::GetFile(std::string_view path, std::string* bytes) const {
  auto found = files_.find(FoldPath(path));
  if (found == files_.end()) return false;
  if (bytes) *bytes = found->second->bytes;
  return true;
}

std::vector<std::string> MemorySystem::FileNames() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.second->name);
  return names;
}

std::size_t MemorySystem::OpenCount() const { return handles_.size() + streams_.size(); }

void MemorySystem::SetRegistryValue(std::string_view key, std::string_view name,
                                    std::uint32_t type, std::string_view data) {
  AddRegistryKey(key);
  registry_[FoldPath(key)][FoldName(name)] = {type, std::string(data)};
}

void MemorySystem::AddRegistryKey(std::string_view key) {
  for (std::string folded = FoldPath(key); !folded.empty(); folded = FolderOf(folded)) {
    registry_[folded];
  }
}

void MemorySystem::SetPayload(int id, std::string_view bytes) {
  payloads_[id] = std::string(bytes);
}

bool MemorySystem::Fail(std::uint32_t code) {
  last_error_ = code;
  return false;
}

MemorySystem::Opening* MemorySystem::FindOpening(NativeHandle file) {
  auto found = handles_.find(file);
  if (found == handles_.end()) return Fail(kErrorInvalidHandle), nullptr;
  return found->second.get();
}

bool MemorySystem::CheckFolder(const std::string& key) {
  const std::string folder = FolderOf(key);
  if (folder.empty() || folders_.count(folder)) return true;
  return Fail(kErrorPathNotFound);
}

// Opens the file at path for `wanted` (a writer creates or truncates it):
// refused when it and an opening already there would not both allow each
// other's access.
bool MemorySystem::Open(const char* path, Opening* wanted) {
  if (!path) return Fail(kErrorPathNotFound);
  const std::string key = FoldPath(path);
  if (key.empty() || folders_.count(key)) return Fail(kErrorAccessDenied);
  if (!CheckFolder(key)) return false;
  auto found = files_.find(key);
  if (found == files_.end()) {
    if (!wanted->write) return Fail(kErrorFileNotFound);
    found = files_.emplace(key, std::make_shared<File>(File{path, {}})).first;
  }
  const auto conflicts = [&](const Opening& other) {
    return other.file == found->second &&
           ((wanted->read && !other.shares_read) || (wanted->write && !other.shares_write) ||
            (other.read && !wanted->shares_read) || (other.write && !wanted->shares_write));
  };
  for (const auto& entry : handles_) {
    if (conflicts(*entry.second)) return Fail(kErrorSharingViolation);
  }
  for (const auto& entry : streams_) {
    if (conflicts(*entry.second)) return Fail(kErrorSharingViolation);
  }
  if (wanted->write) found->second->bytes.clear();
  wanted->file = found->second;
  return true;
}

bool MemorySystem::IsOpen(const std::shared_ptr<File>& file) const {
  for (const auto& entry : handles_) {
    if (entry.second->file == file) return true;
  }
  for (const auto& entry : streams_) {
    if (entry.second->file == file) return true;
  }
  return false;
}

// Writes at the opening's position, growing the file (zeros fill a gap).
bool MemorySystem::WriteAt(Opening& opening, const void* data, std::size_t size) {
  std::string& bytes = opening.file->bytes;
  const std::uint64_t position = *opening.position, end = position + size;
  if (end > bytes.size()) {
    if (end - bytes.size() > capacity_ - std::min(capacity_, TotalBytes())) {
      return Fail(kErrorDiskFull);
    }
    bytes.resize(static_cast<std::size_t>(end));
  }
  if (size > 0) std::memcpy(&bytes[static_cast<std::size_t>(position)], data, size);
  *opening.position = end;
  return true;
}

std::uint64_t MemorySystem::TotalBytes() const {
  std::uint64_t total = 0;
  for (const auto& entry : files_) total += entry.second->bytes.size();
  return total;
}

NativeHandle MemorySystem::FileOpen(const char* path, FileOpenMode mode) {
  auto opening = std::make_shared<Opening>();
  const bool reading = mode == FileOpenMode::kReadShareRead;
  opening->read = opening->shares_read = reading;
  opening->write = !reading;
  if (!Open(path, opening.get())) return kInvalidHandle;
  const NativeHandle handle = next_handle_;
  next_handle_ += 4;
  handles_.emplace(handle, std::move(opening));
  last_error_ = kErrorSuccess;
  return handle;
}

bool MemorySystem::FileRead(NativeHandle file, void* buffer, std::uint32_t count,
                            std::uint32_t* transferred) {
  *transferred = 0;
  Opening* opening = FindOpening(file);
  if (!opening) return false;
  if (!opening->read) return Fail(kErrorAccessDenied);
  const std::string& bytes = opening->file->bytes;
  const std::uint64_t position = *opening->position;
  if (position >= bytes.size()) return true;
  const std::uint64_t left = bytes.size() - position;
  *transferred = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, left));
  std::memcpy(buffer, bytes.data() + position, *transferred);
  *opening->position += *transferred;
  return true;
}

bool MemorySystem::FileWrite(NativeHandle file, const void* buffer, std::uint32_t count,
                             std::uint32_t* transferred) {
  *transferred = 0;
  Opening* opening = FindOpening(file);
  if (!opening) return false;
  if (!opening->write) return Fail(kErrorAccessDenied);
  if (!WriteAt(*opening, buffer, count)) return false;
  *transferred = count;
  return true;
}

std::uint32_t MemorySystem::FileSeek(NativeHandle file, std::uint32_t distance_low,
                                     std::int32_t* distance_high, std::uint32_t origin) {
  Opening* opening = FindOpening(file);
  if (!opening) return kInvalidSetFilePointer;
  if (origin > kSeekEnd) return Fail(kErrorInvalidParameter), kInvalidSetFilePointer;
  // Without a high part the distance is a signed 32-bit value.
  const std::int64_t distance =
      distance_high ? static_cast<std::int64_t>(
                          (std::uint64_t{static_cast<std::uint32_t>(*distance_high)} << 32) |
                          distance_low)
                    : std::int64_t{static_cast<std::int32_t>(distance_low)};
  const std::uint64_t base = origin == kSeekBegin     ? 0
                             : origin == kSeekCurrent ? *opening->position
                                                      : opening->file->bytes.size();
  const std::int64_t position = static_cast<std::int64_t>(base) + distance;
  if (position < 0) return Fail(kErrorNegativeSeek), kInvalidSetFilePointer;
  if (!distance_high && position > 0xFFFFFFFELL) {
    return Fail(kErrorInvalidParameter), kInvalidSetFilePointer;
  }
  *opening->position = static_cast<std::uint64_t>(position);
  if (distance_high) *distance_high = static_cast<std::int32_t>(position >> 32);
  last_error_ = kErrorSuccess;
  return static_cast<std::uint32_t>(position);
}

std::uint32_t MemorySystem::FileSize(NativeHandle file, std::uint32_t* size_high) {
  Opening* opening = FindOpening(file);
  if (!opening) return kInvalidFileSize;
  const std::uint64_t size = opening->file->bytes.size();
  if (size_high) *size_high = static_cast<std::uint32_t>(size >> 32);
  last_error_ = kErrorSuccess;
  return static_cast<std::uint32_t>(size);
}

bool MemorySystem::FileClose(NativeHandle file) {
  if (!handles_.erase(file)) return Fail(kErrorInvalidHandle);
  return true;
}

// The duplicate is the same opening (position, sharing) with read access only.
NativeHandle MemorySystem::FileDuplicate(NativeHandle file) {
  Opening* opening = FindOpening(file);
  if (!opening) return kNoHandle;
  auto duplicate = std::make_shared<Opening>(*opening);
  duplicate->write = false;
  const NativeHandle handle = next_handle_;
  next_handle_ += 4;
  handles_.emplace(handle, std::move(duplicate));
  return handle;
}

// The program's own new file: write access, shared with no one, so that a
// second writer is refused instead of emptying it.
StreamHandle MemorySystem::StreamCreate(const char* path) {
  auto opening = std::make_shared<Opening>();
  opening->write = true;
  if (!Open(path, opening.get())) return nullptr;
  StreamHandle stream = opening.get();
  streams_.emplace(stream, std::move(opening));
  return stream;
}

bool MemorySystem::StreamWrite(StreamHandle stream, const void* data, std::size_t size) {
  auto found = streams_.find(stream);
  if (found == streams_.end()) return Fail(kErrorInvalidHandle);
  return WriteAt(*found->second, data, size);
}

bool MemorySystem::StreamSync(StreamHandle stream) {
  return streams_.count(stream) ? true : Fail(kErrorInvalidHandle);
}

bool MemorySystem::StreamClose(StreamHandle stream) {
  return streams_.erase(stream) ? true : Fail(kErrorInvalidHandle);
}

// A missing file answers kErrorFileNotFound, a missing folder above it
// kErrorPathNotFound, as Windows tells them apart.
bool MemorySystem::PathExists(const char* path) {
  if (!path) return Fail(kErrorPathNotFound);
  const std::string key = FoldPath(path);
  if (files_.count(key) || folders_.count(key)) return true;
  if (!CheckFolder(key)) return false;
  return Fail(kErrorFileNotFound);
}

bool MemorySystem::PathDelete(const char* path) {
  if (!PathExists(path)) return false;
  auto found = files_.find(FoldPath(path));
  if (found == files_.end()) return Fail(kErrorAccessDenied);  // a folder
  if (IsOpen(found->second)) return Fail(kErrorSharingViolation);
  files_.erase(found);
  return true;
}

bool MemorySystem::PathMove(const char* from, const char* to) {
  if (!PathExists(from)) return false;
  auto found = files_.find(FoldPath(from));
  if (found == files_.end()) return Fail(kErrorAccessDenied);  // folders stay put
  if (!to) return Fail(kErrorPathNotFound);
  const std::string target = FoldPath(to);
  if (files_.count(target) || folders_.count(target)) return Fail(kErrorAlreadyExists);
  if (!CheckFolder(target)) return false;
  if (IsOpen(found->second)) return Fail(kErrorSharingViolation);
  std::shared_ptr<File> file = found->second;
  files_.erase(found);
  file->name = to;
  files_.emplace(target, std::move(file));
  return true;
}

std::int32_t MemorySystem::RegistryOpen(NativeHandle root, const char* subkey,
                                        std::uint32_t /*access*/, NativeHandle* key) {
  if (!key) return kErrorInvalidParameter;
  *key = kNoHandle;
  std::string path;
  if (root != kHkeyLocalMachine) {
    auto parent = open_keys_.find(root);
    if (parent == open_keys_.end()) {
      return IsPredefinedRoot(root) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    path = parent->second + '\\';
  }
  path = FoldPath(path + (subkey ? subkey : ""));
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  if (!registry_.count(path)) return kErrorFileNotFound;
  *key = next_handle_;
  next_handle_ += 4;
  open_keys_.emplace(*key, path);
  return kErrorSuccess;
}

std::int32_t MemorySystem::RegistryQuery(NativeHandle key, const char* name, std::uint32_t* type,
                                         unsigned char* data, std::uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;
  std::string path;
  if (key != kHkeyLocalMachine) {
    auto found = open_keys_.find(key);
    if (found == open_keys_.end()) return kErrorInvalidHandle;
    path = found->second;
  }
  auto key_values = registry_.find(path);
  if (key_values == registry_.end()) return kErrorFileNotFound;  // set up anew meanwhile
  auto value = key_values->second.find(FoldName(name ? name : ""));
  if (value == key_values->second.end()) return kErrorFileNotFound;
  if (type) *type = value->second.first;
  return DeliverRegistryValue(value->second.second, value->second.first, data, size);
}

std::int32_t MemorySystem::RegistryClose(NativeHandle key) {
  if (key == kHkeyLocalMachine) return kErrorSuccess;
  return open_keys_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

MessageAnswer MemorySystem::ShowMessage(const char* text, const char* caption,
                                        CaptionEncoding /*caption_encoding*/, MessageStyle style) {
  messages_.push_back({caption ? caption : "", text ? text : "", style});
  return style == MessageStyle::kQuestion ? MessageAnswer::kYes : MessageAnswer::kOk;
}

PayloadBytes MemorySystem::FindPayload(int id) {
  auto found = payloads_.find(id);
  if (found == payloads_.end()) return {nullptr, 0};
  const std::string& bytes = found->second;
  return {reinterpret_cast<const unsigned char*>(bytes.data()),
          static_cast<std::uint32_t>(bytes.size())};
}

}  // namespace backends::memory
