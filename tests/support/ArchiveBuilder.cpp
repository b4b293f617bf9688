#include "support/ArchiveBuilder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace archive_test {
namespace {

namespace fs = std::filesystem;

// The masks are written out here rather than taken from the archive code, so
// a wrong mask there makes the tests fail instead of agreeing with it.
constexpr unsigned char kNameMask = 0x6B;
constexpr std::uint32_t kSizeMask = 0x2C9E4A17u;
constexpr std::uint32_t kOffsetMask = 0x4B1D7E63u;
constexpr std::size_t kNameField = 24;
constexpr char kGapByte = '\xEE';

void PutLe32(std::string* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

std::uint32_t GetLe32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string PatternData(std::size_t size, std::uint32_t seed) {
  std::string data(size, '\0');
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (char& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  return data;
}

ArchiveBuilder& ArchiveBuilder::Add(const std::string& name, const std::string& data) {
  Item item;
  item.name = name;
  item.data = data;
  item.placed = true;
  item.gap_before = pending_gap_;
  pending_gap_ = 0;
  entries_.push_back(item);
  return *this;
}

ArchiveBuilder& ArchiveBuilder::AddSized(const std::string& name, std::uint32_t size,
                                         std::uint32_t seed) {
  return Add(name, PatternData(size, seed));
}

ArchiveBuilder& ArchiveBuilder::AddPointing(const std::string& name, std::uint32_t size,
                                            std::uint32_t offset) {
  Item item;
  item.name = name;
  item.size = size;
  item.offset = offset;
  entries_.push_back(item);
  return *this;
}

ArchiveBuilder& ArchiveBuilder::AddRawIndexEntry(const std::string& stored_bytes) {
  Item item;
  item.raw = stored_bytes;
  item.raw.resize(32, '\0');
  entries_.push_back(item);
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Gap(std::uint32_t bytes) {
  pending_gap_ += bytes;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Trailing(const std::string& bytes) {
  trailing_ += bytes;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::Count(std::uint32_t count) {
  count_set_ = true;
  count_ = count;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::NameFiller(char filler) {
  filler_ = filler;
  return *this;
}

std::string ArchiveBuilder::Build() const {
  std::string index;
  std::string data;
  std::uint32_t position = static_cast<std::uint32_t>(4 + 32 * entries_.size());
  for (const Item& item : entries_) {
    if (!item.raw.empty()) {
      index += item.raw;
      continue;
    }
    std::uint32_t size = item.size;
    std::uint32_t offset = item.offset;
    if (item.placed) {
      data.append(item.gap_before, kGapByte);
      position += item.gap_before;
      size = static_cast<std::uint32_t>(item.data.size());
      offset = position;
      data += item.data;
      position += size;
    }
    std::string name = item.name.substr(0, kNameField);
    if (name.size() < kNameField) {
      name.push_back('\0');
      name.resize(kNameField, filler_);
    }
    for (char c : name) index.push_back(static_cast<char>(c ^ kNameMask));
    PutLe32(&index, size ^ kSizeMask);
    PutLe32(&index, offset ^ kOffsetMask);
  }
  data.append(pending_gap_, kGapByte);

  std::string file;
  PutLe32(&file, count_set_ ? count_ : static_cast<std::uint32_t>(entries_.size()));
  return file + index + data + trailing_;
}

bool ParsedArchive::MeetsLayout() const {
  std::uint64_t position = 4 + 32ull * count;
  for (const ParsedEntry& entry : entries) {
    if (entry.offset != position) return false;
    position += entry.size;
  }
  return ok && position == file_size;
}

const ParsedEntry* ParsedArchive::Find(const std::string& name) const {
  for (const ParsedEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

ParsedArchive ParseArchive(const std::string& bytes) {
  ParsedArchive parsed;
  parsed.file_size = bytes.size();
  if (bytes.size() < 4) {
    parsed.error = "shorter than the count";
    return parsed;
  }
  parsed.count = GetLe32(bytes, 0);
  if (4 + 32ull * parsed.count > bytes.size()) {
    parsed.error = "index does not fit the file";
    return parsed;
  }
  for (std::uint32_t i = 0; i < parsed.count; ++i) {
    const std::size_t at = 4 + 32 * static_cast<std::size_t>(i);
    ParsedEntry entry;
    std::string name;
    for (std::size_t k = 0; k < kNameField; ++k)
      name.push_back(static_cast<char>(bytes[at + k] ^ kNameMask));
    const std::size_t nul = name.find('\0');
    if (nul == std::string::npos) {
      parsed.error = "entry " + std::to_string(i) + " has no NUL in its name";
      return parsed;
    }
    entry.name = name.substr(0, nul);
    entry.size = GetLe32(bytes, at + 24) ^ kSizeMask;
    entry.offset = GetLe32(bytes, at + 28) ^ kOffsetMask;
    if (std::uint64_t{entry.offset} + entry.size > bytes.size()) {
      parsed.error = "entry " + entry.name + " lies outside the file";
      return parsed;
    }
    entry.data = bytes.substr(entry.offset, entry.size);
    parsed.entries.push_back(entry);
  }
  parsed.ok = true;
  return parsed;
}

ParsedArchive ParseArchiveFile(const std::string& path) {
  if (!FileExists(path)) {
    ParsedArchive missing;
    missing.error = "no file at " + path;
    return missing;
  }
  return ParseArchive(ReadFileBytes(path));
}

}  // namespace archive_test
