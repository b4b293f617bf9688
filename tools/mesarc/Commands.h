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
int ExtractCommand(const std::string& archive, const std::string& directory,
                   const std::vector<std::string>& names);
int CheckCommand(const std::string& archive);
int StatusCommand(const std::string& archive);
int PackCommand(const std::string& directory, const std::string& archive, const std::string& order);

}  // namespace mesarc
