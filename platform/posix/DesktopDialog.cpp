#include "platform/posix/DesktopDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform::posix {
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

bool NoTerminal() { return !PlayerCanAnswerOnInput() && !isatty(STDERR_FILENO); }

bool DesktopSession() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

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

std::string WhyNothingWasAsked() {
  if (!DesktopSession()) {
    return "no one could be asked: standard input is not a terminal and there is no desktop "
           "session ($DISPLAY and $WAYLAND_DISPLAY are unset), so the answer is No; run "
           "mesupdate in a terminal, or with --yes";
  }
  return "no one could be asked: standard input is not a terminal, and neither zenity nor "
         "kdialog is installed to ask on the desktop, so the answer is No; install zenity, or "
         "run mesupdate in a terminal";
}

std::string g_note_under_next_dialog;

// The message with the noted English line under its text, for the dialog only.
ShownMessage WithNote(const ShownMessage& message) {
  ShownMessage shown = message;
  if (!g_note_under_next_dialog.empty()) shown.text += "\n\n" + g_note_under_next_dialog;
  return shown;
}

// The dialog's answer, or nothing when no dialog ran.
bool ShowDesktopDialog(const ShownMessage& message, MessageAnswer* answer) {
  const DesktopDialog& dialog = InstalledDesktopDialog();
  if (dialog.path.empty()) return false;
  const int status = RunProgram(dialog.path, DialogArguments(dialog.program, WithNote(message)));
  if (status < 0) return false;
  if (message.style != MessageStyle::kQuestion) *answer = MessageAnswer::kOk;
  else *answer = status == 0 ? MessageAnswer::kYes : MessageAnswer::kNo;
  return true;
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
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    const int flags = fd == STDIN_FILENO ? O_RDONLY : O_WRONLY;
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", flags, 0);
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
      posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return -1;
  int status;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FindOnPath(const char* name) {
  const char* variable = std::getenv("PATH");
  std::string directories = variable ? variable : "/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= directories.size()) {
    std::size_t end = directories.find(':', begin);
    if (end == std::string::npos) end = directories.size();
    // An empty entry would mean the current folder: never run a program from there.
    if (end > begin) {
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
  if (question) NoteQuestionAsked();
  RecordMessage(message);
  MessageAnswer answer = MessageAnswer::kOk;
  const bool on_desktop =
      !PlayerCanAnswerOnInput() && !AnsweringQuestionsYes() && DesktopSession();
  if (!on_desktop || !ShowDesktopDialog(message, &answer)) {
    answer = ShowTerminalDialog(message, stdin, stderr);
    if (question && !PlayerCanAnswerOnInput() && !AnsweringQuestionsYes()) {
      TellPlayer(WhyNothingWasAsked());
    }
  }
  if (question) RecordAnswer(answer);
  g_note_under_next_dialog.clear();
  return answer;
}

void NoteUnderNextDialog(std::string line) { g_note_under_next_dialog = std::move(line); }

bool CanAnswerOnInput() { return PlayerCanAnswerOnInput(); }

bool AsksOnDesktop(std::string* path, DialogProgram* program) {
  if (PlayerCanAnswerOnInput() || AnsweringQuestionsYes() || !DesktopSession()) return false;
  const DesktopDialog& dialog = InstalledDesktopDialog();
  if (dialog.path.empty()) return false;
  *path = dialog.path;
  *program = dialog.program;
  return true;
}

void TellPlayer(const std::string& line) {
  std::fprintf(stderr, "mesupdate: %s\n", line.c_str());
  std::fflush(stderr);
  if (!NoTerminal()) return;
  const std::string logger = FindOnPath("logger");
  if (!logger.empty()) RunProgram(logger, {"-t", "mesupdate", "--", line});
}

}  // namespace platform::posix
