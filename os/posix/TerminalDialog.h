// Message boxes as a terminal dialog on standard error.
#pragma once

#include <cstdio>

#include "os/System.h"

namespace platform::posix {

// Prints "[caption] text" (Shift-JIS converted to UTF-8; a caption in the
// system's encoding is printed as it is); for a question adds
// " [y/N] " and reads one line: "y" or "yes" in any case, blanks ignored, is
// Yes, anything else (end of input too) is No.
MessageAnswer ShowTerminalDialog(const char* text, const char* caption,
                                 CaptionEncoding caption_encoding, MessageStyle style,
                                 std::FILE* in, std::FILE* out);

// For the end-to-end tests that hold both builds side by side: when the
// environment variable MESUPDATE_DIALOG_RECORD names a file, every message is
// also appended to it the way the Windows tests' message-box driver reports a
// box (UTF-8, tab-separated: BOX, caption, text with tab, CR and LF written as
// \t \r \n, buttons yesno|ok, icon question|information|warning), and every
// answer as ANSWER yes|no. A terminal shows no icons; this record does.
constexpr char kDialogRecordVariable[] = "MESUPDATE_DIALOG_RECORD";

// Whether a line typed at the prompt means Yes.
bool IsYesAnswer(const char* line);

// --yes: from now on questions are answered Yes without reading the input;
// the question and the answer "y" are still printed.
void AnswerQuestionsYes();
// Whether any question has been put to the player in this process.
bool QuestionAsked();

}  // namespace platform::posix
