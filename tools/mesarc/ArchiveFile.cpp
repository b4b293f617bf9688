#include "tools/mesarc/ArchiveFile.h"

#include <system_error>

#include "os/CodePageText.h"
#include "tools/mesarc/Output.h"

namespace fs = std::filesystem;

namespace mesarc {

bool ReadAt(std::ifstream& stream, std::uint64_t offset, std::size_t size, std::string* out) {
  out->assign(size, '\0');
  stream.clear();
  stream.seekg(static_cast<std::streamoff>(offset));
  if (size != 0) stream.read(&(*out)[0], static_cast<std::streamsize>(size));
  return stream && static_cast<std::size_t>(stream.gcount()) == size;
}

bool OpenArchive(const std::string& shown, ArchiveFile* file) {
  file->shown = shown;
  file->path = os::PathFromUtf8(shown);
  std::error_code error;
  const fs::file_status status = fs::status(file->path, error);
  if (!fs::exists(status)) {
    PrintError(shown + ": does not exist");
    return false;
  }
  if (!fs::is_regular_file(status)) {
    PrintError(shown + ": not a regular file");
    return false;
  }
  const std::uintmax_t size = fs::file_size(file->path, error);
  file->stream.open(file->path, std::ios::binary);
  if (error || !file->stream) {
    PrintError(shown + ": cannot be opened");
    return false;
  }
  std::string& head = file->head;
  if (size >= 4) {
    if (!ReadAt(file->stream, 0, 4, &head)) {
      PrintError(shown + ": cannot be read");
      return false;
    }
    // A damaged count may claim gigabytes: the index is read only when it
    // fits the file, and the count alone lets the examination say why not.
    const std::uint64_t index_end = archive::IndexEnd(archive::DecodeCount(head));
    if (index_end <= size && !ReadAt(file->stream, 0, static_cast<std::size_t>(index_end), &head)) {
      PrintError(shown + ": cannot be read");
      return false;
    }
  }
  file->examination = archive::ExamineArchive(head, size);
  if (!file->examination.readable) {
    // The archive has no magic number: an index that cannot be is the sign.
    PrintError(shown + ": not a message archive: " + file->examination.error);
    return false;
  }
  return true;
}

bool RequireReadable(const ArchiveFile& file) {
  if (archive::ReaderAccepts(file.examination)) return true;
  PrintError(file.shown + ": the updater cannot read this archive (see mesarc check)");
  return false;
}

std::string EntryLabel(std::uint32_t position, const std::string& name) {
  return "entry " + std::to_string(position) + " (" + NameUtf8(name) + ")";
}

std::string Join(const std::vector<std::string>& words, const char* separator) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : separator) + word;
  return joined;
}

}  // namespace mesarc
