#include "tools/mesarc/Commands.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <set>
#include <sstream>
#include <string_view>

#include "archive/ArchivePacker.h"
#include "archive/ArchiveUnpatch.h"
#include "archive/ArchiveInspection.h"
#include "archive/ArchiveProblems.h"
#include "archive/PatchedCheck.h"
#include "os/Console.h"
#include "tools/mesarc/OutputFile.h"
#include "tools/mesarc/Output.h"
#include "updater/PatchSet.h"

namespace fs = std::filesystem;

namespace mesarc {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

struct ArchiveFile {
  std::string shown;  // the path as the user gave it
  fs::path path;
  std::ifstream stream;
  archive::Inspection inspection;
};

bool ReadAt(std::ifstream& stream, std::uint64_t offset, std::size_t size, std::string* out) {
  out->assign(size, '\0');
  stream.clear();
  stream.seekg(static_cast<std::streamoff>(offset));
  if (size != 0) stream.read(&(*out)[0], static_cast<std::streamsize>(size));
  return stream && static_cast<std::size_t>(stream.gcount()) == size;
}

// Opens the archive and reads its index leniently; false after reporting
// when there is no index to read at all.
bool OpenArchive(const std::string& shown, ArchiveFile* file) {
  file->shown = shown;
  file->path = platform::PathFromUtf8(shown);
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
  std::string head;
  if (size >= 4) {
    if (!ReadAt(file->stream, 0, 4, &head)) {
      PrintError(shown + ": cannot be read");
      return false;
    }
    // A damaged count may claim gigabytes: the index is read only when it
    // fits the file, and the count alone lets the inspection say why not.
    const std::uint64_t index_end = archive::IndexEnd(archive::DecodeCount(head));
    if (index_end <= size && !ReadAt(file->stream, 0, static_cast<std::size_t>(index_end), &head)) {
      PrintError(shown + ": cannot be read");
      return false;
    }
  }
  file->inspection = archive::InspectArchive(head, size);
  if (!file->inspection.readable) {
    PrintError(shown + ": " + file->inspection.error);
    return false;
  }
  return true;
}

std::string EntryLabel(std::uint32_t position, const std::string& name) {
  return "entry " + std::to_string(position) + " (" + NameUtf8(name) + ")";
}

std::string Join(const std::vector<std::string>& words, const char* separator) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : separator) + word;
  return joined;
}

bool CopyEntry(ArchiveFile* archive, const archive::InspectedEntry& entry, const fs::path& target) {
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::string chunk;
  for (std::uint64_t done = 0; out && done < entry.size;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, entry.size - done));
    if (!ReadAt(archive->stream, entry.offset + done, part, &chunk)) return false;
    out.write(chunk.data(), static_cast<std::streamsize>(part));
    done += part;
  }
  out.close();
  return static_cast<bool>(out);
}

// Why the entry cannot become a file; empty when it can.
std::string NameRefusal(const archive::InspectedEntry& entry, fs::path* file_name) {
  if (entry.unterminated) return "the name has no NUL";
  std::string problem = archive::FileNameProblem(entry.name);
  if (!problem.empty()) return problem;
  if (!platform::Cp932ToFileName(entry.name, file_name)) return "the name is not valid CP932";
  return std::string();
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

std::string Trim(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

int ListCommand(const std::string& archive_path, bool json) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::vector<archive::InspectedEntry>& entries = archive.inspection.entries;

  if (json) {
    std::string out = "[";
    for (const archive::InspectedEntry& entry : entries) {
      std::vector<std::string> flags;
      for (const std::string& flag : archive::EntryFlags(entry)) flags.push_back(JsonString(flag));
      out += (entry.position == 0 ? "\n  " : ",\n  ");
      out += "{\"position\": " + std::to_string(entry.position) +
             ", \"name\": " + JsonString(platform::Cp932ToUtf8ForDisplay(entry.name)) +
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
  for (const archive::InspectedEntry& entry : entries) {
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
  const std::vector<archive::InspectedEntry>& entries = archive.inspection.entries;

  std::vector<bool> selected(entries.size(), names.empty());
  bool unknown = false;
  for (const std::string& name : names) {
    std::string cp932;
    bool found = false;
    if (platform::Utf8ToCp932Strict(name, &cp932)) {
      const std::string wanted = archive::UpperCaseCp932Aware(cp932);
      for (const archive::InspectedEntry& entry : entries) {
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

  // File names are settled over the whole index, so an entry gets the same
  // file whichever entries are asked for: first every name's first entry,
  // then numbered names for the later ones, stepping over names in use.
  // Case is ignored because Windows ignores it.
  std::vector<fs::path> file_names(entries.size());
  std::vector<std::string> refusals(entries.size());
  std::vector<bool> numbered(entries.size(), false);
  std::set<std::string> taken;
  for (const archive::InspectedEntry& entry : entries) {
    refusals[entry.position] = NameRefusal(entry, &file_names[entry.position]);
    if (!refusals[entry.position].empty()) continue;
    numbered[entry.position] = !taken.insert(archive::UpperCaseCp932Aware(entry.name)).second;
    if (entry.out_of_bounds) refusals[entry.position] = "its data ends past the end of the file";
  }
  for (const archive::InspectedEntry& entry : entries) {
    if (!numbered[entry.position]) continue;
    std::string candidate;
    unsigned suffix = 0;
    do {
      candidate = entry.name + "." + std::to_string(++suffix);
    } while (!taken.insert(archive::UpperCaseCp932Aware(candidate)).second);
    platform::Cp932ToFileName(candidate, &file_names[entry.position]);
  }

  const fs::path target_dir = platform::PathFromUtf8(directory);
  std::error_code error;
  if (fs::exists(target_dir, error) && !fs::is_directory(target_dir, error)) {
    PrintError(directory + ": is a file, not a folder");
    return kExitProblems;
  }
  fs::create_directories(target_dir, error);
  if (error || !fs::is_directory(target_dir)) {
    PrintError(directory + ": cannot create the folder");
    return kExitProblems;
  }

  int written = 0;
  bool failed = false;
  for (const archive::InspectedEntry& entry : entries) {
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
      PrintError(label + ": not extracted: " + platform::PathToUtf8(target) + " is a folder");
      failed = true;
      continue;
    }
    if (!force && fs::exists(fs::symlink_status(target, error))) {
      PrintError(label + ": skipped: " + platform::PathToUtf8(target) +
                 " exists (--force overwrites)");
      failed = true;
      continue;
    }
    if (!CopyEntry(&archive, entry, target)) {
      PrintError(label + ": cannot write " + platform::PathToUtf8(target));
      fs::remove(target, error);
      failed = true;
      continue;
    }
    ++written;
  }
  PrintLine(std::to_string(written) + (written == 1 ? " entry" : " entries") + " written to " +
            directory);
  return failed ? kExitProblems : kExitOk;
}

int CheckCommand(const std::string& archive_path) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::vector<archive::ArchiveProblem> problems = archive::FindProblems(archive.inspection);
  for (const archive::ArchiveProblem& problem : problems) {
    PrintLine(problem.has_entry ? EntryLabel(problem.position, problem.name) + ": " + problem.message
                                : problem.message);
  }
  const std::size_t count = archive.inspection.entries.size();
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

}  // namespace

int StatusCommand(const std::string& archive_path) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  if (!archive::ReaderAccepts(archive.inspection)) {
    PrintError(archive_path + ": the updater cannot read this archive (see mesarc check)");
    return kExitUnreadable;
  }

  std::vector<archive::ExpectedPayload> payloads;
  if (!LoadBuildPayloads(&payloads)) return kExitUnreadable;
  const archive::PayloadCheck check = archive::CheckPayloads(
      archive.inspection, payloads,
      [&archive](std::uint64_t offset, std::uint32_t size, std::string* out) {
        return ReadAt(archive.stream, offset, size, out);
      });
  if (check.read_failed) {
    PrintError(archive_path + ": cannot read " + check.unreadable_name);
    return kExitUnreadable;
  }
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

struct Candidate {
  fs::path path;
  std::string shown;   // UTF-8, for messages
  std::string stored;  // the entry name it becomes; empty when it has none
  std::string problem;
  bool hidden = false;  // a dot-file: never packed
  bool folder = false;
};

// The folder's entries as candidates; false after reporting when it cannot be listed.
bool ListCandidates(const std::string& directory, std::vector<Candidate>* candidates) {
  const fs::path source = platform::PathFromUtf8(directory);
  std::error_code error;
  if (!fs::exists(source, error)) {
    PrintError(directory + ": does not exist");
    return false;
  }
  if (!fs::is_directory(source, error)) {
    PrintError(directory + ": not a folder");
    return false;
  }
  for (fs::directory_iterator it(source, error), end; !error && it != end; it.increment(error)) {
    Candidate candidate;
    candidate.path = it->path();
    candidate.shown = platform::PathToUtf8(it->path());
    candidate.hidden = platform::PathToUtf8(it->path().filename()).compare(0, 1, ".") == 0;
    std::error_code type_error;
    candidate.folder = it->is_directory(type_error);
    std::string cp932;
    if (!platform::FileNameToCp932(it->path().filename(), &cp932)) {
      candidate.problem = "the name cannot be written in CP932";
    } else {
      candidate.stored = archive::UpperCaseCp932Aware(cp932);
      candidate.problem = archive::StoredNameProblem(cp932);
      if (candidate.problem.empty() && !it->is_regular_file(type_error)) {
        candidate.problem = candidate.folder ? "a folder, not a file" : "not a regular file";
      }
    }
    candidates->push_back(candidate);
  }
  if (error) {
    PrintError(directory + ": cannot be listed");
    return false;
  }
  std::sort(candidates->begin(), candidates->end(),
            [](const Candidate& a, const Candidate& b) { return a.shown < b.shown; });
  return true;
}

// Says which files are skipped as hidden; false after naming the subfolders,
// which pack does not enter, in one message.
bool NoteHiddenAndFolders(const std::string& directory, const std::vector<Candidate>& candidates) {
  std::vector<std::string> folders;
  for (const Candidate& candidate : candidates) {
    if (candidate.hidden) {
      PrintError(candidate.shown + ": skipped, a hidden file");
    } else if (candidate.folder) {
      folders.push_back(platform::PathToUtf8(candidate.path.filename()));
    }
  }
  if (folders.empty()) return true;
  PrintError(directory + ": holds " + (folders.size() == 1 ? "a folder" : "folders") +
             ", which pack does not enter: " + Join(folders, ", "));
  return false;
}

// Every visible file, by stored name; false after reporting refusals.
bool ChooseAll(const std::vector<Candidate>& candidates, std::vector<const Candidate*>* chosen) {
  bool refused = false;
  for (const Candidate& candidate : candidates) {
    if (candidate.hidden || candidate.folder) continue;
    if (!candidate.problem.empty()) {
      PrintError(candidate.shown + ": " + candidate.problem);
      refused = true;
    } else {
      chosen->push_back(&candidate);
    }
  }
  std::sort(chosen->begin(), chosen->end(),
            [](const Candidate* a, const Candidate* b) { return a->stored < b->stored; });
  for (std::size_t i = 1; i < chosen->size(); ++i) {
    if ((*chosen)[i]->stored != (*chosen)[i - 1]->stored) continue;
    PrintError((*chosen)[i - 1]->shown + " and " + (*chosen)[i]->shown +
               ": the same entry name once upper-cased");
    refused = true;
  }
  return !refused;
}

// The files the order names, in its order; every visible file must be
// named. false after reporting refusals.
bool ChooseInOrder(const std::vector<Candidate>& candidates, const std::string& directory,
                   const std::string& order, std::vector<const Candidate*>* chosen) {
  std::ifstream list(platform::PathFromUtf8(order));
  if (!list) {
    const bool exists = fs::exists(platform::PathFromUtf8(order));
    PrintError(order + (exists ? ": cannot be opened" : ": does not exist"));
    return false;
  }
  bool refused = false;
  std::set<std::string> listed;
  std::set<const Candidate*> named;
  std::string line;
  for (int number = 1; std::getline(list, line); ++number) {
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    const std::string name = Trim(line);
    if (name.empty() || name[0] == '#') continue;
    const std::string where = order + ":" + std::to_string(number) + ": " + name + ": ";
    std::string cp932;
    if (!platform::Utf8ToCp932Strict(name, &cp932)) {
      PrintError(where + "cannot be written in CP932");
      refused = true;
      continue;
    }
    const std::string stored = archive::UpperCaseCp932Aware(cp932);
    if (!listed.insert(stored).second) {
      PrintError(where + "listed twice");
      refused = true;
      continue;
    }
    std::vector<const Candidate*> matches;
    for (const Candidate& candidate : candidates) {
      if (candidate.stored == stored) matches.push_back(&candidate);
    }
    named.insert(matches.begin(), matches.end());
    std::string problem;
    if (matches.size() != 1) {
      problem = matches.empty() ? "no such file in " + directory : "more than one file has this name";
    } else if (matches[0]->hidden) {
      problem = "a hidden file, never packed";
    } else {
      problem = matches[0]->problem;
    }
    if (problem.empty()) {
      chosen->push_back(matches[0]);
    } else {
      PrintError(where + problem);
      refused = true;
    }
  }
  std::vector<std::string> unlisted;
  for (const Candidate& candidate : candidates) {
    if (!candidate.hidden && !candidate.folder && named.count(&candidate) == 0) {
      unlisted.push_back(platform::PathToUtf8(candidate.path.filename()));
    }
  }
  if (!unlisted.empty()) {
    PrintError(order + ": does not list " + Join(unlisted, ", ") + " (every file in " + directory +
               " must be listed)");
    refused = true;
  }
  return !refused;
}

// Why `target` cannot take a new archive made from `inputs`; empty when it can.
std::string OutputRefusal(const std::string& shown, const std::vector<fs::path>& inputs) {
  const fs::path target = platform::PathFromUtf8(shown);
  std::error_code error;
  if (fs::is_directory(target, error)) return "is a folder";
  // The archive is written beside its name first: that name must not be an input either.
  const fs::path temporary = OutputFile::TemporaryPath(target);
  for (const fs::path& input : inputs) {
    if (SameFile(target, input)) return "is one of the inputs; choose another output";
    if (SameFile(temporary, input)) {
      return "would be written through " + platform::PathToUtf8(temporary) +
             ", one of the inputs; choose another output";
    }
  }
  return std::string();
}

// Why the archive's last entries are not this build's payloads; empty when they are.
std::string NotPatchedReason(ArchiveFile* archive, const std::vector<std::string>& names,
                             const std::vector<archive::ExpectedPayload>& payloads) {
  const std::string problem = archive::AppendedNamesProblem(archive->inspection, names);
  if (!problem.empty()) return problem;
  const std::size_t first = archive->inspection.entries.size() - names.size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const archive::InspectedEntry& entry = archive->inspection.entries[first + i];
    std::string data;
    if (entry.size != payloads[i].data.size() ||
        !ReadAt(archive->stream, entry.offset, entry.size, &data) || data != payloads[i].data) {
      return EntryLabel(entry.position, entry.name) + " is not this build's payload";
    }
  }
  return std::string();
}

bool CopyRange(ArchiveFile* archive, const archive::InspectedEntry& entry, OutputFile* out) {
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

int PackCommand(const std::string& directory, const std::string& archive_path,
                const std::string& order) {
  std::vector<Candidate> candidates;
  if (!ListCandidates(directory, &candidates)) return kExitProblems;
  bool chosen_ok = NoteHiddenAndFolders(directory, candidates);
  std::vector<const Candidate*> chosen;
  chosen_ok = (order.empty() ? ChooseAll(candidates, &chosen)
                             : ChooseInOrder(candidates, directory, order, &chosen)) &&
              chosen_ok;
  if (!chosen_ok) return kExitProblems;

  std::vector<fs::path> inputs;
  if (!order.empty()) inputs.push_back(platform::PathFromUtf8(order));
  for (const Candidate* candidate : chosen) inputs.push_back(candidate->path);
  const std::string refusal = OutputRefusal(archive_path, inputs);
  if (!refusal.empty()) {
    PrintError(archive_path + ": " + refusal);
    return kExitProblems;
  }

  std::error_code error;
  std::vector<std::string> contents(chosen.size());
  std::vector<archive::PackEntry> entries;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    std::ifstream in(chosen[i]->path, std::ios::binary);
    const std::uintmax_t size = fs::file_size(chosen[i]->path, error);
    if (error || !in || size > kLargestArchive ||
        !ReadAt(in, 0, static_cast<std::size_t>(size), &contents[i])) {
      PrintError(chosen[i]->shown + ": cannot be read");
      return kExitProblems;
    }
    entries.push_back({chosen[i]->stored, contents[i]});
  }
  std::string packed;
  std::string pack_error;
  if (!archive::PackArchive(entries, &packed, &pack_error)) {
    PrintError(platform::Cp932ToUtf8ForDisplay(pack_error));
    return kExitProblems;
  }

  OutputFile out(platform::PathFromUtf8(archive_path));
  if (!out.Open() || !out.Write(packed.data(), packed.size()) || !out.Commit()) {
    PrintError(archive_path + ": cannot be written");
    return kExitProblems;
  }
  PrintLine(std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries") +
            " packed into " + archive_path + " (" + std::to_string(packed.size()) + " bytes)");
  return kExitOk;
}

int UnpatchCommand(const std::string& archive_path, const std::string& output) {
  ArchiveFile archive;
  if (!OpenArchive(archive_path, &archive)) return kExitUnreadable;
  const std::string refusal = OutputRefusal(output, {archive.path});
  if (!refusal.empty()) {
    PrintError(output + ": " + refusal);
    return kExitProblems;
  }
  if (!archive::ReaderAccepts(archive.inspection)) {
    PrintError(archive_path + ": the updater cannot read this archive (see mesarc check)");
    return kExitUnreadable;
  }
  std::vector<archive::ExpectedPayload> payloads;
  if (!LoadBuildPayloads(&payloads)) return kExitUnreadable;
  std::vector<std::string> names;
  for (const archive::ExpectedPayload& payload : payloads) names.emplace_back(payload.name);
  const std::string reason = NotPatchedReason(&archive, names, payloads);
  if (!reason.empty()) {
    PrintError(archive_path + ": not patched by this build: " + reason);
    return kExitProblems;
  }

  const std::vector<archive::RestoredEntry> restored =
      archive::RestoredEntries(archive.inspection, names);
  std::string head;
  if (!archive::RestoredIndex(archive.inspection, restored, &head)) {
    PrintError(archive_path + ": the restored archive would reach 4 GiB");
    return kExitProblems;
  }
  OutputFile out(platform::PathFromUtf8(output));
  bool written = out.Open() && out.Write(head.data(), head.size());
  for (std::size_t i = 0; written && i < restored.size(); ++i) {
    written = CopyRange(&archive, archive.inspection.entries[restored[i].position], &out);
  }
  if (!written || !out.Commit()) {
    PrintError(output + ": cannot be written");
    return kExitProblems;
  }
  const std::size_t dropped = archive.inspection.entries.size() - restored.size();
  PrintLine(std::to_string(restored.size()) + (restored.size() == 1 ? " entry" : " entries") +
            " written to " + output + " (" + std::to_string(dropped) +
            " appended by the update dropped)");
  return kExitOk;
}

}  // namespace mesarc
