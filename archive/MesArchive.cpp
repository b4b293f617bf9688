#include "archive/MesArchive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/MessageBox.h"
#include "os/System.h"
#include "platform/MessageTexts.h"

using os::Sys;

namespace {

// The platform's path length; lookups cut longer names rather than overrun.
constexpr std::size_t kNameBufferSize = 260;
// A superseded entry's name gains the mark and must still fit its field.
constexpr std::size_t kMaxSupersededName = kEntryNameSize - 1 - kSupersededMarkSize;
// Index entries are encoded and written this many at a time.
constexpr std::uint32_t kEntriesPerWrite = 256;

MesArchive::Allocator g_default_allocator = std::malloc;

void Report(const char* format, const char* argument) {
  ShowFormattedMessage(text::kCaptionArchive, os::CaptionEncoding::kShiftJis,
                       os::MessageStyle::kInformation, format, argument);
}

// The lookup's key: the name upper-cased by the every-byte rule, cut to the buffer.
void CopyUpperCased(const char* name, char (&buffer)[kNameBufferSize]) {
  std::size_t i = 0;
  for (; name && name[i] != '\0' && i + 1 < kNameBufferSize; ++i) {
    buffer[i] = archive::UpperCaseEveryByte(name[i]);
  }
  buffer[i] = '\0';
}

// The rebuild marks superseded entries by the lookup's rule.
bool EqualUpperCasedEveryByte(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (archive::UpperCaseEveryByte(*a) != archive::UpperCaseEveryByte(*b)) return false;
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

EntryMap::~EntryMap() { std::free(order_); }

void EntryMap::Reset(const ArchiveEntry* index, std::uint32_t count, Allocator allocate) {
  std::free(order_);
  order_ = nullptr;
  distinct_ = 0;
  no_memory_ = false;
  index_ = index;
  count_ = count;
  allocate_ = allocate;
}

bool EntryMap::Sorted() const {
  if (order_ || count_ == 0) return true;
  if (no_memory_) return false;
  order_ = static_cast<std::uint32_t*>(allocate_(std::size_t{count_} * sizeof(std::uint32_t)));
  no_memory_ = order_ == nullptr;
  if (no_memory_) return false;
  for (std::uint32_t i = 0; i < count_; ++i) order_[i] = i;
  const ArchiveEntry* index = index_;
  // By name, then by position, so that the first of equal names comes first and stays.
  std::sort(order_, order_ + count_, [index](std::uint32_t a, std::uint32_t b) {
    const int order = std::strcmp(index[a].name, index[b].name);
    return order != 0 ? order < 0 : a < b;
  });
  const std::uint32_t* end =
      std::unique(order_, order_ + count_, [index](std::uint32_t a, std::uint32_t b) {
        return std::strcmp(index[a].name, index[b].name) == 0;
      });
  distinct_ = static_cast<std::uint32_t>(end - order_);
  return true;
}

const ArchiveEntry* EntryMap::Scan(const char* name, std::uint32_t end) const {
  for (std::uint32_t i = 0; i < end; ++i) {
    if (std::strcmp(index_[i].name, name) == 0) return &index_[i];
  }
  return nullptr;
}

std::size_t EntryMap::size() const {
  if (Sorted()) return distinct_;
  std::size_t distinct = 0;
  for (std::uint32_t i = 0; i < count_; ++i) distinct += Scan(index_[i].name, i) == nullptr;
  return distinct;
}

const ArchiveEntry* EntryMap::Find(const char* name) const {
  if (!Sorted()) return Scan(name, count_);
  const std::uint32_t* begin = order_;
  const std::uint32_t* end = order_ + distinct_;
  const std::uint32_t* found =
      std::lower_bound(begin, end, name, [this](std::uint32_t position, const char* key) {
        return std::strcmp(index_[position].name, key) < 0;
      });
  if (found == end || std::strcmp(index_[*found].name, name) != 0) return nullptr;
  return &index_[*found];
}

std::pair<std::uint32_t, std::uint32_t> EntryMap::SizeAndOffsetOrZeros(const std::string& name) const {
  const ArchiveEntry* entry = Find(name.c_str());
  return entry ? std::make_pair(entry->size, entry->offset) : std::make_pair(0u, 0u);
}

MesArchive::MesArchive()
    : count_(0),
      read_index_(nullptr),
      read_count_(0),
      working_index_(nullptr),
      file_size_(0),
      old_count_(0),
      announced_(0),
      allocate_(g_default_allocator) {}

MesArchive::~MesArchive() {
  Close();
  FreeRewriteState();
  FreeIndex();
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

void MesArchive::FreeIndex() {
  entry_map_.Reset(nullptr, 0, allocate_);
  std::free(read_index_);
  read_index_ = nullptr;
  read_count_ = 0;
}

void MesArchive::FreeRewriteState() {
  std::free(working_index_);
  working_index_ = nullptr;
  payloads_.clear();
  old_count_ = 0;
  announced_ = 0;
}

ArchiveEntry* MesArchive::ReadIndex(const char* report_path, std::uint32_t extra) {
  auto fail = [report_path](const char* format) -> ArchiveEntry* {
    if (report_path) Report(format, report_path);
    return nullptr;
  };

  char stored_count[kCountSize];
  std::uint32_t got = 0;
  if (!Seek(0, os::kSeekBegin) || !ReadCounted(stored_count, kCountSize, &got) ||
      got != kCountSize) {
    return fail(text::kCountReadFailed);
  }
  const std::uint32_t count = archive::DecodeCount(std::string_view(stored_count, kCountSize));
  count_ = count;

  // Checked before allocating: a count from a damaged file may ask for gigabytes.
  const std::uint64_t index_end = archive::IndexEnd(count);
  if (file_size_ == os::kInvalidFileSize || index_end > file_size_) {
    return fail(text::kIndexReadFailed);
  }
  const std::uint64_t room = std::uint64_t{count} + extra;
  if (kCountSize + kEntrySize * room > kLargestArchive) return fail(text::kIndexAllocFailed);

  ArchiveEntry* index = AllocateEntries(room);
  if (!index) return fail(text::kIndexAllocFailed);

  const std::uint32_t index_bytes = kEntrySize * count;
  bool sound = ReadCounted(index, index_bytes, &got) && got == index_bytes;
  if (sound) {
    // Decoded in place: each entry's stored bytes are read before it is overwritten.
    const std::string_view stored(reinterpret_cast<const char*>(index), index_bytes);
    for (std::uint32_t i = 0; i < count; ++i) index[i] = archive::DecodeEntry(stored, i);
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
  FreeRewriteState();
  FreeIndex();
  if (!OpenForRead(path)) {
    Report(text::kArchiveNotFound, path);
    return 0;
  }
  file_size_ = size_;
  // Sizes and offsets are 32-bit: a larger file cannot be read, nor rewritten whole.
  std::uint32_t size_high = 0;
  if (Sys().FileSize(handle_, &size_high) == os::kInvalidFileSize || size_high != 0) {
    Report(text::kIndexReadFailed, path);
    return 0;
  }

  read_index_ = ReadIndex(path, 0);
  if (!read_index_) return 0;
  read_count_ = count_;
  entry_map_.Reset(read_index_, read_count_, allocate_);
  return 1;
}

int MesArchive::SeekToEntry(const char* name) {
  char upper[kNameBufferSize];
  CopyUpperCased(name, upper);
  const ArchiveEntry* found = entry_map_.Find(upper);
  if (!found) {
    Report(text::kEntryNotFound, upper);
    return -1;
  }
  if (!Seek(found->offset, os::kSeekBegin)) {
    Report(text::kEntrySeekFailed, upper);
    return -1;
  }
  size_ = found->size;
  return 1;
}

std::uint32_t MesArchive::ReadEntry(const char* name, void* destination) {
  char upper[kNameBufferSize];
  CopyUpperCased(name, upper);
  if (SeekToEntry(upper) != 1) return 0;
  const std::uint32_t size = entry_map_.Find(upper)->size;
  if (size == 0) return 0;
  std::uint32_t got = 0;
  if (!ReadCounted(destination, size, &got) || got != size) {
    Report(text::kEntryReadFailed, name);
    return 0;
  }
  return size;
}

int MesArchive::ReleaseArchive() {
  FreeRewriteState();
  FreeIndex();
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

  // The index is read again into the array that will be written; the copy
  // takes offsets and sizes from the index kept since OpenArchive, so the
  // two must agree.
  ArchiveEntry* working = ReadIndex(archive_path, n);
  if (!working) return 0;
  if (!read_index_ || count_ != read_count_ ||
      std::memcmp(working, read_index_, std::size_t{kEntrySize} * count_) != 0) {
    std::free(working);
    Report(text::kIndexReadFailed, archive_path);
    return 0;
  }

  for (std::uint32_t i = 0; i < count_; ++i) {
    ArchiveEntry& entry = working[i];
    entry.offset += kEntrySize * n;
    for (std::uint32_t j = 0; j < n; ++j) {
      if (!EqualUpperCasedEveryByte(entry.name, names[j])) continue;
      // A match has at most kMaxSupersededName bytes, and so does every
      // further match, so the marks always fit; the check only keeps it so.
      const std::size_t length = std::strlen(entry.name);
      if (length + kSupersededMarkSize < kEntryNameSize) {
        std::memcpy(entry.name + length, kSupersededMark, sizeof kSupersededMark);
      }
    }
  }
  working_index_ = working;
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

int MesArchive::FailWrite(os::StreamHandle stream, const char* new_path, const char* format,
                          const char* argument) {
  Sys().StreamClose(stream);
  Sys().PathDelete(new_path);
  Report(format, argument);
  return 0;
}

const char* MesArchive::EntryHolding(std::uint32_t first, std::uint32_t end,
                                     std::uint64_t position) const {
  const ArchiveEntry* holder = &read_index_[first];
  for (std::uint32_t i = first; i < end; ++i) {
    const ArchiveEntry& entry = read_index_[i];
    if (entry.size == 0) continue;
    holder = &entry;
    if (std::uint64_t{entry.offset} + entry.size > position) break;
  }
  return holder->name;
}

bool MesArchive::WriteHead(os::StreamHandle stream) const {
  char count[kCountSize];
  archive::EncodeCount(count_, count);
  if (!Sys().StreamWrite(stream, count, kCountSize)) return false;
  // The working index stays as it is; its stored form goes out a block at a time.
  char block[kEntriesPerWrite][kEntrySize];
  for (std::uint32_t first = 0; first < count_; first += kEntriesPerWrite) {
    const std::uint32_t n = std::min(count_ - first, kEntriesPerWrite);
    for (std::uint32_t i = 0; i < n; ++i) archive::EncodeEntry(working_index_[first + i], block[i]);
    if (!Sys().StreamWrite(stream, block, std::size_t{kEntrySize} * n)) return false;
  }
  return true;
}

int MesArchive::CopyOldEntries(os::StreamHandle stream, const char* new_path) {
  // By position, since names may repeat and entries may share data. Entries
  // that lie back to back (all of them, in a regular archive) go in one call,
  // so the cost per entry is a comparison and no buffer grows with an entry.
  for (std::uint32_t i = 0; i < old_count_;) {
    if (read_index_[i].size == 0) {
      ++i;
      continue;
    }
    const std::uint32_t first = i;
    const std::uint32_t start = read_index_[i].offset;
    std::uint64_t end = start;
    for (; i < old_count_ && (read_index_[i].size == 0 || read_index_[i].offset == end); ++i) {
      end += read_index_[i].size;
    }
    std::uint32_t copied = 0;
    const os::CopyResult result = Sys().StreamCopyFromFile(
        stream, handle_, start, static_cast<std::uint32_t>(end - start), &copied);
    if (result == os::CopyResult::kCopied) continue;
    if (result == os::CopyResult::kWriteFailed) {
      return FailWrite(stream, new_path, text::kWriteFailed, new_path);
    }
    const char* name = EntryHolding(first, i, std::uint64_t{start} + copied);
    return FailWrite(stream, new_path,
                     result == os::CopyResult::kNoMemory ? text::kEntryAllocFailed
                                                               : text::kEntryReadFailed,
                     name);
  }
  return 1;
}

int MesArchive::WriteArchive(const char* new_path, std::uint32_t n) {
  // Nothing exists at new_path yet that this call made, so these refusals delete nothing.
  if (!working_index_ || n != payloads_.size()) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }

  // Every entry's offset is where its data will land, whatever gaps or
  // sharing the old file had; the whole file must be one the reader reads.
  std::uint64_t position = kCountSize + std::uint64_t{kEntrySize} * count_;
  for (std::uint32_t i = 0; i < count_; ++i) position += working_index_[i].size;
  if (position > kLargestArchive) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }
  position = kCountSize + std::uint64_t{kEntrySize} * count_;
  for (std::uint32_t i = 0; i < count_; ++i) {
    working_index_[i].offset = static_cast<std::uint32_t>(position);
    position += working_index_[i].size;
  }

  os::StreamHandle stream = Sys().StreamCreate(new_path);
  if (!stream) {
    Report(text::kWriteFailed, new_path);
    return 0;
  }
  if (!WriteHead(stream)) return FailWrite(stream, new_path, text::kWriteFailed, new_path);

  if (!CopyOldEntries(stream, new_path)) return 0;
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
