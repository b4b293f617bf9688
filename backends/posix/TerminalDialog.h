// Message boxes as a terminal dialog on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "os/System.h"

namespace backends::posix {
using namespace os;

// A message as the player sees it: caption and text in UTF-8 (Shift-JIS
// converted; a caption in the system's encoding kept as it is).
using os::ShownMessage;
ShownMessage ShownMessageOf(const char* text, const char* caption,
                            CaptionEncoding caption_encoding, MessageStyle style);

// The one of three names that goes with the style.
const char* ForStyle(MessageStyle style, const char* question, const char* warning,
                     const char* information);

// Prints "[caption] text" (control characters but line feeds as \xNN); for
// a question adds " [y/N] " and reads one line of at most a few hundred bytes
// (IsYesAnswer decides). The end of input, a longer line, or no input to read
// (in is null) is No, and ends the prompt's line.
MessageAnswer ShowTerminalDialog(const ShownMessage& message, std::FILE* in, std::FILE* out);

// For the end-to-end tests that hold both builds side by side: when the
// environment variable MESUPDATE_DIALOG_RECORD names a file, every message is
// also appended to it the way the Windows tests' message-box driver reports a
// box (UTF-8, tab-separated: BOX, caption, text with tab, CR and LF written as
// \t \r \n, buttons yesno|ok, icon question|information|warning), and every
// answer as ANSWER yes|no, whatever showed the message. A terminal shows no
// icons; this record does.
constexpr char kDialogRecordVariable[] = "MESUPDATE_DIALOG_RECORD";
void RecordMessage(const ShownMessage& message);
void RecordAnswer(MessageAnswer answer);

// Whether a line typed at the prompt means Yes: y, yes or はい, in any case,
// full-width letters too, blanks around ignored.
bool IsYesAnswer(const char* line);

// --yes: from now on questions are answered Yes without reading the input;
// the question and the answer "y" are still printed.
void AnswerQuestionsYes();
bool AnsweringQuestionsYes();

}  // namespace backends::posix
