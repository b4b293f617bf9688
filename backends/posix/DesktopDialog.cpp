#include "backends/posix/DesktopDialog.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backends/posix/ErrorCodes.h"

extern char** environ;

namespace backends::posix {
using namespace os;
namespace {

struct DesktopDialog {
  std::string path;  // empty: none installed
  DialogProgram program;
};

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// A terminal, or a pipe or file that can carry an answer, is something a
// player (or a script) answers through; /dev/null, a socket or a closed
// descriptor, as a launcher leaves them, are not.
bool PlayerCanAnswerOnInput() {
  if (isatty(STDIN_FILENO)) return true;
  struct stat info;
  return fstat(STDIN_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode));
}


// kdialog first on a KDE desktop, zenity first elsewhere.
DesktopDialog FindDesktopDialog() {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  const bool kde = desktop && std::strstr(desktop, "KDE");
  struct Candidate {
    const char* name;
    DialogProgram program;
  };
  const Candidate order[] = {{"zenity", DialogProgram::kZenity},
                             {"kdialog", DialogProgram::kKdialog}};
  for (int i = 0; i < 2; ++i) {
    const Candidate& candidate = order[kde ? 1 - i : i];
    std::string path = FindOnPath(candidate.name);
    if (!path.empty()) return {path, candidate.program};
  }
  return {"", DialogProgram::kZenity};
}

const DesktopDialog& InstalledDesktopDialog() {
  static const DesktopDialog dialog = FindDesktopDialog();
  return dialog;
}

std::string g_note_under_next_dialog;

// The message with the noted English line under its text, for the dialog only.
ShownMessage WithNote(const ShownMessage& message) {
  ShownMessage shown = message;
  if (!g_note_under_next_dialog.empty()) shown.text += "\n\n" + g_note_under_next_dialog;
  return shown;
}

// The first line that is not blank of what a program wrote on standard error, shortened.
std::string FirstLine(const std::string& errors) {
  const std::size_t begin = std::min(errors.find_first_not_of(" \t\r\n"), errors.size());
  std::string line = errors.substr(begin, errors.find('\n', begin) - begin);
  if (line.size() > 200) line = line.substr(0, 200) + "...";
  return line;
}

// The dialog's answer; false, with *failure saying why, when no dialog was
// shown (*failure stays empty when no dialog program is installed).
bool ShowDesktopDialog(const ShownMessage& message, MessageAnswer* answer, std::string* failure) {
  const DesktopDialog& dialog = InstalledDesktopDialog();
  if (dialog.path.empty()) return false;
  const ProgramRun run = RunDialogProgram(dialog.path, DialogArguments(dialog.program, WithNote(message)));
  const bool question = message.style == MessageStyle::kQuestion;
  const DialogExit exit = ReadDialogExit(run);
  if (exit == DialogExit::kFailed) {
    *failure = DialogFailure(dialog.program, question ? "question" : "message", run);
    return false;
  }
  if (!question) *answer = MessageAnswer::kOk;
  else *answer = exit == DialogExit::kYes ? MessageAnswer::kYes : MessageAnswer::kNo;
  return true;
}

// Whether the locale `name` ("" for the one the environment sets) has UTF-8 characters.
bool IsUtf8Locale(const char* name) {
  const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return false;
  const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
  freelocale(locale);
  return utf8;
}

// The language of the locale in force ("ja_JP" of "ja_JP.eucJP"), or "".
std::string LocaleLanguage() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    const std::string name = value;
    return name.substr(0, name.find_first_of(".@"));
  }
  return "";
}

// Starts the program with standard input on /dev/null, output and errors on
// the descriptors given (or /dev/null for -1); its pid, or -1.
pid_t Start(const std::string& path, const std::vector<std::string>& arguments,
            char* const* environment, int output_fd, int error_fd) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  for (const auto& [fd, given] : {std::pair{STDOUT_FILENO, output_fd}, {STDERR_FILENO, error_fd}}) {
    if (given >= 0) {
      posix_spawn_file_actions_adddup2(&actions, given, fd);
    } else {
      posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
    }
  }
  // The child starts with no signal held and the stop signals at their
  // defaults, whatever this run holds back while it works on the files.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, stops;
  sigemptyset(&none);
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &stops);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  // A launcher may leave SIGCHLD ignored, and then no exit status is kept to wait for.
  signal(SIGCHLD, SIG_DFL);
  pid_t child;
  const int spawned =
      posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environment);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? child : -1;
}

// The exit status of a started program, -1 when it did not run to an exit.
int Wait(pid_t child) {
  if (child < 0) return -1;
  int status;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads the pipe to its end, keeping at most `limit` bytes.
std::string ReadOutput(int fd, std::size_t limit) {
  std::string output;
  char buffer[256];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    const std::size_t room = limit - std::min(limit, output.size());
    output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
  }
  return output;
}

// The dialog environment as execve wants it; `environment` owns the strings.
std::vector<char*> Pointers(const std::vector<std::string>& environment) {
  std::vector<char*> pointers;
  for (const std::string& variable : environment) {
    pointers.push_back(const_cast<char*>(variable.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

std::size_t CountOf(char** variables) {
  std::size_t count = 0;
  while (variables[count]) ++count;
  return count;
}

// What the program wrote on standard error, at most a few KiB of it.
std::string ReadErrors(int fd) {
  char buffer[4096];
  const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

}  // namespace

std::vector<std::string> DialogArguments(DialogProgram program, const ShownMessage& message) {
  // Values joined to their options: a text that starts with '-' stays a value.
  if (program == DialogProgram::kKdialog) {
    // Its --sorry box carries the warning icon.
    const char* kind = ForStyle(message.style, "--yesno=", "--sorry=", "--msgbox=");
    return {"--title=" + message.caption, kind + message.text};
  }
  // No markup: a path may hold '&' or '<'.
  return {ForStyle(message.style, "--question", "--warning", "--info"),
          "--title=" + message.caption, "--text=" + message.text, "--no-markup"};
}

int RunProgram(const std::string& path, const std::vector<std::string>& arguments) {
  return Wait(Start(path, arguments, environ, -1, -1));
}

ProgramRun RunDialogProgram(const std::string& path, const std::vector<std::string>& arguments,
                            std::size_t output_limit) {
  const std::vector<std::string> environment = DialogEnvironment();
  const int errors = memfd_create("dialog-errors", MFD_CLOEXEC);
  int output[2] = {-1, -1};
  if (output_limit > 0 && pipe2(output, O_CLOEXEC) != 0) return ProgramRun{-1, "", ""};
  const pid_t child = Start(path, arguments, Pointers(environment).data(), output[1], errors);
  ProgramRun run;
  if (output[1] >= 0) {
    // Read before waiting: a program that prints more than a pipe holds
    // would otherwise wait for us while we wait for it.
    close(output[1]);
    if (child >= 0) run.output = ReadOutput(output[0], output_limit);
    close(output[0]);
  }
  run.status = Wait(child);
  if (errors >= 0) {
    run.errors = ReadErrors(errors);
    close(errors);
  }
  return run;
}

std::vector<std::string> DialogEnvironment() {
  std::vector<std::string> environment(environ, environ + CountOf(environ));
  if (IsUtf8Locale("")) return environment;
  // The player's language in UTF-8 where it is installed, else one that always is.
  const std::string language = LocaleLanguage();
  std::vector<std::string> candidates = {"C.UTF-8", "en_US.UTF-8"};
  if (!language.empty()) candidates.insert(candidates.begin(), language + ".UTF-8");
  for (const std::string& candidate : candidates) {
    if (!IsUtf8Locale(candidate.c_str())) continue;
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [](const std::string& variable) {
                                       return variable.compare(0, 7, "LC_ALL=") == 0;
                                     }),
                      environment.end());
    environment.push_back("LC_ALL=" + candidate);
    break;
  }
  return environment;
}

std::string DialogFailure(DialogProgram program, const char* what, const ProgramRun& run) {
  const char* name = program == DialogProgram::kZenity ? "zenity" : "kdialog";
  return std::string(name) + " could not show the " + what + " (" +
         (run.status < 0 ? "it did not run to an exit"
                         : "exit status " + std::to_string(run.status)) +
         (run.errors.empty() ? "" : ": " + FirstLine(run.errors)) + ")";
}

DialogExit ReadDialogExit(const ProgramRun& run) {
  if (run.status == 0) return DialogExit::kYes;
  // 1 is No (or a closed window), but also what GTK and Qt programs give when
  // they cannot reach the display, which they say on standard error.
  if (run.status == 1 && run.errors.find("display") == std::string::npos) return DialogExit::kNo;
  return DialogExit::kFailed;
}

std::string FindOnPath(const char* name) {
  const char* variable = std::getenv("PATH");
  std::string directories = variable ? variable : "/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= directories.size()) {
    std::size_t end = directories.find(':', begin);
    if (end == std::string::npos) end = directories.size();
    // An empty or relative entry means a folder below the current one: never
    // run a program from there.
    if (end > begin && directories[begin] == '/') {
      const std::string path = directories.substr(begin, end - begin) + "/" + name;
      struct stat info;
      const bool found = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
      if (found && access(path.c_str(), X_OK) == 0) return path;
    }
    begin = end + 1;
  }
  return "";
}

MessageAnswer ShowPlayerMessage(const char* text, const char* caption,
                                CaptionEncoding caption_encoding, MessageStyle style) {
  const ShownMessage message = ShownMessageOf(text, caption, caption_encoding, style);
  const bool question = style == MessageStyle::kQuestion;
  RecordMessage(message);
  MessageAnswer answer = MessageAnswer::kOk;
  const bool answerable = PlayerCanAnswerOnInput();
  const bool on_desktop = !answerable && !AnsweringQuestionsYes() && DesktopSession();
  std::string failure;
  if (!on_desktop || !ShowDesktopDialog(message, &answer, &failure)) {
    // Input no player types into is never read: it could block for ever or
    // carry anything.
    answer = ShowTerminalDialog(message, answerable ? stdin : nullptr, stderr);
    if (!failure.empty()) NoteFailureDetail(failure);
  }
  if (question) RecordAnswer(answer);
  g_note_under_next_dialog.clear();
  return answer;
}

void NoteUnderNextDialog(std::string line) { g_note_under_next_dialog = std::move(line); }

bool CanAnswerOnInput() { return PlayerCanAnswerOnInput(); }

bool NoTerminal() { return !PlayerCanAnswerOnInput() && !isatty(STDERR_FILENO); }

bool DesktopSession() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

bool DesktopDialogInstalled() { return !InstalledDesktopDialog().path.empty(); }

bool AsksOnDesktop(std::string* path, DialogProgram* program) {
  if (PlayerCanAnswerOnInput() || AnsweringQuestionsYes() || !DesktopSession()) return false;
  const DesktopDialog& dialog = InstalledDesktopDialog();
  if (dialog.path.empty()) return false;
  *path = dialog.path;
  *program = dialog.program;
  return true;
}

}  // namespace backends::posix
