// Apart from the examination, because the name rule uses the file-name
// conversion of the command-line tools, which the updater, reading the same
// index, has no use for.
#include "archive/ArchiveProblems.h"

#include <cstring>
#include <filesystem>

#include "os/Hex.h"
#include "os/CodePageText.h"
#include "os/Process.h"

namespace archive {
namespace {

bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

// Single bytes Windows decodes to a control or private character and iconv
// refuses: refused on both, so both builds judge a name alike.
bool IsUnusedSingleByte(unsigned char byte) { return byte == 0x80 || byte == 0xA0 || byte >= 0xFD; }

std::string Hex(std::uint64_t value) {
  std::string text;
  do {
    text.insert(text.begin(), os::kHexDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

ArchiveProblem EntryProblem(const ExaminedEntry& entry, std::string message) {
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

bool IsDeviceName(std::string_view name) {
  // Windows opens the device for these names whatever the extension.
  const std::string stem = UpperCaseCp932Aware(name.substr(0, name.find('.')));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::vector<ArchiveProblem> FindProblems(const Examination& examination) {
  std::vector<ArchiveProblem> problems;
  if (!examination.readable) {
    problems.push_back(FileProblem(examination.error));
    return problems;
  }
  if (examination.file_size > kLargestArchive) {
    problems.push_back(FileProblem("the file has " + Bytes(examination.file_size) +
                                   ", more than the updater can read (4 GiB - 2)"));
  }
  for (const ExaminedEntry& entry : examination.entries) {
    if (entry.unterminated) problems.push_back(EntryProblem(entry, "the name has no NUL"));
    if (entry.wraps) {
      problems.push_back(EntryProblem(entry, "offset " + Hex(entry.offset) + " + size " +
                                                 Hex(entry.size) + " overflows 32 bits"));
    } else if (entry.out_of_bounds) {
      problems.push_back(EntryProblem(
          entry, "data at " + std::to_string(entry.offset) + ".." + std::to_string(entry.end()) +
                     " ends past the end of the file (" + std::to_string(examination.file_size) +
                     ")"));
    }
  }
  for (const ExaminedEntry& entry : examination.entries) {
    if (entry.unterminated) continue;
    const std::string problem = FileNameProblem(entry.name);
    if (!problem.empty()) problems.push_back(EntryProblem(entry, problem + ": extract refuses it"));
  }
  for (const ExaminedEntry& entry : examination.entries) {
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
  if (examination.trailing_bytes != 0) {
    problems.push_back(FileProblem(Bytes(examination.trailing_bytes) + " after the " +
                                   (examination.entries.empty() ? "index" : "last entry's data")));
  }
  return problems;
}

std::string FileNameProblem(std::string_view cp932) {
  if (cp932.empty()) return "the name is empty";
  if (cp932 == "." || cp932 == "..") return "the name is \"" + std::string(cp932) + "\"";
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(cp932[i]);
    if (os::IsCp932LeadByte(byte)) {
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
  if (!os::Cp932ToFileName(std::string(cp932), &file_name)) return "the name is not valid CP932";
  return std::string();
}

}  // namespace archive
