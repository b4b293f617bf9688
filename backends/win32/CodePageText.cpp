// Windows: CP932 and UTF-8 meet in UTF-16, which is also what file names are.
#include "os/CodePageText.h"

#include <windows.h>

#include <shellapi.h>
#include <io.h>

#include "backends/win32/WideText.h"

namespace os {
namespace win32 = backends::win32;
namespace {

using win32::FromWide;
using win32::kCp932;
using win32::ToWide;

// Without a console (output redirected by a detached process) the ANSI code
// page is what readers of the output expect.
UINT ConsoleCodePage() {
  const UINT code_page = GetConsoleOutputCP();
  return code_page != 0 ? code_page : GetACP();
}

std::string Convert(UINT from, UINT to, const std::string& text) {
  std::wstring wide;
  std::string out;
  if (!ToWide(from, 0, text, &wide) || !FromWide(to, false, wide, &out)) return text;
  return out;
}

}  // namespace

std::string NameForConsole(const std::string& cp932) {
  return Convert(kCp932, ConsoleCodePage(), cp932);
}

std::string Utf8ForConsole(const std::string& utf8) {
  return Convert(CP_UTF8, ConsoleCodePage(), utf8);
}

std::string Cp932ToUtf8ForDisplay(const std::string& cp932) {
  return Convert(kCp932, CP_UTF8, cp932);
}

bool Utf8ToCp932Strict(const std::string& utf8, std::string* cp932) {
  std::wstring wide;
  return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &wide) && FromWide(kCp932, true, wide, cp932);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    std::string utf8;
    FromWide(CP_UTF8, false, wide[i], &utf8);
    arguments.push_back(utf8);
  }
  LocalFree(wide);
  return arguments;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

std::string PathToUtf8(const std::filesystem::path& path) { return path.u8string(); }

bool FileNameToCp932(const std::filesystem::path& name, std::string* cp932) {
  return FromWide(kCp932, true, name.native(), cp932);
}

bool Cp932ToFileName(const std::string& cp932, std::filesystem::path* name) {
  std::wstring wide;
  if (!ToWide(kCp932, MB_ERR_INVALID_CHARS, cp932, &wide)) return false;
  *name = std::filesystem::path(wide);
  return true;
}

std::FILE* OpenFileForWriting(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"wb");
}

bool SyncFileToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

// MoveFileEx replacing the target: Windows itself refuses while the file
// there is open without delete sharing.
bool MoveOverFile(const std::filesystem::path& from, const std::filesystem::path& target,
                  std::string* why) {
  std::error_code error;
  std::filesystem::rename(from, target, error);
  *why = error ? error.message() : std::string();
  return !error;
}

}  // namespace os
