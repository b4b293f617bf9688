#include "wineprefix/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "os/Process.h"

namespace wineprefix {
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

using os::IsCp932LeadByte;

// The user-defined area: lead bytes 0xF0 to 0xF9, each with the 188 trail
// bytes 0x40-0x7E and 0x80-0xFC (Unicode U+E000 to U+E757).
constexpr unsigned char kFirstUserLead = 0xF0, kLastUserLead = 0xF9;
constexpr std::size_t kTrailsPerLead = 188, kLowTrails = 0x7F - 0x40;
constexpr std::size_t kUserDefinedCodes = (kLastUserLead - kFirstUserLead + 1) * kTrailsPerLead;

std::string UserDefinedCode(std::size_t slot) {
  const std::size_t trail = slot % kTrailsPerLead;
  return {static_cast<char>(kFirstUserLead + slot / kTrailsPerLead),
          static_cast<char>(trail < kLowTrails ? 0x40 + trail : 0x80 + trail - kLowTrails)};
}

std::optional<std::size_t> UserDefinedSlot(unsigned char lead, unsigned char trail) {
  if (lead < kFirstUserLead || lead > kLastUserLead) return std::nullopt;
  std::size_t index;
  if (trail >= 0x40 && trail <= 0x7E) {
    index = trail - 0x40;
  } else if (trail >= 0x80 && trail <= 0xFC) {
    index = trail - 0x80 + kLowTrails;
  } else {
    return std::nullopt;
  }
  return (lead - kFirstUserLead) * kTrailsPerLead + index;
}

bool HasUserDefinedCode(std::string_view cp932) {
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto lead = static_cast<unsigned char>(cp932[i]);
    if (!IsCp932LeadByte(lead) || i + 1 == cp932.size()) continue;
    if (UserDefinedSlot(lead, static_cast<unsigned char>(cp932[i + 1]))) return true;
    ++i;
  }
  return false;
}

// Characters (UTF-8) by the user-defined code that stands for them, given out
// in order and never taken back, so a path keeps its bytes for the whole run.
class AliasTable {
 public:
  bool AliasOf(const std::string& character, std::string* code) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = slots_.find(character);
    if (found == slots_.end()) {
      if (characters_.size() == kUserDefinedCodes) return false;
      found = slots_.emplace(character, characters_.size()).first;
      characters_.push_back(character);
    }
    *code = UserDefinedCode(found->second);
    return true;
  }

  std::optional<std::string> CharacterOf(unsigned char lead, unsigned char trail) {
    const std::optional<std::size_t> slot = UserDefinedSlot(lead, trail);
    if (!slot) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    if (*slot >= characters_.size()) return std::nullopt;
    return characters_[*slot];
  }

  bool empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return characters_.empty();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> characters_;
  std::map<std::string, std::size_t> slots_;
};

AliasTable& Aliases() {
  static AliasTable table;
  return table;
}

// Bytes of the UTF-8 character that `lead` begins (input already valid).
std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  return lead < 0xF0 ? 3 : 4;
}

// CP932 to UTF-8 with aliases turned back into their characters; the runs
// between them go through iconv (with the replacement, when given).
bool ConvertResolvingAliases(std::string_view cp932, std::string* out, const char* replacement) {
  Converter converter("UTF-8", kCp932);
  if (!converter.ok()) return false;
  out->clear();
  std::string run;
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < cp932.size();) {
    const auto lead = static_cast<unsigned char>(cp932[i]);
    if (!IsCp932LeadByte(lead) || i + 1 == cp932.size()) {
      ++i;
      continue;
    }
    const std::optional<std::string> character =
        Aliases().CharacterOf(lead, static_cast<unsigned char>(cp932[i + 1]));
    i += 2;
    if (!character) continue;
    if (!converter.Convert(cp932.substr(run_start, i - 2 - run_start), &run, replacement)) {
      return false;
    }
    out->append(run).append(*character);
    run_start = i;
  }
  if (!converter.Convert(cp932.substr(run_start), &run, replacement)) return false;
  out->append(run);
  return true;
}

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
  if (!Aliases().empty()) return ConvertResolvingAliases(cp932, out, nullptr);
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
  if (!ConvertResolvingAliases(cp932, &out, "\xEF\xBF\xBD")) return std::string(cp932);
  return out;
}

bool Utf16LeToCp932WithAliases(std::string_view utf16le, std::string* out) {
  if (Utf16LeToCp932(utf16le, out) && !HasUserDefinedCode(*out)) return true;
  // Character by character: iconv validates the text, then each character
  // converts exactly or takes an alias.
  std::string utf8, piece;
  if (!Utf16LeToUtf8(utf16le, &utf8)) return false;
  out->clear();
  for (std::size_t i = 0; i < utf8.size();) {
    const std::string character = utf8.substr(i, Utf8Length(static_cast<unsigned char>(utf8[i])));
    i += character.size();
    const bool exact = Utf8ToCp932(character, &piece) && !HasUserDefinedCode(piece);
    if (!exact && !Aliases().AliasOf(character, &piece)) return false;
    out->append(piece);
  }
  return true;
}

}  // namespace wineprefix
