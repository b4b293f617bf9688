#include "archive/MesArchive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/MessageBox.h"
#include "platform/System.h"
#include "platform/MessageTexts.h"

using platform::Sys;

namespace {

// The platform's path length; lookups cut longer names rather than overrun.
constexpr std::size_t kNameBufferSize = 260;
// A superseded entry's name gains "__" and must still fit its field.
constexpr std::size_t kMaxSupersededName = kEntryNameSize - 1 - 2;
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;

MesArchive::Allocator g_default_allocator = std::malloc;

void Report(const char* format, const char* argument) {
  ShowFormattedMessage(text::kCaptionArchive, platform::CaptionEncoding::kShiftJis,
                       platform::MessageStyle::kInformation, format, argument);
}

// Upper-cases ASCII letters only: the second byte of a double-byte character
// is converted too, as the game's own lookup does.
void CopyUpperCased(const char* name, char (&buffer)[kNameBufferSize]) {
  std::size_t i = 0;
  for (; name && name[i] != '\0' && i + 1 < kNameBufferSize; ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    buffer[i] = static_cast<char>(byte >= 0x61 && byte <= 0x7A ? byte - 0x20 : byte);
  }
  buffer[i] = '\0';
}

unsigned char AsciiUpper(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 0x61 && byte <= 0x7A ? static_cast<unsigned char>(byte - 0x20) : byte;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
  }
  return *a == *b;
}

// strlen that stops looking after limit + 1 bytes; a result above limit means "too long".
std::size_t BoundedLength(const char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length <= limit && text[length] != '\0') ++length;
  return length;
}

}  // namespace

MesArchive::MesArchive()
    : count_(0),
      working_index_(nullptr),
      as_read_index_(nullptr),
      file_size_(0),
      old_count_(0),
      announced_(0),
      allocate_(g_default_allocator) {}

MesArchive::~MesArchive() {
  entry_map_.clear();
  Close();
  FreeRewriteState();
}

void MesArchive::SetAllocatorForTesting(Allocator allocate) {
  allocate_ = allocate ? allocate : std::malloc;
}

void MesArchive::SetDefaultAllocatorForTesting(Allocator allocate) {
  g_default_allocator = allocate ? allocate : std::malloc;
}

ArchiveEntry* MesArchive::AllocateEntries(std::uint64_t entries) {
  // Never ask for 0 bytes: malloc may answer that with a null pointer.
  const std::size_t bytes =
      static_cast<std::size_t>(std::max<std::uint64_t>(entries, 1) * kEntrySize);
  void* memory = allocate_(bytes);
  if (memory) std::memset(memory, 0, bytes);
  return static_cast<ArchiveEntry*>(memory);
}

void MesArchive::FreeRewriteState() {
  std::free(working_index_);
  std::free(as_read_index_);
  working_index_ = nullptr;
  as_read_index_ = nullptr;
  payloads_.clear();
  old_count_ = 0;
  announced_ = 0;
}

ArchiveEntry* MesArchive::ReadIndex(const char* report_path, std::uint32_t extra) {
  auto fail = [report_path](const char* format) -> ArchiveEntry* {
    if (report_path) Report(format, report_path);
    return nullptr;
  };

  std::uint32_t count = 0;
  std::uint32_t got = 0;
  if (!Seek(0, platform::kSeekBegin) || !ReadCounted(&count, sizeof count, &got) ||
      got != sizeof count) {
    return fail(text::kCountReadFailed);
  }
  count_ = count;

  // Checked before allocating: a count from a damaged file may ask for gigabytes.
  const std::uint64_t index_end = kCountSize + std::uint64_t{kEntrySize} * count;
  if (file_size_ == platform::kInvalidFileSize || index_end > file_size_) {
    return fail(text::kIndexReadFailed);
  }
  const std::uint64_t room = std::uint64_t{count} + extra;
  if (kCountSize + kEntrySize * room > kMaxFileSize) return fail(text::kIndexAllocFailed);

  ArchiveEntry* index = AllocateEntries(room);
  if (!index) return fail(text::kIndexAllocFailed);

  const std::uint32_t index_bytes = kEntrySize * count;
  bool sound = ReadCounted(index, index_bytes, &got) && got == index_bytes;
  if (sound) {
    ScrambleIndex(index);
    for (std::uint32_t i = 0; sound && i < count; ++i) {
      const ArchiveEntry& entry = index[i];
      sound = std::memchr(entry.name, '\0', kEntryNameSize) != nullptr &&
              std::uint64_t{entry.offset} + entry.size <= file_size_;
    }
  }
  if (!sound) {
    std::free(index);
    return fail(text::kIndexReadFailed);
  }
  return index;
}

int MesArchive::OpenArchive(const char* path) {
  entry_map_.clear();
  if (!OpenForRead(path)) {
    Report(text::kArchiveNotFound, path);
    return 0;
  }
  file_size_ = size_;

  ArchiveEntry* index = ReadIndex(path, 0);
  if (!index) return 0;
  for (std::uint32_t i = 0; i < count_; ++i) {
    // emplace keeps an existing element: the first of two equal names wins.
    entry_map_.emplace(index[i].name, std::make_pair(index[i].size, index[i].offset));
  }
  std::free(index);
  return 1;
}

int MesArchive::SeekToEntry(const char* name) {
  char upper[kNameBufferSize];
  CopyUpperCased(name, upper);
  const auto found = entry_map_.find(upper);
  if (found == entry_map_.end()) {
    Report(text::kEntryNotFound, upper);
    return -1;
  }
  if (!Seek(found->second.second, platform::kSeekBegin)) {
    Report(text::kEntrySeekFailed, upper);
    return -1;
  }
  size_ = found->second.first;
  return 1;
}

std::uint32_t MesArchive::ReadEntry(const char* name, void* destination) {
  char upper[kNameBufferSize];
  CopyUpperCased(name, upper);
  if (SeekToEntry(upper) != 1) return 0;
  const std::uint32_t size = entry_map_.find(upper)->second.first;
  if (size == 0) return 0;
  std::uint32_t got = 0;
  if (!ReadCounted(destination, size, &got) || got != size) {
    Report(text::kEntryReadFailed, name);
    return 0;
  }
  return size;
}

int MesArchive::ReleaseArchive() {
  entry_map_.clear();
  return Close();
}

void MesArchive::ScrambleIndex(ArchiveEntry* index) { ScrambleEntries(index, count_); }

int MesArchive::LoadIndexForRewrite(const char* archive_path, std::uint32_t n,
                                    const char* const* names) {
  FreeRewriteState();
  // The names come with the program, so a bad one is refused before any work.
  for (std::uint32_t j = 0; j < n; ++j) {
    if (!names || !names[j] || BoundedLength(names[j], kMaxSupersededName) > kMaxSupersededName) {
      return 0;
    }
  }

  // The index is read again, not taken from the map: the copy needs every
  // entry, duplicates included, with its own offset and size.
  ArchiveEntry* working = ReadIndex(archive_path, n);
  if (!working) return 0;
  ArchiveEntry* as_read = AllocateEntries(std::uint64_t{count_} + n);
  if (!as_read) {
    std::free(working);
    Report(text::kIndexAllocFailed, archive_path);
    return 0;
  }

  for (std::uint32_t i = 0; i < count_; ++i) {
    ArchiveEntry& entry = working[i];
    std::memcpy(as_read[i].name, entry.name, std::strlen(entry.name) + 1);
    as_read[i].size = entry.size;
    as_read[i].offset = entry.offset;
    entry.offset += kEntrySize * n;
    for (std::uint32_t j = 0; j < n; ++j) {
      if (!EqualIgnoringAsciiCase(entry.name, names[j])) continue;
      // A match has at most kMaxSupersededName bytes, and so does every
      // further match, so the marks always fit; the check only keeps it so.
      const std::size_t length = std::strlen(entry.name);
      if (length + 2 < kEntryNameSize) std::memcpy(entry.name + length, "__", 3);
    }
  }
  working_index_ = working;
  as_read_index_ = as_read;
  old_count_ = count_;
  announced_ = n;
  return 1;
}

int MesArchive::AppendEntry(const char* name, std::uint32_t size, const void* data) {
  if (!working_index_ || payloads_.size() >= announced_ || !name || (!data && size != 0)) return 0;
  const std::size_t length = BoundedLength(name, kEntryNameSize - 1);
  if (length > kEntryNameSize - 1) return 0;

  ArchiveEntry& entry = working_index_[count_];
  std::memset(&entry, 0, sizeof entry);
  std::memcpy(entry.name, name, length + 1);
  entry.size = size;
  if (count_ == 0) {
    entry.offset = kCountSize + kEntrySize * announced_;
  } else {
    const ArchiveEntry& previous = working_index_[count_ - 1];
    entry.offset = previous.offset + previous.size;
  }
  ++count_;
  payloads_.push_back(static_cast<const unsigned char*>(data));
  return 1;
}

int MesArchive::FailWrite(platform::StreamHandle stream, const char* new_path, const char* format,
                          const char* argument) {
  Sys().StreamClose(stream);
  Sys().PathDelete(new_path);
  Report(format, argument);
  return 0;
}

int MesArchive::WriteArchive(const char* new_path, std::uint32_t n) {
  // Nothing exists at new_path yet that this call made, so these refusals delete nothing.
  if (!working_index_ || n != payloads_.size()) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }

  // Every entry's offset is where its data will land, whatever gaps or
  // sharing the old file had; the whole file must stay within 32 bits.
  std::uint64_t position = kCountSize + std::uint64_t{kEntrySize} * count_;
  for (std::uint32_t i = 0; i < count_; ++i) position += working_index_[i].size;
  if (position > kMaxFileSize) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }
  position = kCountSize + std::uint64_t{kEntrySize} * count_;
  for (std::uint32_t i = 0; i < count_; ++i) {
    working_index_[i].offset = static_cast<std::uint32_t>(position);
    position += working_index_[i].size;
  }

  platform::StreamHandle stream = Sys().StreamCreate(new_path);
  if (!stream) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }
  const std::uint32_t count = count_;
  if (!Sys().StreamWrite(stream, &count, sizeof count)) {
    return FailWrite(stream, new_path, text::kWriteFailed, new_path);
  }
  ScrambleIndex(working_index_);
  const bool index_written =
      Sys().StreamWrite(stream, working_index_, std::size_t{kEntrySize} * count_);
  ScrambleIndex(working_index_);
  if (!index_written) return FailWrite(stream, new_path, text::kWriteFailed, new_path);

  // Old entries by position, one buffer of the entry's size at a time: names
  // may repeat, and the whole archive is never held in memory. In a regular
  // archive each entry starts where the last read ended, so no seek is needed.
  std::uint64_t file_position = ~std::uint64_t{0};
  for (std::uint32_t i = 0; i < old_count_; ++i) {
    const ArchiveEntry& old = as_read_index_[i];
    if (old.size == 0) continue;
    void* buffer = allocate_(old.size);
    if (!buffer) return FailWrite(stream, new_path, text::kEntryAllocFailed, old.name);
    std::uint32_t got = 0;
    const bool read = (old.offset == file_position || Seek(old.offset, platform::kSeekBegin)) &&
                      ReadCounted(buffer, old.size, &got) && got == old.size;
    file_position = std::uint64_t{old.offset} + old.size;
    const bool written = read && Sys().StreamWrite(stream, buffer, old.size);
    std::free(buffer);
    if (!read) return FailWrite(stream, new_path, text::kEntryReadFailed, old.name);
    if (!written) return FailWrite(stream, new_path, text::kWriteFailed, new_path);
  }
  for (std::size_t j = 0; j < payloads_.size(); ++j) {
    const std::uint32_t size = working_index_[old_count_ + j].size;
    if (size != 0 && !Sys().StreamWrite(stream, payloads_[j], size)) {
      return FailWrite(stream, new_path, text::kWriteFailed, new_path);
    }
  }

  if (!Sys().StreamSync(stream)) return FailWrite(stream, new_path, text::kWriteFailed, new_path);
  if (!Sys().StreamClose(stream)) {
    Sys().PathDelete(new_path);
    Report(text::kWriteFailed, new_path);
    return 0;
  }
  return 1;
}

int MesArchive::IsCompleteArchive(const char* path) {
  MesArchive probe;
  if (!probe.OpenForRead(path)) return 0;
  probe.file_size_ = probe.size_;
  ArchiveEntry* index = probe.ReadIndex(nullptr, 0);
  if (!index) return 0;
  std::uint64_t end = kCountSize + std::uint64_t{kEntrySize} * probe.count_;
  for (std::uint32_t i = 0; i < probe.count_; ++i) {
    end = std::max(end, std::uint64_t{index[i].offset} + index[i].size);
  }
  std::free(index);
  return end == probe.file_size_ ? 1 : 0;
}
