#include "platform/posix/ListDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace platform::posix {
namespace {

// The chosen row's number is all the program prints; more is not read.
constexpr std::size_t kLongestAnswer = 64;

// Runs the program with its standard output on a pipe, input and errors on
// /dev/null; what it printed (at most kLongestAnswer bytes) and its exit
// status, -1 when it did not run to an exit.
int RunForOutput(const std::string& path, const std::vector<std::string>& arguments,
                 std::string* output) {
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  signal(SIGCHLD, SIG_DFL);
  pid_t child;
  const int spawned =
      posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    return -1;
  }
  char buffer[256];
  ssize_t got;
  while ((got = read(pipe_fds[0], buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    const std::size_t room = kLongestAnswer - std::min(kLongestAnswer, output->size());
    output->append(buffer, std::min(room, static_cast<std::size_t>(got)));
  }
  close(pipe_fds[0]);
  int status;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "3\n" → 2; anything else → -1.
int RowOfAnswer(const std::string& answer, std::size_t rows) {
  std::size_t end = answer.find_first_of("\n|");
  const std::string digits = answer.substr(0, end);
  if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  const int number = std::atoi(digits.c_str());
  return number >= 1 && static_cast<std::size_t>(number) <= rows ? number - 1 : -1;
}

}  // namespace

std::vector<std::string> ListDialogArguments(DialogProgram program, const ListChoice& choice) {
  std::vector<std::string> arguments{"--title=" + choice.title};
  if (program == DialogProgram::kKdialog) {
    // kdialog --radiolist TEXT [TAG ITEM on|off]...: one line of text per row.
    arguments.push_back("--radiolist");
    arguments.push_back(choice.text);
    for (std::size_t r = 0; r < choice.rows.size(); ++r) {
      std::string item;
      for (std::size_t c = 0; c < choice.rows[r].size(); ++c) {
        item += (c > 0 ? "  " : "") + choice.rows[r][c];
      }
      arguments.push_back(std::to_string(r + 1));
      arguments.push_back(item);
      arguments.push_back(r == 0 ? "on" : "off");
    }
    return arguments;
  }
  arguments.insert(arguments.end(), {"--list", "--text=" + choice.text, "--width=900",
                                     "--height=360", "--print-column=1"});
  for (const std::string& column : choice.columns) arguments.push_back("--column=" + column);
  for (std::size_t r = 0; r < choice.rows.size(); ++r) {
    arguments.push_back(std::to_string(r + 1));
    for (const std::string& cell : choice.rows[r]) arguments.push_back(cell);
  }
  return arguments;
}

int ChooseFromList(const std::string& path, DialogProgram program, const ListChoice& choice) {
  std::string output;
  const int status = RunForOutput(path, ListDialogArguments(program, choice), &output);
  if (status != 0) return -1;
  return RowOfAnswer(output, choice.rows.size());
}

}  // namespace platform::posix
