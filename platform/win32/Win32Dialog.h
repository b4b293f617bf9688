#pragma once

#include "platform/System.h"

namespace platform::win32 {

// MessageBoxW with no owner: the text and Shift-JIS captions converted from
// code page 932, a system caption from the ANSI code page, so the messages
// read correctly whatever the system's code page.
MessageAnswer ShowMessageBox(const char* text, const char* caption, CaptionEncoding encoding,
                             MessageStyle style);

}  // namespace platform::win32
