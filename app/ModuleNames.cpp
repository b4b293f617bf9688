#include "app/ModuleNames.h"

#include <cstring>

namespace {

constexpr std::size_t kMaxPart = 255;

struct Span {
  const char* begin;
  std::size_t length;
};

// Length of the character at p: 2 for a lead byte followed by a trail byte.
std::size_t CharLength(const char* p, LeadBytePredicate is_lead_byte) {
  return (is_lead_byte(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The longest prefix of span no longer than limit that does not split a
// double-byte character.
std::size_t CutLength(Span span, std::size_t limit, LeadBytePredicate is_lead_byte) {
  std::size_t length = 0;
  while (length < span.length) {
    std::size_t next = length + CharLength(span.begin + length, is_lead_byte);
    if (next > limit) break;
    length = next;
  }
  return length;
}

// Appends span to the NUL-terminated string in buffer, cutting it so that the
// whole string stays below capacity.
void AppendCut(char* buffer, std::size_t capacity, Span span, LeadBytePredicate is_lead_byte) {
  std::size_t used = std::strlen(buffer);
  std::size_t room = capacity - 1 - used;
  std::size_t length = CutLength(span, room, is_lead_byte);
  std::memcpy(buffer + used, span.begin, length);
  buffer[used + length] = '\0';
}

bool EndsWithSeparator(Span span, LeadBytePredicate is_lead_byte) {
  bool last_is_separator = false;
  for (std::size_t i = 0; i < span.length;) {
    last_is_separator = IsSeparator(span.begin[i]);
    i += CharLength(span.begin + i, is_lead_byte);
  }
  return last_is_separator;
}

struct PathParts {
  Span drive, folder, base;
};

PathParts SplitPath(const char* path, LeadBytePredicate is_lead_byte) {
  PathParts parts{};
  std::size_t drive_length = (path[0] != '\0' && path[1] == ':') ? 2 : 0;
  parts.drive = {path, drive_length};

  const char* rest = path + drive_length;
  const char* name_start = rest;
  const char* last_dot = nullptr;
  const char* p = rest;
  while (*p != '\0') {
    if (IsSeparator(*p)) {
      name_start = p + 1;
      last_dot = nullptr;
    } else if (*p == '.') {
      last_dot = p;
    }
    p += CharLength(p, is_lead_byte);
  }
  const char* name_end = last_dot ? last_dot : p;
  parts.folder = {rest, static_cast<std::size_t>(name_start - rest)};
  parts.base = {name_start, static_cast<std::size_t>(name_end - name_start)};

  parts.drive.length = CutLength(parts.drive, kMaxPart, is_lead_byte);
  parts.folder.length = CutLength(parts.folder, kMaxPart, is_lead_byte);
  parts.base.length = CutLength(parts.base, kMaxPart, is_lead_byte);
  return parts;
}

void BuildFolder(char* buffer, const PathParts& parts, LeadBytePredicate is_lead_byte) {
  buffer[0] = '\0';
  AppendCut(buffer, kMaxPath, parts.drive, is_lead_byte);
  AppendCut(buffer, kMaxPath, parts.folder, is_lead_byte);
  if (parts.folder.length > 0 && !EndsWithSeparator(parts.folder, is_lead_byte)) {
    AppendCut(buffer, kMaxPath, {"\\", 1}, is_lead_byte);
  }
}

}  // namespace

void DeriveModuleNames(const char* module_path, LeadBytePredicate is_lead_byte,
                       ModuleNames* out) {
  std::memset(out, 0, sizeof *out);
  if (module_path == nullptr || module_path[0] == '\0') return;

  PathParts parts = SplitPath(module_path, is_lead_byte);
  AppendCut(out->base_name, kBaseNameSize, parts.base, is_lead_byte);
  BuildFolder(out->module_folder, parts, is_lead_byte);

  std::strcpy(out->ini_path, out->module_folder);
  AppendCut(out->ini_path, kMaxPath, parts.base, is_lead_byte);
  AppendCut(out->ini_path, kMaxPath, {".INI", 4}, is_lead_byte);
}
