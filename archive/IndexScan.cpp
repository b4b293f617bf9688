#include "archive/IndexScan.h"

#include <cstring>
#include <filesystem>
#include <map>

#include "archive/ArchiveFormat.h"
#include "platform/Console.h"

namespace archive {
namespace {

// The updater learns the size through a 32-bit call that reserves all ones for failure.
constexpr std::uint64_t kLargestReadableFile = 0xFFFFFFFEu;

std::uint32_t GetLe32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

// Single bytes Windows decodes to a control or private character and iconv
// refuses: refused on both, so both builds judge a name alike.
bool IsUnusedSingleByte(unsigned char byte) { return byte == 0x80 || byte == 0xA0 || byte >= 0xFD; }

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

ArchiveProblem EntryProblem(const InspectedEntry& entry, std::string message) {
  ArchiveProblem problem;
  problem.has_entry = true;
  problem.position = entry.position;
  problem.name = entry.name;
  problem.message = std::move(message);
  return problem;
}

ArchiveProblem FileProblem(std::string message) {
  ArchiveProblem problem;
  problem.message = std::move(message);
  return problem;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool IsDeviceName(std::string_view name) {
  // Windows opens the device for these names whatever the extension.
  const std::string stem = UpperAscii(std::string(name.substr(0, name.find('.'))));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::uint64_t IndexEnd(std::uint32_t count) {
  return kCountSize + std::uint64_t{kEntrySize} * count;
}

Inspection InspectArchive(std::string_view head, std::uint64_t file_size) {
  Inspection result;
  result.file_size = file_size;
  if (file_size < kCountSize || head.size() < kCountSize) {
    result.error = "the file has " + Bytes(file_size) + ", too short for the entry count";
    return result;
  }
  result.count = GetLe32(head, 0);
  const std::uint64_t index_end = IndexEnd(result.count);
  if (index_end > file_size) {
    result.error = "an index of " + std::to_string(result.count) + " entries needs " +
                   Bytes(index_end) + ", the file has " + std::to_string(file_size);
    return result;
  }
  if (head.size() < index_end) {
    result.error = "the index could not be read";
    return result;
  }

  result.entries.reserve(result.count);
  std::map<std::string, std::uint32_t> first_by_name;
  std::uint64_t expected = index_end;
  for (std::uint32_t i = 0; i < result.count; ++i) {
    ArchiveEntry stored;
    std::memcpy(&stored, head.data() + kCountSize + std::size_t{kEntrySize} * i, sizeof stored);
    ScrambleEntry(&stored);

    InspectedEntry entry;
    entry.position = i;
    const void* nul = std::memchr(stored.name, '\0', kEntryNameSize);
    entry.unterminated = nul == nullptr;
    entry.name.assign(stored.name, entry.unterminated
                                       ? kEntryNameSize
                                       : static_cast<const char*>(nul) - stored.name);
    entry.size = stored.size;
    entry.offset = stored.offset;

    entry.superseded = entry.name.size() >= 2 && entry.name.compare(entry.name.size() - 2, 2, "__") == 0;
    // Case is ignored as by the lookup, which upper-cases what it is asked for.
    const auto first = first_by_name.emplace(UpperCaseName(entry.name), i);
    entry.duplicate = !first.second;
    entry.first_with_name = first.first->second;
    for (char c : entry.name) entry.lowercase = entry.lowercase || (c >= 'a' && c <= 'z');
    entry.out_of_bounds = entry.end() > file_size;
    entry.wraps = entry.end() > 0xFFFFFFFFu;
    entry.expected_offset = expected;
    entry.misplaced = entry.offset != expected;
    expected = entry.end();
    result.entries.push_back(std::move(entry));
  }
  result.trailing_bytes = file_size > expected ? file_size - expected : 0;
  result.readable = true;
  return result;
}

std::vector<ArchiveProblem> FindProblems(const Inspection& inspection) {
  std::vector<ArchiveProblem> problems;
  if (!inspection.readable) {
    problems.push_back(FileProblem(inspection.error));
    return problems;
  }
  if (inspection.file_size > kLargestReadableFile) {
    problems.push_back(FileProblem("the file has " + Bytes(inspection.file_size) +
                                   ", more than the updater can read (4 GiB - 2)"));
  }
  for (const InspectedEntry& entry : inspection.entries) {
    if (entry.unterminated) problems.push_back(EntryProblem(entry, "the name has no NUL"));
    if (entry.wraps) {
      problems.push_back(EntryProblem(entry, "offset " + Hex(entry.offset) + " + size " +
                                                 Hex(entry.size) + " overflows 32 bits"));
    } else if (entry.out_of_bounds) {
      problems.push_back(EntryProblem(
          entry, "data at " + std::to_string(entry.offset) + ".." + std::to_string(entry.end()) +
                     " ends past the end of the file (" + std::to_string(inspection.file_size) +
                     ")"));
    }
  }
  for (const InspectedEntry& entry : inspection.entries) {
    if (entry.unterminated) continue;
    const std::string problem = FileNameProblem(entry.name);
    if (!problem.empty()) problems.push_back(EntryProblem(entry, problem + ": extract refuses it"));
  }
  for (const InspectedEntry& entry : inspection.entries) {
    if (!entry.misplaced) continue;
    std::string message = "data at " + std::to_string(entry.offset) + ", expected at " +
                          std::to_string(entry.expected_offset);
    if (entry.offset > entry.expected_offset) {
      message += " (a gap of " + Bytes(entry.offset - entry.expected_offset) + ")";
    } else if (entry.position == 0) {
      message += " (inside the index)";
    } else {
      message += " (overlaps the previous entry's data)";
    }
    problems.push_back(EntryProblem(entry, message));
  }
  if (inspection.trailing_bytes != 0) {
    problems.push_back(FileProblem(Bytes(inspection.trailing_bytes) + " after the " +
                                   (inspection.entries.empty() ? "index" : "last entry's data")));
  }
  return problems;
}

bool ReaderAccepts(const Inspection& inspection) {
  if (!inspection.readable || inspection.file_size > kLargestReadableFile) return false;
  for (const InspectedEntry& entry : inspection.entries) {
    if (entry.unterminated || entry.out_of_bounds) return false;
  }
  return true;
}

std::vector<std::string> EntryFlags(const InspectedEntry& entry) {
  std::vector<std::string> flags;
  if (entry.superseded) flags.push_back("superseded");
  if (entry.duplicate) flags.push_back("duplicate");
  if (entry.lowercase) flags.push_back("lowercase");
  if (entry.out_of_bounds) flags.push_back("out-of-bounds");
  if (entry.wraps) flags.push_back("overflow");
  if (entry.unterminated) flags.push_back("unterminated");
  if (entry.misplaced) flags.push_back("misplaced");
  return flags;
}

const InspectedEntry* FindFirst(const Inspection& inspection, std::string_view name) {
  for (const InspectedEntry& entry : inspection.entries) {
    // An unterminated name is never a lookup key: the reader refuses the archive.
    if (!entry.unterminated && entry.name == name) return &entry;
  }
  return nullptr;
}

std::string FileNameProblem(std::string_view cp932) {
  if (cp932.empty()) return "the name is empty";
  if (cp932 == "." || cp932 == "..") return "the name is \"" + std::string(cp932) + "\"";
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(cp932[i]);
    if (IsLeadByte(byte)) {
      // The second byte may be '\\' or '|': as part of the character it separates nothing.
      if (i + 1 >= cp932.size() || !IsTrailByte(static_cast<unsigned char>(cp932[i + 1]))) {
        return "the name holds an invalid double-byte character";
      }
      ++i;
      continue;
    }
    if (byte < 0x20 || byte == 0x7F) return "the name holds a control byte";
    if (IsUnusedSingleByte(byte)) return "the name is not valid CP932";
    if (std::strchr("/\\:*?\"<>|", byte) != nullptr) {
      return std::string("the name holds '") + static_cast<char>(byte) + "'";
    }
  }
  const char last = cp932.back();
  if (last == '.' || last == ' ') return "the name ends in a dot or a space";
  if (IsDeviceName(cp932)) return "the name is a Windows device name";
  // The conversion extract names its files with: codes no table assigns fail here.
  std::filesystem::path file_name;
  if (!platform::Cp932ToFileName(std::string(cp932), &file_name)) return "the name is not valid CP932";
  return std::string();
}

std::string UpperCaseName(std::string_view cp932) {
  std::string upper(cp932);
  for (std::size_t i = 0; i < upper.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(upper[i]);
    if (IsLeadByte(byte)) {
      ++i;
    } else if (byte >= 'a' && byte <= 'z') {
      upper[i] = static_cast<char>(byte - 'a' + 'A');
    }
  }
  return upper;
}

}  // namespace archive
