// The mesarc commands. Each returns the process's exit code and reports its
// own errors; strings from the command line are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace mesarc {

// Exit codes shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;    // the archive has faults, or a request was refused
constexpr int kExitUnreadable = 2;  // no archive to work on, or a usage error

int ListCommand(const std::string& archive, bool json);
// Existing files are skipped (exit 1) unless force.
int ExtractCommand(const std::string& archive, const std::string& directory,
                   const std::vector<std::string>& names, bool force);
int CheckCommand(const std::string& archive);
int StatusCommand(const std::string& archive);
// Without order, follows the order file extract left in directory, if any.
// An existing archive is replaced only when force.
int PackCommand(const std::string& directory, const std::string& archive, const std::string& order,
                bool force);
// Writes output: the archive before the update that made the input. An
// existing output is replaced only when force.
int UnpatchCommand(const std::string& archive, const std::string& output, bool force);
// Exit 0 when the archives are the same, 1 when they differ.
int DiffCommand(const std::string& first, const std::string& second, bool json);

}  // namespace mesarc
