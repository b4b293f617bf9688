#include "tools/mesarc/Commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <set>
#include <sstream>
#include <string_view>

#include "archive/ArchivePacker.h"
#include "archive/ArchiveUnpatch.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "archive/EntryOrder.h"
#include "archive/PatchedCheck.h"
#include "os/CodePageText.h"
#include "tools/mesarc/ArchiveFile.h"
#include "tools/mesarc/OutputFile.h"
#include "tools/mesarc/Output.h"
#include "updater/PatchSet.h"

namespace fs = std::filesystem;

namespace mesarc {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

// false, with *cause saying why, when the entry could not be read or written.
bool CopyEntry(ArchiveFile* archive, const archive::ExaminedEntry& entry, const fs::path& target,
               std::string* cause) {
  errno = 0;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::string chunk;
  for (std::uint64_t done = 0; out && done < entry.size;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, entry.size - done));
    if (!ReadAt(archive->stream, entry.offset + done, part, &chunk)) {
      *cause = "the archive could not be read there";
      return false;
    }
    out.write(chunk.data(), static_cast<std::streamsize>(part));
    done += part;
  }
  if (out) errno = 0;
  out.close();
  if (out) return true;
  *cause = errno != 0 ? std::strerror(errno) : "the system gave no reason";
  return false;
}

// Code points of a UTF-8 name, for comparing file names.
std::u32string CodePoints(const std::string& utf8) {
  std::u32string points;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    points.push_back(code);
    i += length;
  }
  return points;
}

// A file name as a case-blind file system compares it: two Shift-JIS names
// that become the same Unicode (NEC's and IBM's Roman numeral one) are one
// file, and so are names that differ only in the case of the letters CP932
// holds (ASCII, full-width, Greek, Cyrillic, Roman numerals).
std::u32string FileKey(const fs::path& file) {
  std::u32string key = CodePoints(os::PathToUtf8(file));
  for (char32_t& c : key) {
    // Each small letter lies 0x20 after its capital in these blocks.
    if ((c >= U'a' && c <= U'z') || (c >= 0xFF41 && c <= 0xFF5A) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
      c -= 0x20;
    } else if (c == 0x451) {
      c = 0x401;
    } else if (c >= 0x2170 && c <= 0x217F) {
      c -= 0x10;
    }
  }
  return key;
}

// Why the entry cannot become a file; empty when it can.
std::string NameRefusal(const archive::ExaminedEntry& entry, fs::path* file_name) {
  if (entry.unterminated) return "the name has no NUL";
  std::string problem = archive::FileNameProblem(entry.name);
  if (!problem.empty()) return problem;
  if (!os::Cp932ToFileName(entry.name, file_name)) return "the name is not valid CP932";
  return std::string();
}

// Each entry's file, settled over the whole index so that an entry gets the
// same file whichever entries are asked for: first every name's first entry,
// then numbered names for the later ones, stepping over names in use. Case
// is ignored because Windows ignores it. A name starting with a dot would
// be a hidden file, which pack never takes, so it gets "_" before it.
struct FilePlan {
  std::vector<fs::path> files;
  std::vector<std::string> refusals;  // empty when the entry can be written

  bool Complete() const {
    return std::all_of(refusals.begin(), refusals.end(),
                       [](const std::string& refusal) { return refusal.empty(); });
  }
};

FilePlan PlanFiles(const std::vector<archive::ExaminedEntry>& entries) {
  FilePlan plan;
  plan.files.resize(entries.size());
  plan.refusals.resize(entries.size());
  std::vector<bool> renamed(entries.size(), false);
  std::set<std::u32string> taken;
  for (const archive::ExaminedEntry& entry : entries) {
    plan.refusals[entry.position] = NameRefusal(entry, &plan.files[entry.position]);
    if (!plan.refusals[entry.position].empty()) continue;
    renamed[entry.position] =
        entry.name[0] == '.' || !taken.insert(FileKey(plan.files[entry.position])).second;
    if (entry.out_of_bounds) plan.refusals[entry.position] = "its data ends past the end of the file";
  }
  for (const archive::ExaminedEntry& entry : entries) {
    if (!renamed[entry.position]) continue;
    const bool hidden = entry.name[0] == '.';
    const std::string base = hidden ? "_" + entry.name : entry.name;
    std::string candidate = hidden ? base : base + ".1";
    fs::path& file = plan.files[entry.position];
    for (unsigned suffix = hidden ? 0 : 1;
         !os::Cp932ToFileName(candidate, &file) || !taken.insert(FileKey(file)).second;) {
      candidate = base + "." + std::to_string(++suffix);
    }
  }
  return plan;
}

// Writes the order file for a whole extraction; false after reporting when
// it is not written. *note says where it went.
bool WriteOrderFile(const ArchiveFile& archive, const FilePlan& plan, const std::string& directory,
                    bool force, std::string* note) {
  if (!plan.Complete()) {
    PrintError(std::string("no ") + archive::kOrderFileName +
               " written: pack could not rebuild the archive without the entries not extracted");
    return false;
  }
  const fs::path path = os::PathFromUtf8(directory) / archive::kOrderFileName;
  const std::string shown = os::PathToUtf8(path);
  const std::string refusal = OutputRefusal(shown, {archive.path}, force);
  if (!refusal.empty()) {
    PrintError(shown + ": not written: " + refusal);
    return false;
  }
  std::string text =
      "# The index order of " + os::PathToUtf8(archive.path.filename()) +
      ", which mesarc pack follows: ENTRY<tab>FILE, one\n"
      "# line per entry. ENTRY is stored exactly (\\xNN is one byte); a line with only a\n"
      "# file name stores that file under its name in upper case.\n";
  const std::vector<std::string> fields =
      archive::NameFields(archive.head, archive.examination.count);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    text += archive::FormatOrderLine(fields[i], os::PathToUtf8(plan.files[i])) + "\n";
  }
  OutputFile out(path);
  if (!out.Open() || !out.Write(text.data(), text.size()) || !out.Commit()) {
    PrintError(NotWritten(shown, out));
    return false;
  }
  *note = ", their order to " + shown;
  return true;
}

}  // namespace

int ListCommand(const std::string& archive_path, bool json) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::vector<archive::ExaminedEntry>& entries = archive.examination.entries;

  if (json) {
    std::string out = "[";
    for (const archive::ExaminedEntry& entry : entries) {
      std::vector<std::string> flags;
      for (const std::string& flag : archive::EntryFlags(entry)) flags.push_back(JsonString(flag));
      out += (entry.position == 0 ? "\n  " : ",\n  ");
      out += "{\"position\": " + std::to_string(entry.position) +
             ", \"name\": " + JsonString(os::Cp932ToUtf8ForDisplay(entry.name)) +
             ", \"name_hex\": \"" + HexBytes(entry.name) + "\"" +
             ", \"size\": " + std::to_string(entry.size) +
             ", \"offset\": " + std::to_string(entry.offset) +
             ", \"flags\": [" + Join(flags, ", ") + "]}";
    }
    std::cout << out << (entries.empty() ? "]" : "\n]") << '\n';
    return kExitOk;
  }

  std::ostringstream table;
  table << std::setw(5) << "#" << "  " << std::left << std::setw(25) << "NAME" << std::right
        << std::setw(10) << "SIZE" << "  " << std::setw(10) << "OFFSET" << "  FLAGS\n";
  for (const archive::ExaminedEntry& entry : entries) {
    // Padded by columns, not bytes: a two-byte character may take one or two.
    const std::size_t width = DisplayWidth(NameUtf8(entry.name));
    const std::size_t pad = width < 25 ? 25 - width : 1;
    table << std::setw(5) << entry.position << "  " << ConsoleName(entry.name)
          << std::string(pad, ' ') << std::setw(10) << entry.size << "  " << std::setw(10)
          << entry.offset;
    const std::vector<std::string> flags = archive::EntryFlags(entry);
    if (!flags.empty()) table << "  " << Join(flags, ",");
    table << '\n';
  }
  std::cout << table.str();
  return kExitOk;
}

int ExtractCommand(const std::string& archive_path, const std::string& directory,
                   const std::vector<std::string>& names, bool force) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::vector<archive::ExaminedEntry>& entries = archive.examination.entries;

  std::vector<bool> selected(entries.size(), names.empty());
  bool unknown = false;
  for (const std::string& name : names) {
    std::string cp932;
    bool found = false;
    if (os::Utf8ToCp932Strict(name, &cp932)) {
      const std::string wanted = archive::UpperCaseCp932Aware(cp932);
      for (const archive::ExaminedEntry& entry : entries) {
        if (archive::UpperCaseCp932Aware(entry.name) != wanted) continue;
        selected[entry.position] = true;
        found = true;
      }
    }
    if (!found) {
      PrintError(archive_path + ": no entry named " + name);
      unknown = true;
    }
  }
  if (unknown) return kExitProblems;

  const FilePlan plan = PlanFiles(entries);
  const std::vector<fs::path>& file_names = plan.files;
  const std::vector<std::string>& refusals = plan.refusals;

  const fs::path target_dir = os::PathFromUtf8(directory);
  std::error_code error;
  if (fs::exists(target_dir, error) && !fs::is_directory(target_dir, error)) {
    PrintError(directory + ": is a file, not a folder");
    return kExitProblems;
  }
  fs::create_directories(target_dir, error);
  if (error || !fs::is_directory(target_dir)) {
    PrintError(directory + ": cannot create the folder" + (error ? ": " + error.message() : ""));
    return kExitProblems;
  }

  int written = 0;
  bool failed = false;
  for (const archive::ExaminedEntry& entry : entries) {
    if (!selected[entry.position]) continue;
    const std::string label = EntryLabel(entry.position, entry.name);
    if (!refusals[entry.position].empty()) {
      PrintError(label + ": not extracted: " + refusals[entry.position]);
      failed = true;
      continue;
    }
    const fs::path target = target_dir / file_names[entry.position];
    if (SameFile(target, archive.path)) {
      PrintError(label + ": not extracted: it would overwrite the archive");
      failed = true;
      continue;
    }
    if (fs::is_directory(fs::symlink_status(target, error))) {
      PrintError(label + ": not extracted: " + os::PathToUtf8(target) + " is a folder");
      failed = true;
      continue;
    }
    if (!force && fs::exists(fs::symlink_status(target, error))) {
      PrintError(label + ": skipped: " + os::PathToUtf8(target) +
                 " exists (--force overwrites)");
      failed = true;
      continue;
    }
    // --force replaces the name, never what it leads to: a link's target, the
    // other names of a hard-linked file and a FIFO's reader stay untouched.
    if (fs::exists(fs::symlink_status(target, error)) && !fs::remove(target, error)) {
      PrintError(label + ": not extracted: " + os::PathToUtf8(target) +
                 " cannot be replaced: " + error.message());
      failed = true;
      continue;
    }
    std::string cause;
    if (!CopyEntry(&archive, entry, target, &cause)) {
      PrintError(label + ": cannot write " + os::PathToUtf8(target) + ": " + cause);
      fs::remove(target, error);
      failed = true;
      continue;
    }
    ++written;
  }
  std::string order_note;
  if (names.empty()) {
    failed = !WriteOrderFile(archive, plan, directory, force, &order_note) || failed;
  }
  PrintLine(std::to_string(written) + (written == 1 ? " entry" : " entries") + " written to " +
            directory + order_note);
  return failed ? kExitProblems : kExitOk;
}

int CheckCommand(const std::string& archive_path) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::vector<archive::ArchiveProblem> problems = archive::FindProblems(archive.examination);
  for (const archive::ArchiveProblem& problem : problems) {
    PrintLine(problem.has_entry ? EntryLabel(problem.position, problem.name) + ": " + problem.message
                                : problem.message);
  }
  const std::size_t count = archive.examination.entries.size();
  if (problems.empty()) {
    PrintLine(archive_path + ": ok, " + std::to_string(count) + (count == 1 ? " entry" : " entries"));
    return kExitOk;
  }
  PrintLine(archive_path + ": " + std::to_string(problems.size()) +
            (problems.size() == 1 ? " problem" : " problems"));
  return kExitProblems;
}

namespace {

// This build's payloads, in the order the update appends them; false after
// reporting one the program does not carry.
bool LoadBuildPayloads(std::vector<archive::ExpectedPayload>* payloads) {
  const char* missing = "";
  if (LoadPatchSetPayloads(payloads, &missing)) return true;
  PrintError(std::string("this build carries no payload for ") + missing);
  return false;
}

// Which of this build's payloads the archive carries; false after reporting
// when that cannot be told.
bool CheckBuildPayloads(ArchiveFile* archive, std::vector<archive::ExpectedPayload>* payloads,
                        archive::PayloadCheck* check) {
  if (!LoadBuildPayloads(payloads)) return false;
  *check = archive::CheckPayloads(archive->examination, *payloads,
                                  [archive](std::uint64_t offset, std::uint32_t size, std::string* out) {
                                    return ReadAt(archive->stream, offset, size, out);
                                  });
  if (!check->read_failed) return true;
  PrintError(archive->shown + ": cannot read " + check->unreadable_name);
  return false;
}

}  // namespace

int StatusCommand(const std::string& archive_path) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive) || !RequireReadable(archive)) return kExitUnreadable;
  std::vector<archive::ExpectedPayload> payloads;
  archive::PayloadCheck check;
  if (!CheckBuildPayloads(&archive, &payloads, &check)) return kExitUnreadable;
  if (check.Patched()) {
    PrintLine("patched");
    return kExitOk;
  }
  std::vector<std::string> differences;
  for (std::size_t p = 0; p < payloads.size(); ++p) {
    if (check.matches[p] == archive::PayloadMatch::kSame) continue;
    differences.push_back(std::string(payloads[p].name) +
                          (check.matches[p] == archive::PayloadMatch::kMissing ? ": missing"
                                                                               : ": differs"));
  }
  const std::size_t current = check.SameCount();
  if (current == 0) {
    PrintLine("not patched");
  } else {
    PrintLine("partly patched");
    for (const std::string& line : differences) PrintLine("  " + line);
  }
  return kExitProblems;
}

namespace {

// Why the archive's last entries are not this build's payloads; empty when they are.
std::string NotPatchedReason(ArchiveFile* archive, const std::vector<std::string>& names,
                             const std::vector<archive::ExpectedPayload>& payloads) {
  const std::string problem = archive::AppendedNamesProblem(archive->examination, names);
  if (!problem.empty()) return problem;
  const std::size_t first = archive->examination.entries.size() - names.size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const archive::ExaminedEntry& entry = archive->examination.entries[first + i];
    std::string data;
    if (entry.size != payloads[i].data.size() ||
        !ReadAt(archive->stream, entry.offset, entry.size, &data) || data != payloads[i].data) {
      return EntryLabel(entry.position, entry.name) + " is not this build's payload";
    }
  }
  return std::string();
}

bool CopyRange(ArchiveFile* archive, const archive::ExaminedEntry& entry, OutputFile* out) {
  std::string chunk;
  for (std::uint64_t done = 0; done < entry.size;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, entry.size - done));
    if (!ReadAt(archive->stream, entry.offset + done, part, &chunk)) return false;
    if (!out->Write(chunk.data(), part)) return false;
    done += part;
  }
  return true;
}

}  // namespace

int UnpatchCommand(const std::string& archive_path, const std::string& output, bool force) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::string refusal = OutputRefusal(output, {archive.path}, force);
  if (!refusal.empty()) {
    PrintError(output + ": " + refusal);
    return kExitProblems;
  }
  if (!RequireReadable(archive)) return kExitUnreadable;
  std::vector<archive::ExpectedPayload> payloads;
  archive::PayloadCheck check;
  if (!CheckBuildPayloads(&archive, &payloads, &check)) return kExitUnreadable;
  std::vector<std::string> names;
  for (const archive::ExpectedPayload& payload : payloads) names.emplace_back(payload.name);
  const std::string reason = NotPatchedReason(&archive, names, payloads);
  // Neither the five names at the end nor any payload: an archive no update touched.
  if (!reason.empty() && check.SameCount() == 0 &&
      !archive::AppendedNamesProblem(archive.examination, names).empty()) {
    PrintError(archive_path + ": not patched: it carries none of this build's payloads, so there "
               "is no update to undo");
    return kExitProblems;
  }
  if (!reason.empty()) {
    PrintError(archive_path + ": not patched by this build: " + reason);
    return kExitProblems;
  }

  const std::vector<archive::RestoredEntry> restored =
      archive::RestoredEntries(archive.examination, names);
  std::string head;
  if (!archive::RestoredIndex(archive.examination, restored, &head)) {
    PrintError(archive_path + ": the restored archive would reach 4 GiB");
    return kExitProblems;
  }
  OutputFile out(os::PathFromUtf8(output));
  bool written = out.Open() && out.Write(head.data(), head.size());
  for (std::size_t i = 0; written && i < restored.size(); ++i) {
    written = CopyRange(&archive, archive.examination.entries[restored[i].position], &out);
  }
  if (!written || !out.Commit()) {
    PrintError(NotWritten(output, out));
    return kExitProblems;
  }
  const std::size_t dropped = archive.examination.entries.size() - restored.size();
  PrintLine(std::to_string(restored.size()) + (restored.size() == 1 ? " entry" : " entries") +
            " written to " + output + " (" + std::to_string(dropped) +
            " appended by the update dropped)");
  return kExitOk;
}

}  // namespace mesarc
