// Message boxes formatted from a printf-style format with one argument.
#pragma once

#include "os/System.h"

// Shows text formatted from format (Shift-JIS) with the given caption. The
// formatted text is cut, never overrun, at 1 KiB.
os::MessageAnswer ShowFormattedMessage(const char* caption,
                                             os::CaptionEncoding caption_encoding,
                                             os::MessageStyle style, const char* format,
                                             ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
