#pragma once

#include "os/System.h"

namespace backends::win32 {
using namespace os;

// MessageBoxW with no owner: the text and both kinds of caption converted
// from code page 932 (this backend delivers the executable's name in it), so
// the messages read correctly whatever the system's code page.
MessageAnswer ShowMessageBox(const char* text, const char* caption, CaptionEncoding encoding,
                             MessageStyle style);

}  // namespace backends::win32
