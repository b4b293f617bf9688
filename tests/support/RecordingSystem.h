// A System substitute for tests: forwards to the native backend, records
// every message box instead of showing it, and answers questions as scripted.
// Install it with ScopedSystem for the length of a test.
#pragma once

#include <string>
#include <vector>

#include "platform/System.h"

struct RecordedMessage {
  std::string text;     // Shift-JIS bytes as shown
  std::string caption;  // Shift-JIS bytes (or the system's, for the base name)
  platform::MessageStyle style;
};

class RecordingSystem : public platform::ForwardingSystem {
 public:
  platform::MessageAnswer ShowMessage(const char* text, const char* caption,
                                      platform::CaptionEncoding,
                                      platform::MessageStyle style) override {
    messages.push_back({text, caption, style});
    if (style != platform::MessageStyle::kQuestion) return platform::MessageAnswer::kOk;
    return answer_yes ? platform::MessageAnswer::kYes : platform::MessageAnswer::kNo;
  }

  std::vector<RecordedMessage> messages;
  bool answer_yes = true;
};

// Installs a substitute System for its lifetime.
class ScopedSystem {
 public:
  explicit ScopedSystem(platform::System* system) { platform::SetSystemForTesting(system); }
  ~ScopedSystem() { platform::SetSystemForTesting(nullptr); }
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;
};
