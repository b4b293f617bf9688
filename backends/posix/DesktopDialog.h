// Message boxes as desktop dialogs, for a player who started the updater
// from a file manager or a launcher: no terminal to answer on, but a desktop
// session. zenity or kdialog shows them, started with an argument vector.
#pragma once

#include <string>
#include <vector>

#include "os/System.h"
#include "backends/posix/TerminalDialog.h"

namespace backends::posix {
using namespace os;

enum class DialogProgram { kZenity, kKdialog };

// The dialog program's arguments (after its name) for one message: the
// caption as the title, the text as it is, the icon of the style.
std::vector<std::string> DialogArguments(DialogProgram program, const ShownMessage& message);

// Runs the program at `path` with these arguments, no shell, input and output
// on /dev/null; its exit status, or -1 when it did not run to an exit.
int RunProgram(const std::string& path, const std::vector<std::string>& arguments);

// A dialog program's run: its exit status (-1: none) and the start of what it
// wrote on standard error.
struct ProgramRun {
  int status = -1;
  std::string errors;
  std::string output;  // only when asked for
};
// As RunProgram, in DialogEnvironment, keeping the program's standard error
// and, with an output_limit, at most that many bytes of its standard output.
ProgramRun RunDialogProgram(const std::string& path, const std::vector<std::string>& arguments,
                            std::size_t output_limit = 0);

// This process's environment, with LC_ALL naming a UTF-8 locale when the one
// in force is not UTF-8 (the player's language in UTF-8 where installed,
// else C.UTF-8): zenity refuses non-ASCII arguments in any other.
std::vector<std::string> DialogEnvironment();

// What a dialog program's exit means: Yes (or OK), No (or closed), or that
// it showed nothing (it could not start, reach the display or take its
// arguments).
enum class DialogExit { kYes, kNo, kFailed };
DialogExit ReadDialogExit(const ProgramRun& run);
// "zenity could not show the WHAT (exit status N: its first complaint)".
std::string DialogFailure(DialogProgram program, const char* what, const ProgramRun& run);

// The executable file `name` in an absolute directory of $PATH, or "".
std::string FindOnPath(const char* name);

// Shows one message, records it (MESUPDATE_DIALOG_RECORD) and returns the
// answer. Standard input that no player types into (not a terminal, not a
// pipe or file of answers) with a desktop session ($DISPLAY or
// $WAYLAND_DISPLAY) and no --yes: a desktop dialog. Otherwise, or when no
// dialog program shows it: the terminal dialog on standard error, reading
// standard input only when a player can answer there. A dialog program that
// showed nothing leaves why as the failure detail ("zenity could not show the
// question (exit status 1: ...)").
MessageAnswer ShowPlayerMessage(const char* text, const char* caption,
                                CaptionEncoding caption_encoding, MessageStyle style);

// An English line the next message shows under its text when it comes as a
// desktop dialog (the Japanese text first and unchanged; the record keeps
// only that). Any message clears it.
void NoteUnderNextDialog(std::string line);

// Whether the player can answer on standard input (a terminal, or a pipe or
// file of answers).
bool CanAnswerOnInput();
// Neither a terminal nor a file of answers: nobody reads standard error.
bool NoTerminal();
// $DISPLAY or $WAYLAND_DISPLAY is set.
bool DesktopSession();
// zenity or kdialog is on $PATH.
bool DesktopDialogInstalled();
// Whether questions now go to a desktop dialog, and then which program.
bool AsksOnDesktop(std::string* path, DialogProgram* program);

}  // namespace backends::posix
