// mesarc: examines, extracts, checks and builds message archives (mes.arc).
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "SourceCommit.h"
#include "os/CodePageText.h"
#include "tools/mesarc/Commands.h"
#include "tools/mesarc/Output.h"

namespace {

std::string CommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + command->get_name();
  }
  return names;
}

// The first argument when it is meant as a command but names none; empty
// otherwise. CLI11 would call it an unexpected argument or ask for a command.
std::string UnknownCommand(const CLI::App& app, const std::vector<std::string>& arguments) {
  if (arguments.size() < 2 || arguments[1].empty() || arguments[1][0] == '-') return std::string();
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->get_name() == arguments[1]) return std::string();
  }
  return arguments[1];
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Examines, extracts, checks and builds mes.arc message archives."};
  app.name("mesarc");
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("mesarc ") + MES_VERSION +
                                        " (commit " + MES_SOURCE_COMMIT + ")");
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "mesarc: " + std::string(error.what()) + " (see mesarc --help)\n";
  });

  std::string archive;
  std::string second;
  std::string directory = ".";
  std::string order;
  std::string output;
  std::vector<std::string> names;
  bool json = false;
  bool force = false;

  CLI::App* list = app.add_subcommand("list", "One row per index entry: position, name, size, offset, flags");
  list->add_option("ARCHIVE", archive, "The archive")->required();
  list->add_flag("--json", json, "A JSON array of objects, for scripts");

  CLI::App* extract = app.add_subcommand(
      "extract", "Writes entries as files, duplicates as NAME.1, NAME.2, ..., and their order for pack");
  extract->add_option("ARCHIVE", archive, "The archive")->required();
  extract->add_option("NAME", names, "Only the entries with these names (case ignored)");
  extract->add_option("-o,--output", directory, "The folder to write to (made when missing)")->capture_default_str();
  extract->add_flag("--force", force, "Overwrite files that exist (otherwise they are skipped, exit 1)");

  CLI::App* check = app.add_subcommand(
      "check", "Reports what the updater would refuse and breaks of the layout; exit 0 clean, 1 problems, 2 unreadable");
  check->add_option("ARCHIVE", archive, "The archive")->required();

  CLI::App* status = app.add_subcommand(
      "status", "Whether the payloads this build carries are the archive's current entries; exit 0 only when patched");
  status->add_option("ARCHIVE", archive, "The archive")->required();

  CLI::App* pack = app.add_subcommand("pack", "Builds an archive from the files in a folder");
  pack->add_option("DIR", directory, "The folder of entry files")->required();
  pack->add_option("-o,--output", archive, "The archive to write")->required();
  pack->add_option("--order", order,
                   "A file listing every file to pack, one a line, in order (default: DIR/.mesarc-order, "
                   "which extract writes, when there)");
  pack->add_flag("--force", force, "Replace ARCHIVE when it exists");

  CLI::App* unpatch = app.add_subcommand(
      "unpatch", "Writes the archive as it was before the last update by this build");
  unpatch->add_option("ARCHIVE", archive, "The updated archive (never changed)")->required();
  unpatch->add_option("-o,--output", output, "The archive to write")->required();
  unpatch->add_flag("--force", force, "Replace the output when it exists");

  CLI::App* diff = app.add_subcommand(
      "diff", "Entries added, removed, renamed with __, moved or changed from A to B; exit 0 same, 1 differ, 2 unreadable");
  diff->add_option("A", archive, "The first archive")->required();
  diff->add_option("B", second, "The second archive")->required();
  diff->add_flag("--json", json, "A JSON object, for scripts");

  // Windows passes narrow arguments in the ANSI code page; these are UTF-8 everywhere.
  const std::vector<std::string> arguments = os::Utf8Arguments(argc, argv);
  if (const std::string unknown = UnknownCommand(app, arguments); !unknown.empty()) {
    mesarc::PrintError("unknown command '" + unknown + "'; the commands are " + CommandNames(app));
    return mesarc::kExitUnreadable;
  }
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : mesarc::kExitUnreadable;
  }

  try {
    if (list->parsed()) return mesarc::ListCommand(archive, json);
    if (extract->parsed()) return mesarc::ExtractCommand(archive, directory, names, force);
    if (check->parsed()) return mesarc::CheckCommand(archive);
    if (status->parsed()) return mesarc::StatusCommand(archive);
    if (unpatch->parsed()) return mesarc::UnpatchCommand(archive, output, force);
    if (diff->parsed()) return mesarc::DiffCommand(archive, second, json);
    return mesarc::PackCommand(directory, archive, order, force);
  } catch (const std::bad_alloc&) {
    mesarc::PrintError("out of memory");
  } catch (const std::exception& error) {
    mesarc::PrintError(error.what());
  }
  return mesarc::kExitUnreadable;
}
