#include "backends/win32/Win32Dialog.h"

#include <windows.h>

#include <string>

#include "backends/win32/WideText.h"

namespace backends::win32 {
using namespace os;
namespace {

UINT StyleFlags(MessageStyle style) {
  switch (style) {
    case MessageStyle::kInformation: return MB_OK | MB_ICONINFORMATION;
    case MessageStyle::kWarning: return MB_OK | MB_ICONEXCLAMATION;
    case MessageStyle::kQuestion: return MB_YESNO | MB_ICONQUESTION;
  }
  return MB_OK;
}

}  // namespace

MessageAnswer ShowMessageBox(const char* text, const char* caption,
                             CaptionEncoding /*encoding*/, MessageStyle style) {
  // Both captions are CP932 here: the executable's own name comes from
  // ModuleFileName, which delivers it in CP932 too.
  std::wstring wide_text = WideFromCp932(text);
  std::wstring wide_caption = WideFromCp932(caption);
  int answer = MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), StyleFlags(style));
  if (style != MessageStyle::kQuestion) return MessageAnswer::kOk;
  return answer == IDYES ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace backends::win32
