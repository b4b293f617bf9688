#include "updater/posix/SteamLibraries.h"

#include <cctype>

namespace prefix_search {
namespace {

enum class TokenKind { kString, kOpen, kClose, kEnd };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
};

// KeyValues tokens: quoted strings with \\ \" \n \t escapes, bare words,
// braces; "//" comments run to the end of the line.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipBlanksAndComments();
    Token token;
    if (pos_ >= text_.size()) return token;
    const char c = text_[pos_];
    if (c == '{' || c == '}') {
      ++pos_;
      token.kind = c == '{' ? TokenKind::kOpen : TokenKind::kClose;
      return token;
    }
    token.kind = TokenKind::kString;
    if (c == '"') {
      if (!ReadQuoted(&token.text)) token.kind = TokenKind::kEnd;
    } else {
      while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != '"' &&
             text_[pos_] != '{' && text_[pos_] != '}') {
        token.text.push_back(text_[pos_++]);
      }
    }
    return token;
  }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  void SkipBlanksAndComments() {
    for (;;) {
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      if (text_.substr(pos_, 2) != "//") return;
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    }
  }

  // False when the closing quote never comes.
  bool ReadQuoted(std::string* out) {
    for (++pos_; pos_ < text_.size(); ++pos_) {
      char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\' && pos_ + 1 < text_.size()) {
        c = text_[++pos_];
        if (c == 'n') c = '\n';
        if (c == 't') c = '\t';
      }
      out->push_back(c);
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Deeper than the libraries' own level nothing is wanted; the limit only
// keeps the key stack small on hostile input.
constexpr std::size_t kMaxDepth = 16;

}  // namespace

std::vector<std::string> ReadSteamLibraryFolders(std::string_view text) {
  std::vector<std::string> folders;
  std::vector<std::string> keys;  // the open sections, outermost first
  Lexer lexer(text);
  const auto in_libraries = [&keys](std::size_t depth) {
    return keys.size() == depth && EqualsIgnoringCase(keys[0], "libraryfolders");
  };
  while (folders.size() < kMaxSteamLibraries) {
    Token key = lexer.Next();
    if (key.kind == TokenKind::kClose && !keys.empty()) {
      keys.pop_back();
      continue;
    }
    if (key.kind != TokenKind::kString) break;
    const Token value = lexer.Next();
    if (value.kind == TokenKind::kOpen) {
      if (keys.size() == kMaxDepth) break;
      keys.push_back(std::move(key.text));
      continue;
    }
    if (value.kind != TokenKind::kString) break;
    const bool numbered = in_libraries(1) && AllDigits(key.text);
    const bool path = in_libraries(2) && EqualsIgnoringCase(key.text, "path");
    if ((numbered || path) && !value.text.empty()) folders.push_back(value.text);
  }
  return folders;
}

}  // namespace prefix_search
