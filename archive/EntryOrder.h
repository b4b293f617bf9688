// The order file `mesarc extract` writes beside the entries and `mesarc pack`
// follows: one line per index entry, in index order, mapping the entry's
// stored name field to the file holding its data, so that packing an
// untouched extraction gives back the archive byte for byte.
//
//   T27C.MES<TAB>T27C.MES
//   T27C.MES__<TAB>T27C.MES__.1        a second entry of that name
//   A.MES\x00\x00\x4a<TAB>A.MES        bytes the name field keeps after the NUL
//   NEW.MES                            a file alone: stored under its name upper-cased
//
// Text is UTF-8; "\xNN" is one byte and "\\" a backslash; '#' starts a comment line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// A dot-file, which no entry is extracted to and pack never takes as an entry.
inline constexpr char kOrderFileName[] = ".mesarc-order";

// The name in a name field: its bytes before the first NUL.
std::string_view NameInField(std::string_view field);

// The unscrambled 24-byte name fields of the index in head (the file's first
// bytes, at least IndexEnd(count) of them).
std::vector<std::string> NameFields(std::string_view head, std::uint32_t count);

// The name field as order-file text: the name as UTF-8 where each character
// converts back to the same bytes, \xNN otherwise; then, when any byte after
// the NUL is not 0, "\x00" and those bytes up to the last non-zero one.
std::string EscapeNameField(std::string_view field);

// One line of an order file, without its line end.
std::string FormatOrderLine(std::string_view field, const std::string& file_utf8);

struct OrderLine {
  std::string file;   // UTF-8 file name
  bool exact = false;  // name is the name field as stored (two columns)
  std::string name;   // CP932: the field's bytes when exact, else the file's name
};

enum class OrderLineKind { kNone, kEntry, kBad };

// kNone for blank and comment lines; kBad with *error saying why.
OrderLineKind ParseOrderLine(std::string line, OrderLine* parsed, std::string* error);

// Why these bytes cannot be stored as a whole name field (padded with zeros
// to 24 bytes); empty when they can.
std::string NameFieldProblem(std::string_view field);

}  // namespace archive
