#include "backends/posix/TerminalDialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "os/ControlBytes.h"
#include "wineprefix/CodePage.h"

namespace backends::posix {
using namespace os;
using namespace wineprefix;
namespace {

bool g_answer_yes = false;

// No answer is longer: reading stops there, so endless input without a line
// end (</dev/zero) costs no memory.
constexpr std::size_t kLongestAnswer = 256;

// false when the input ended, or grew too long, before a line did; a line
// that long is no Yes.
bool ReadLine(std::FILE* in, std::string* line) {
  int c = EOF;
  while (line->size() < kLongestAnswer && (c = std::fgetc(in)) != EOF && c != '\n') {
    line->push_back(static_cast<char>(c));
  }
  if (c == '\n') return true;
  line->clear();
  return false;
}

std::string Trim(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

// Full-width ASCII (U+FF01 to U+FF5E, three UTF-8 bytes each) as ASCII,
// every letter lower-case.
std::string FoldedAnswer(const std::string& utf8) {
  std::string folded;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
    if (byte(i) == 0xEF && i + 2 < utf8.size() && (byte(i + 1) == 0xBC || byte(i + 1) == 0xBD)) {
      const unsigned code = 0xFF00 + ((byte(i + 1) & 0x03) << 6) + (byte(i + 2) & 0x3F);
      if (code >= 0xFF01 && code <= 0xFF5E) {
        folded.push_back(static_cast<char>(std::tolower(static_cast<int>(code - 0xFEE0))));
        i += 2;
        continue;
      }
    }
    folded.push_back(static_cast<char>(std::tolower(byte(i))));
  }
  return folded;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

void AppendRecord(const std::string& line) {
  const char* path = std::getenv(kDialogRecordVariable);
  if (!path || !*path) return;
  // Appended to a regular file only: never through a link, never blocking on a FIFO.
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const std::string record = line + "\n";
    if (write(fd, record.data(), record.size()) < 0) {
      // A test record: a failed write loses one line, nothing the player needs.
    }
  }
  close(fd);
}

}  // namespace

const char* ForStyle(MessageStyle style, const char* question, const char* warning,
                     const char* information) {
  switch (style) {
    case MessageStyle::kQuestion: return question;
    case MessageStyle::kWarning: return warning;
    case MessageStyle::kInformation: break;
  }
  return information;
}

ShownMessage ShownMessageOf(const char* text, const char* caption,
                            CaptionEncoding caption_encoding, MessageStyle style) {
  return {caption_encoding == CaptionEncoding::kShiftJis ? Cp932ToUtf8Lossy(caption) : caption,
          Cp932ToUtf8Lossy(text), style};
}

void RecordMessage(const ShownMessage& message) {
  AppendRecord("BOX\t" + Escaped(message.caption) + "\t" + Escaped(message.text) + "\t" +
               (message.style == MessageStyle::kQuestion ? "yesno" : "ok") + "\t" +
               ForStyle(message.style, "question", "warning", "information"));
}

void RecordAnswer(MessageAnswer answer) {
  AppendRecord(answer == MessageAnswer::kYes ? "ANSWER\tyes" : "ANSWER\tno");
}

bool IsYesAnswer(const char* line) {
  const std::string answer = FoldedAnswer(Trim(line));
  return answer == "y" || answer == "yes" || answer == "\xE3\x81\xAF\xE3\x81\x84";  // はい
}

void AnswerQuestionsYes() { g_answer_yes = true; }

bool AnsweringQuestionsYes() { return g_answer_yes; }

MessageAnswer ShowTerminalDialog(const ShownMessage& message, std::FILE* in, std::FILE* out) {
  // A path in the text comes from the registry: its control bytes are shown, not obeyed.
  std::fprintf(out, "[%s] %s", EscapeControlCharacters(message.caption).c_str(),
               EscapeControlCharacters(message.text, true).c_str());
  if (message.style != MessageStyle::kQuestion) {
    std::fputc('\n', out);
    std::fflush(out);
    return MessageAnswer::kOk;
  }
  std::fputs(" [y/N] ", out);
  if (g_answer_yes) {
    std::fputs("y\n", out);
    std::fflush(out);
    return MessageAnswer::kYes;
  }
  std::fflush(out);
  std::string answer;
  const bool line_ended = in != nullptr && ReadLine(in, &answer);
  // A terminal echoes the player's Enter, but not Ctrl-D; piped answers are
  // not echoed at all.
  if (!line_ended || !isatty(fileno(in))) {
    std::fputc('\n', out);
    std::fflush(out);
  }
  return IsYesAnswer(answer.c_str()) ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace backends::posix
