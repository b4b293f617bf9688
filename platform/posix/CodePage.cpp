#include "platform/posix/CodePage.h"

#include <iconv.h>

#include <cerrno>

namespace platform::posix {
namespace {

// Glibc's name for Microsoft's variant of Shift-JIS.
constexpr const char* kCp932 = "CP932";

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of in; on an invalid sequence either fails or, when
  // replacement is given, emits it and skips one input byte.
  bool Convert(std::string_view in, std::string* out, const char* replacement) {
    out->clear();
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[256];
    while (src_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t result = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out->append(buffer, dst - buffer);
      if (result != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (!replacement) return false;
      out->append(replacement);
      ++src;
      --src_left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    if (iconv(cd_, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
    out->append(buffer, dst - buffer);
    return true;
  }

 private:
  iconv_t cd_;
};

bool ConvertWith(const char* to, const char* from, std::string_view in, std::string* out) {
  Converter converter(to, from);
  return converter.ok() && converter.Convert(in, out, nullptr);
}

// glibc's CP932 also takes a few characters it has no code for, one way only
// (U+00A5 YEN SIGN becomes 0x5C, which reads back as '\\'). Windows, asked
// for no best fit, refuses them; so does this, by reading the bytes back.
bool ToCp932Exactly(const char* from, std::string_view in, std::string* out) {
  std::string back;
  return ConvertWith(kCp932, from, in, out) && ConvertWith(from, kCp932, *out, &back) &&
         back == in;
}

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string* out) {
  return ConvertWith("UTF-8", kCp932, cp932, out);
}

bool Utf8ToCp932(std::string_view utf8, std::string* out) {
  return ToCp932Exactly("UTF-8", utf8, out);
}

bool Utf16LeToCp932(std::string_view utf16le, std::string* out) {
  return ToCp932Exactly("UTF-16LE", utf16le, out);
}

bool Utf16LeToUtf8(std::string_view utf16le, std::string* out) {
  return ConvertWith("UTF-8", "UTF-16LE", utf16le, out);
}

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
  std::string out;
  Converter converter("UTF-8", kCp932);
  if (!converter.ok() || !converter.Convert(cp932, &out, "\xEF\xBF\xBD")) return std::string(cp932);
  return out;
}

}  // namespace platform::posix
