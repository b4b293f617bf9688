#include "backends/win32/WideText.h"

#include <algorithm>

#include "os/Registry.h"

namespace backends::win32 {
using namespace os;
namespace {

constexpr wchar_t kSeparators[] = L"\\/";

// The short name of the last component of an existing path; empty when the
// path does not exist or the file system keeps no short names.
std::wstring ShortNameOfLast(const std::wstring& path) {
  const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return std::wstring();
  std::wstring shorter(needed, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), &shorter[0], needed);
  if (length == 0 || length >= needed) return std::wstring();
  shorter.resize(length);
  const std::size_t cut = shorter.find_last_of(kSeparators);
  return cut == std::wstring::npos ? shorter : shorter.substr(cut + 1);
}

}  // namespace

bool ToWide(UINT code_page, DWORD flags, std::string_view in, std::wstring* out) {
  out->clear();
  if (in.empty()) return true;
  const int length = MultiByteToWideChar(code_page, flags, in.data(), static_cast<int>(in.size()),
                                         nullptr, 0);
  if (length <= 0) return false;
  out->resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(code_page, flags, in.data(), static_cast<int>(in.size()), &(*out)[0],
                             length) == length;
}

bool FromWide(UINT code_page, bool strict, std::wstring_view in, std::string* out) {
  out->clear();
  if (in.empty()) return true;
  const bool can_check = strict && code_page != CP_UTF8;
  const DWORD flags = can_check ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL used_default = FALSE;
  BOOL* used_default_out = can_check ? &used_default : nullptr;
  const int length = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()),
                                         nullptr, 0, nullptr, used_default_out);
  if (length <= 0 || used_default) return false;
  out->resize(static_cast<std::size_t>(length));
  return WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), &(*out)[0],
                             length, nullptr, nullptr) == length;
}

std::wstring WideFromCp932(const char* cp932) {
  std::wstring wide;
  if (cp932) ToWide(kCp932, 0, cp932, &wide);
  return wide;
}

bool PathToCp932(std::wstring_view path, std::string* cp932) {
  if (FromWide(kCp932, true, path, cp932)) return true;
  cp932->clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = path.find_first_of(kSeparators, start);
    const std::size_t end = found == std::wstring_view::npos ? path.size() : found;
    std::string piece;
    if (!FromWide(kCp932, true, path.substr(start, end - start), &piece)) {
      const std::wstring short_name = ShortNameOfLast(std::wstring(path.substr(0, end)));
      if (short_name.empty() || !FromWide(kCp932, true, short_name, &piece)) return false;
    }
    *cp932 += piece;
    if (end == path.size()) return true;
    *cp932 += static_cast<char>(path[end]);
    start = end + 1;
  }
}

std::int32_t DeliverStringValue(std::wstring_view stored, unsigned char* data,
                                std::uint32_t* size) {
  // Only the text before the first NUL names a folder; the rest must convert as it is.
  const std::size_t text_end = std::min(stored.find(L'\0'), stored.size());
  std::string value, rest;
  if (!PathToCp932(stored.substr(0, text_end), &value) ||
      !FromWide(kCp932, true, stored.substr(text_end), &rest)) {
    return kErrorNoUnicodeTranslation;
  }
  value += rest;
  return DeliverRegistryValue(value, kRegSz, data, size);
}

}  // namespace backends::win32
