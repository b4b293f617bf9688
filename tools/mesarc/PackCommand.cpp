// mesarc pack: an archive from the files of a folder, in the order of an
// order file when there is one, else sorted by name.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchivePacker.h"
#include "archive/EntryOrder.h"
#include "archive/ArchiveExamination.h"
#include "os/CodePageText.h"
#include "tools/mesarc/ArchiveFile.h"
#include "tools/mesarc/Commands.h"
#include "tools/mesarc/Output.h"
#include "tools/mesarc/OutputFile.h"

namespace fs = std::filesystem;

namespace mesarc {
namespace {

const char kRenameAdvice[] =
    "; rename the file, or give it another entry name in an order file (--order, or .mesarc-order in "
    "the folder) with a line NAME<tab>FILE";

struct Candidate {
  fs::path path;
  std::string shown;         // UTF-8 path, for messages
  std::string key;           // the file name, ASCII letters upper-cased: how order lines find it
  std::string stored;        // the entry name it becomes alone; empty when it has none
  std::string name_problem;  // why its own name cannot be an entry name
  std::string file_problem;  // why it cannot be packed at all
  bool hidden = false;       // a dot-file: never packed
  bool folder = false;
  bool output = false;  // the archive being written, or its temporary file: never packed

  bool Packable() const { return !hidden && !folder && !output; }
};

// A file to pack and the name it is stored under.
struct Chosen {
  const Candidate* file = nullptr;
  std::string name;  // CP932, as PackEntry takes it
  bool exact = false;
};

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool HasLowerCaseByte(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The first character of a UTF-8 name that CP932 cannot hold, for the message.
std::string FirstCharacterNotInCp932(const std::string& utf8) {
  std::string cp932;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    while (i + length < utf8.size() && (static_cast<unsigned char>(utf8[i + length]) & 0xC0) == 0x80) {
      ++length;
    }
    const std::string character = utf8.substr(i, length);
    if (!os::Utf8ToCp932Strict(character, &cp932)) return character;
    i += length;
  }
  return std::string();
}

Candidate DescribeCandidate(const fs::directory_entry& item, const fs::path& target) {
  Candidate candidate;
  candidate.path = item.path();
  candidate.shown = os::PathToUtf8(item.path());
  const std::string file_name = os::PathToUtf8(item.path().filename());
  candidate.key = AsciiUpper(file_name);
  candidate.hidden = file_name.compare(0, 1, ".") == 0;
  candidate.output = IsOutputOrTemporary(item.path(), target);
  std::error_code type_error;
  candidate.folder = item.is_directory(type_error);
  if (!item.is_regular_file(type_error)) {
    candidate.file_problem = candidate.folder ? "a folder, not a file" : "not a regular file";
  }
  std::string cp932;
  if (!os::FileNameToCp932(item.path().filename(), &cp932)) {
    candidate.name_problem = "the name cannot be written in CP932 (the character " +
                             FirstCharacterNotInCp932(file_name) + ")" + kRenameAdvice;
  } else {
    candidate.stored = archive::UpperCaseCp932Aware(cp932);
    candidate.name_problem = archive::StoredNameProblem(cp932);
    if (!candidate.name_problem.empty()) candidate.name_problem += kRenameAdvice;
  }
  return candidate;
}

// The folder's entries as candidates; false after reporting when it cannot be listed.
bool ListCandidates(const std::string& directory, const fs::path& target,
                    std::vector<Candidate>* candidates) {
  const fs::path source = os::PathFromUtf8(directory);
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
    candidates->push_back(DescribeCandidate(*it, target));
  }
  if (error) {
    PrintError(directory + ": cannot be listed");
    return false;
  }
  std::sort(candidates->begin(), candidates->end(),
            [](const Candidate& a, const Candidate& b) { return a.shown < b.shown; });
  return true;
}

// Says which files are skipped; false after naming the subfolders, which
// pack does not enter, in one message. The order file in use goes unsaid,
// and so does the archive when it will not be replaced.
bool NoteSkippedAndFolders(const std::string& directory, const std::vector<Candidate>& candidates,
                           const fs::path& order, bool force) {
  std::vector<std::string> folders;
  for (const Candidate& candidate : candidates) {
    if (candidate.output) {
      if (force) PrintError(candidate.shown + ": skipped, the archive being written");
    } else if (candidate.hidden) {
      if (!SameFile(candidate.path, order)) PrintError(candidate.shown + ": skipped, a hidden file");
    } else if (candidate.folder) {
      folders.push_back(os::PathToUtf8(candidate.path.filename()));
    }
  }
  if (folders.empty()) return true;
  PrintError(directory + ": holds " + (folders.size() == 1 ? "a folder" : "folders") +
             ", which pack does not enter: " + Join(folders, ", "));
  return false;
}

// Every packable file, by stored name; false after reporting refusals.
bool ChooseAll(const std::vector<Candidate>& candidates, std::vector<Chosen>* chosen) {
  bool refused = false;
  for (const Candidate& candidate : candidates) {
    if (!candidate.Packable()) continue;
    const std::string& problem =
        candidate.file_problem.empty() ? candidate.name_problem : candidate.file_problem;
    if (!problem.empty()) {
      PrintError(candidate.shown + ": " + problem);
      refused = true;
    } else {
      chosen->push_back({&candidate, candidate.stored, false});
    }
  }
  std::sort(chosen->begin(), chosen->end(),
            [](const Chosen& a, const Chosen& b) { return a.name < b.name; });
  for (std::size_t i = 1; i < chosen->size(); ++i) {
    if ((*chosen)[i].name != (*chosen)[i - 1].name) continue;
    PrintError((*chosen)[i - 1].file->shown + " and " + (*chosen)[i].file->shown +
               ": the same entry name once upper-cased");
    refused = true;
  }
  return !refused;
}

// Reads an order file line by line against the candidates.
class OrderReader {
 public:
  OrderReader(const std::vector<Candidate>& candidates, const std::string& directory,
              const std::string& order)
      : candidates_(candidates), directory_(directory), order_(order) {}

  // The files the order names, in its order; every packable file must be
  // named. false after reporting refusals.
  bool Choose(std::vector<Chosen>* chosen) {
    std::ifstream list(os::PathFromUtf8(order_));
    if (!list) {
      const bool exists = fs::exists(os::PathFromUtf8(order_));
      PrintError(order_ + (exists ? ": cannot be opened" : ": does not exist"));
      return false;
    }
    std::string line;
    for (int number = 1; std::getline(list, line); ++number) {
      if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
      TakeLine(number, line, chosen);
    }
    ReportUnlisted();
    return !refused_;
  }

 private:
  void TakeLine(int number, const std::string& text, std::vector<Chosen>* chosen) {
    archive::OrderLine line;
    std::string error;
    const archive::OrderLineKind kind = archive::ParseOrderLine(text, &line, &error);
    if (kind == archive::OrderLineKind::kNone) return;
    const std::string where = order_ + ":" + std::to_string(number) + ": " +
                              (kind == archive::OrderLineKind::kBad ? text : line.file) + ": ";
    // A refused line still names its file: it is not reported unlisted as well.
    const std::vector<const Candidate*> matches = Matching(line.file.empty() ? FileField(text) : line.file);
    named_.insert(matches.begin(), matches.end());
    if (kind == archive::OrderLineKind::kBad) return Refuse(where + error);

    const std::string stored = archive::UpperCaseCp932Aware(line.name);
    if (!line.exact && !listed_.insert(stored).second) return Refuse(where + "listed twice");
    const std::string problem = Problem(matches, line);
    if (!problem.empty()) return Refuse(where + problem);
    if (!used_.insert(matches[0]).second) return Refuse(where + "the file is listed twice");
    if (line.exact && HasLowerCaseByte(archive::NameInField(line.name))) {
      PrintError(where + "entry name kept as written; the updater's lookup upper-cases the "
                         "letters it is asked for, so it cannot find this entry");
    }
    chosen->push_back({matches[0], line.name, line.exact});
  }

  std::vector<const Candidate*> Matching(const std::string& file) const {
    std::vector<const Candidate*> matches;
    for (const Candidate& candidate : candidates_) {
      if (candidate.key == AsciiUpper(file)) matches.push_back(&candidate);
    }
    return matches;
  }

  // The file a line names, read plainly: what follows the tab, or the whole line.
  static std::string FileField(const std::string& text) {
    std::string file = text.substr(text.find('\t') == std::string::npos ? 0 : text.find('\t') + 1);
    const std::size_t begin = file.find_first_not_of(" \t\r");
    const std::size_t end = file.find_last_not_of(" \t\r");
    return begin == std::string::npos ? std::string() : file.substr(begin, end - begin + 1);
  }

  std::string Problem(const std::vector<const Candidate*>& matches, const archive::OrderLine& line) const {
    if (matches.empty()) return "no such file in " + directory_;
    if (matches.size() > 1) return "more than one file has this name";
    const Candidate& file = *matches[0];
    if (file.output) return "the archive being written, never packed";
    if (file.hidden) return "a hidden file, never packed";
    if (!file.file_problem.empty()) return file.file_problem;
    // An entry name given in the line replaces the file's own.
    return line.exact ? archive::NameFieldProblem(line.name) : file.name_problem;
  }

  void ReportUnlisted() {
    std::vector<std::string> unlisted;
    for (const Candidate& candidate : candidates_) {
      if (candidate.Packable() && named_.count(&candidate) == 0) {
        unlisted.push_back(os::PathToUtf8(candidate.path.filename()));
      }
    }
    if (unlisted.empty()) return;
    Refuse(order_ + ": does not list " + Join(unlisted, ", ") + " (every file in " + directory_ +
           " must be listed; add a line with the file's name)");
  }

  void Refuse(const std::string& message) {
    PrintError(message);
    refused_ = true;
  }

  const std::vector<Candidate>& candidates_;
  const std::string& directory_;
  const std::string& order_;
  bool refused_ = false;
  std::set<std::string> listed_;
  std::set<const Candidate*> named_;
  std::set<const Candidate*> used_;
};

// The order to follow: the one given, else the one extract left in the folder.
std::string OrderToFollow(const std::string& directory, const std::string& given) {
  if (!given.empty()) return given;
  const fs::path left = os::PathFromUtf8(directory) / archive::kOrderFileName;
  std::error_code error;
  return fs::is_regular_file(left, error) ? os::PathToUtf8(left) : std::string();
}

// The chosen files' bytes; false after reporting one that cannot be read.
bool ReadChosen(const std::vector<Chosen>& chosen, std::vector<std::string>* contents) {
  contents->resize(chosen.size());
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const Candidate& file = *chosen[i].file;
    std::error_code error;
    std::ifstream in(file.path, std::ios::binary);
    const std::uintmax_t size = fs::file_size(file.path, error);
    if (error || !in || size > kLargestArchive ||
        !ReadAt(in, 0, static_cast<std::size_t>(size), &(*contents)[i])) {
      PrintError(file.shown + ": cannot be read");
      return false;
    }
  }
  return true;
}

}  // namespace

int PackCommand(const std::string& directory, const std::string& archive_path,
                const std::string& order_given, bool force) {
  const fs::path target = os::PathFromUtf8(archive_path);
  std::vector<Candidate> candidates;
  if (!ListCandidates(directory, target, &candidates)) return kExitProblems;
  const std::string order = OrderToFollow(directory, order_given);
  bool chosen_ok = NoteSkippedAndFolders(directory, candidates, os::PathFromUtf8(order), force);
  std::vector<Chosen> chosen;
  chosen_ok = (order.empty() ? ChooseAll(candidates, &chosen)
                             : OrderReader(candidates, directory, order).Choose(&chosen)) &&
              chosen_ok;
  if (!chosen_ok) return kExitProblems;

  std::vector<fs::path> inputs;
  if (!order.empty()) inputs.push_back(os::PathFromUtf8(order));
  for (const Chosen& file : chosen) inputs.push_back(file.file->path);
  const std::string refusal = OutputRefusal(archive_path, inputs, force);
  if (!refusal.empty()) {
    PrintError(archive_path + ": " + refusal);
    return kExitProblems;
  }

  std::vector<std::string> contents;
  if (!ReadChosen(chosen, &contents)) return kExitProblems;
  std::vector<archive::PackEntry> entries;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    entries.push_back({chosen[i].name, contents[i], chosen[i].exact});
  }
  std::string packed;
  std::string pack_error;
  if (!archive::PackArchive(entries, &packed, &pack_error)) {
    PrintError(NameUtf8(pack_error));
    return kExitProblems;
  }

  OutputFile out(target);
  if (!out.Open() || !out.Write(packed.data(), packed.size()) || !out.Commit()) {
    PrintError(NotWritten(archive_path, out));
    return kExitProblems;
  }
  PrintLine(std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries") +
            " packed into " + archive_path + " (" + std::to_string(packed.size()) + " bytes)" +
            (order_given.empty() && !order.empty() ? ", in the order of " + order : ""));
  return kExitOk;
}

}  // namespace mesarc
