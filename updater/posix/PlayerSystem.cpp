#include "updater/posix/PlayerSystem.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "os/ControlBytes.h"
#include "backends/posix/DesktopDialog.h"
#include "backends/posix/StopSignals.h"
#include "backends/posix/TerminalDialog.h"
#include "updater/UpdaterApp.h"
#include "updater/posix/EntryTexts.h"

namespace posix = backends::posix;
using os::MessageAnswer;
using os::MessageStyle;

namespace {

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "SIGHUP";
  }
}

// Before the swap the run ends as an update that did not complete, the old
// archive untouched; during it the swap went on and the exit says the rest.
void OnStop(const posix::StopEvent& event) {
  const char* signal = SignalName(event.signal);
  if (event.during_swap) {
    std::fputs(entry_text::StoppedDuringSwap(program_invocation_short_name, signal, event.moved)
                   .c_str(),
               stderr);
    return;
  }
  std::fputs(entry_text::StoppedBeforeSwap(program_invocation_short_name, signal,
                                           event.new_file_removed)
                 .c_str(),
             stderr);
  std::fflush(stderr);
  _exit(UpdaterApp::kExitNotUpdated);
}

// A question no one could answer on the terminal went to no dialog either.
void TellWhyNobodyWasAsked(const std::string& dialog_failure) {
  const bool asked_on_desktop =
      posix::DesktopSession() && posix::DesktopDialogInstalled() && dialog_failure.empty();
  if (!asked_on_desktop) {
    TellPlayer(entry_text::NobodyAsked(dialog_failure, posix::DesktopSession()));
  }
}

}  // namespace

PlayerSystem::PlayerSystem(bool answer_yes) {
  if (answer_yes) posix::AnswerQuestionsYes();
}

MessageAnswer PlayerSystem::ShowMessage(const char* text, const char* caption,
                                        os::CaptionEncoding caption_encoding,
                                        MessageStyle style) {
  const bool question = style == MessageStyle::kQuestion;
  if (question) question_asked_ = true;
  // With the message about a file failure, its cause in Unix words: under
  // its text in a desktop dialog, after it on standard error. A failure
  // nobody reported (a probe) is forgotten once the question comes.
  std::string cause = target_.TakeFailureCause();
  if (question) cause.clear();
  if (!cause.empty()) posix::NoteUnderNextDialog(cause);
  const bool nobody_to_ask =
      question && !posix::CanAnswerOnInput() && !posix::AnsweringQuestionsYes();
  const MessageAnswer answer = target_.ShowMessage(text, caption, caption_encoding, style);
  // Set only when a dialog program ran and showed nothing.
  const std::string dialog_failure = target_.TakeFailureCause();
  if (nobody_to_ask) TellWhyNobodyWasAsked(dialog_failure);
  if (!cause.empty()) TellPlayer(cause);
  // Yes starts the work on the files: from here a stop signal waits for a safe point.
  if (question && answer == MessageAnswer::kYes) posix::HoldStopSignals(OnStop);
  return answer;
}

void TellPlayer(const std::string& line) {
  // Paths in the line come from the registry and the disk: their control
  // bytes are shown, not obeyed, on the terminal and in the journal.
  const std::string shown = os::EscapeControlCharacters(line);
  std::fprintf(stderr, "%s: %s\n", entry_text::kProgramName, shown.c_str());
  std::fflush(stderr);
  if (!posix::NoTerminal()) return;
  const std::string logger = posix::FindOnPath("logger");
  if (!logger.empty()) {
    posix::RunProgram(logger, {"-t", entry_text::kProgramName, "--", shown});
  }
}
