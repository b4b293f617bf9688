// The Linux program's layer over the backend: it decides what the player is
// told around each message (the cause of a failure after it, why nobody could
// be asked), holds the stop signals once the player said Yes and says what a
// stop did. Everything else goes to the backend unchanged.
#pragma once

#include <string>

#include "os/System.h"

class PlayerSystem final : public os::ForwardingSystem {
 public:
  // answer_yes: --yes, questions are answered Yes without reading the input.
  explicit PlayerSystem(bool answer_yes);

  os::MessageAnswer ShowMessage(const char* text, const char* caption,
                                      os::CaptionEncoding caption_encoding,
                                      os::MessageStyle style) override;

  // Whether a question was put to the player: a run that stopped before one
  // found no game; after one, the answer was No.
  bool question_asked() const { return question_asked_; }

 private:
  bool question_asked_ = false;
};

// "mesupdate: <line>" on standard error, control bytes shown, not obeyed;
// with no terminal around, also in the journal through logger, where a
// player who started it from the desktop can find it.
void TellPlayer(const std::string& line);
