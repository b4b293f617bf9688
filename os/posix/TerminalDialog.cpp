#include "os/posix/TerminalDialog.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "os/posix/CodePage.h"

namespace platform::posix {
namespace {

bool g_answer_yes = false;
bool g_question_asked = false;

std::string ReadLine(std::FILE* in) {
  std::string line;
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  return line;
}

std::string Trim(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
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
  std::FILE* record = std::fopen(path, "ab");
  if (!record) return;
  std::fprintf(record, "%s\n", line.c_str());
  std::fclose(record);
}

const char* IconName(MessageStyle style) {
  switch (style) {
    case MessageStyle::kQuestion: return "question";
    case MessageStyle::kWarning: return "warning";
    case MessageStyle::kInformation: break;
  }
  return "information";
}

MessageAnswer Answered(bool yes) {
  AppendRecord(yes ? "ANSWER\tyes" : "ANSWER\tno");
  return yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace

bool IsYesAnswer(const char* line) {
  std::string answer = Trim(line);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes";
}

void AnswerQuestionsYes() { g_answer_yes = true; }

bool QuestionAsked() { return g_question_asked; }

MessageAnswer ShowTerminalDialog(const char* text, const char* caption,
                                 CaptionEncoding caption_encoding, MessageStyle style,
                                 std::FILE* in, std::FILE* out) {
  std::string shown_caption =
      caption_encoding == CaptionEncoding::kShiftJis ? Cp932ToUtf8Lossy(caption) : caption;
  const std::string shown_text = Cp932ToUtf8Lossy(text);
  AppendRecord("BOX\t" + Escaped(shown_caption) + "\t" + Escaped(shown_text) + "\t" +
               (style == MessageStyle::kQuestion ? "yesno" : "ok") + "\t" + IconName(style));
  std::fprintf(out, "[%s] %s", shown_caption.c_str(), shown_text.c_str());
  if (style != MessageStyle::kQuestion) {
    std::fputc('\n', out);
    std::fflush(out);
    return MessageAnswer::kOk;
  }
  std::fputs(" [y/N] ", out);
  g_question_asked = true;
  if (g_answer_yes) {
    std::fputs("y\n", out);
    std::fflush(out);
    return Answered(true);
  }
  std::fflush(out);
  std::string answer = ReadLine(in);
  // A terminal echoes the player's Enter; piped answers need the line ended.
  if (!isatty(fileno(in))) {
    std::fputc('\n', out);
    std::fflush(out);
  }
  return Answered(IsYesAnswer(answer.c_str()));
}

}  // namespace platform::posix
