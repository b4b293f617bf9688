#include "archive/EntryOrder.h"

#include <cstring>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveExamination.h"
#include "archive/ArchiveProblems.h"
#include "os/Hex.h"
#include "os/CodePageText.h"
#include "os/Process.h"

namespace archive {
namespace {

void AppendByteEscape(std::string* out, unsigned char byte) { *out += "\\x" + os::HexByte(byte); }

using os::HexValue;

// Characters a line's trimming, its comment mark or its escapes would take
// for something else, and bytes that are no text.
bool NeedsEscape(unsigned char byte, bool at_edge) {
  return byte < 0x20 || byte == 0x7F || byte == '\\' || (at_edge && (byte == ' ' || byte == '#'));
}

// The character as UTF-8 when that converts back to exactly its bytes;
// empty otherwise (invalid bytes, or a code CP932 holds twice).
std::string CharacterUtf8(const std::string& bytes) {
  const std::string utf8 = os::Cp932ToUtf8ForDisplay(bytes);
  std::string back;
  return os::Utf8ToCp932Strict(utf8, &back) && back == bytes ? utf8 : std::string();
}

void AppendEscapedName(std::string* out, std::string_view name) {
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    const std::size_t length = os::IsCp932LeadByte(byte) && i + 1 < name.size() ? 2 : 1;
    const std::string character(name.substr(i, length));
    const bool at_edge = i == 0 || i + length == name.size();
    const std::string utf8 =
        length == 1 && NeedsEscape(byte, at_edge) ? std::string() : CharacterUtf8(character);
    if (utf8.empty()) {
      for (char c : character) AppendByteEscape(out, static_cast<unsigned char>(c));
    } else {
      *out += utf8;
    }
    i += length;
  }
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Order-file text back to bytes, the text between escapes converted to
// CP932 when to_cp932 (entry names) and kept as UTF-8 otherwise (file
// names); false with *error saying why.
bool Unescape(const std::string& text, bool to_cp932, std::string* bytes, std::string* error) {
  bytes->clear();
  std::string run;  // text waiting for conversion
  const auto flush = [&]() {
    std::string cp932;
    if (!to_cp932) {
      *bytes += run;
    } else if (os::Utf8ToCp932Strict(run, &cp932)) {
      *bytes += cp932;
    } else {
      *error = "\"" + run + "\" cannot be written in CP932";
      return false;
    }
    run.clear();
    return true;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      run += text[i];
      continue;
    }
    if (!flush()) return false;
    if (text.compare(i, 2, "\\\\") == 0) {
      *bytes += '\\';
      ++i;
      continue;
    }
    const int high = i + 3 < text.size() && text[i + 1] == 'x' ? HexValue(text[i + 2]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 3]) : -1;
    if (low < 0) {
      *error = "a \\ that starts no \\xNN escape";
      return false;
    }
    *bytes += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return flush();
}

}  // namespace

std::string_view NameInField(std::string_view field) { return field.substr(0, field.find('\0')); }

std::vector<std::string> NameFields(std::string_view head, std::uint32_t count) {
  std::vector<std::string> fields;
  fields.reserve(count);
  const std::string_view index = head.substr(kCountSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    fields.emplace_back(DecodeEntry(index, i).name, kEntryNameSize);
  }
  return fields;
}

std::string EscapeNameField(std::string_view field) {
  const std::size_t nul = field.find('\0');
  std::string out;
  AppendEscapedName(&out, field.substr(0, nul));
  if (nul == std::string_view::npos) return out;
  const std::size_t last = field.find_last_not_of('\0');
  if (last == std::string_view::npos || last < nul) return out;
  for (std::size_t i = nul; i <= last; ++i) AppendByteEscape(&out, static_cast<unsigned char>(field[i]));
  return out;
}

std::string FormatOrderLine(std::string_view field, const std::string& file_utf8) {
  std::string file;
  for (std::size_t i = 0; i < file_utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(file_utf8[i]);
    const bool at_edge = i == 0 || i + 1 == file_utf8.size();
    if (NeedsEscape(byte, at_edge) && byte != '#') {
      AppendByteEscape(&file, byte);
    } else {
      file += file_utf8[i];
    }
  }
  return EscapeNameField(field) + "\t" + file;
}

OrderLineKind ParseOrderLine(std::string line, OrderLine* parsed, std::string* error) {
  line = Trim(line);
  if (line.empty() || line[0] == '#') return OrderLineKind::kNone;
  const std::size_t tab = line.find('\t');
  parsed->exact = tab != std::string::npos;
  if (!parsed->exact) {
    // A file name alone is the file's name, taken as written.
    parsed->file = line;
    if (os::Utf8ToCp932Strict(line, &parsed->name)) return OrderLineKind::kEntry;
    *error = "cannot be written in CP932";
    return OrderLineKind::kBad;
  }
  const std::string name_text = Trim(line.substr(0, tab));
  const std::string file_text = Trim(line.substr(tab + 1));
  if (file_text.empty() || name_text.empty()) {
    *error = "an entry name and a file name, one tab between them, or a file name alone";
    return OrderLineKind::kBad;
  }
  const bool ok = Unescape(name_text, true, &parsed->name, error) &&
                  Unescape(file_text, false, &parsed->file, error);
  return ok ? OrderLineKind::kEntry : OrderLineKind::kBad;
}

std::string NameFieldProblem(std::string_view field) {
  if (field.size() > kEntryNameSize) {
    return "the name field has " + std::to_string(field.size()) + " bytes, more than " +
           std::to_string(kEntryNameSize);
  }
  const std::string_view name = NameInField(field);
  if (name.size() > kEntryNameSize - 1) return "the name has no NUL within 24 bytes";
  return FileNameProblem(name);
}

}  // namespace archive
