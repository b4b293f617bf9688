#include "platform/MessageBox.h"

#include <cstdarg>
#include <cstdio>

os::MessageAnswer ShowFormattedMessage(const char* caption,
                                             os::CaptionEncoding caption_encoding,
                                             os::MessageStyle style, const char* format,
                                             ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return os::Sys().ShowMessage(text, caption, caption_encoding, style);
}
