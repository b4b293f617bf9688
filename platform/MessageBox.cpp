#include "platform/MessageBox.h"

#include <cstdarg>
#include <cstdio>

platform::MessageAnswer ShowFormattedMessage(const char* caption,
                                             platform::CaptionEncoding caption_encoding,
                                             platform::MessageStyle style, const char* format,
                                             ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return platform::Sys().ShowMessage(text, caption, caption_encoding, style);
}
