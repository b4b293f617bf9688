#include "platform/win32/Win32Dialog.h"

#include <windows.h>

#include <string>

namespace platform::win32 {
namespace {

constexpr UINT kShiftJisCodePage = 932;

std::wstring Widen(const char* text, UINT code_page) {
  int length = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

UINT StyleFlags(MessageStyle style) {
  switch (style) {
    case MessageStyle::kInformation: return MB_OK | MB_ICONINFORMATION;
    case MessageStyle::kWarning: return MB_OK | MB_ICONEXCLAMATION;
    case MessageStyle::kQuestion: return MB_YESNO | MB_ICONQUESTION;
  }
  return MB_OK;
}

}  // namespace

MessageAnswer ShowMessageBox(const char* text, const char* caption, CaptionEncoding encoding,
                             MessageStyle style) {
  UINT caption_code_page = encoding == CaptionEncoding::kShiftJis ? kShiftJisCodePage : CP_ACP;
  std::wstring wide_text = Widen(text, kShiftJisCodePage);
  std::wstring wide_caption = Widen(caption, caption_code_page);
  int answer = MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), StyleFlags(style));
  if (style != MessageStyle::kQuestion) return MessageAnswer::kOk;
  return answer == IDYES ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace platform::win32
