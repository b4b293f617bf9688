// An archive opened for a mesarc command: the file, its first bytes and the
// lenient reading of its index.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/ArchiveExamination.h"

namespace mesarc {

struct ArchiveFile {
  std::string shown;  // the path as the user gave it
  std::filesystem::path path;
  std::ifstream stream;
  std::string head;  // the count and the index
  archive::Examination examination;
};

// Reads size bytes at offset; false when the stream does not hold them all.
bool ReadAt(std::ifstream& stream, std::uint64_t offset, std::size_t size, std::string* out);

// Opens the archive and reads its index leniently; false after reporting
// when there is no index to read at all.
bool OpenArchive(const std::string& shown, ArchiveFile* file);

// Whether the updater's reader would read the archive (every entry's name
// ends and its data lies in the file); false after saying it is unreadable.
bool RequireReadable(const ArchiveFile& file);

// "entry 3 (NAME)", for messages.
std::string EntryLabel(std::uint32_t position, const std::string& name);

std::string Join(const std::vector<std::string>& words, const char* separator);

}  // namespace mesarc
