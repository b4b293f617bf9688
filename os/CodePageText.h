// Text conversions for command-line tools: entry names are CP932 bytes, the
// command line and script output are UTF-8, and file names are whatever the
// platform's file system uses. Each backend implements these with its own
// code-page machinery.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace os {

// CP932 bytes as text for this console: UTF-8 on Linux, the console's output
// code page on Windows. Bytes that are not CP932 show as a replacement character.
std::string NameForConsole(const std::string& cp932);
// UTF-8 text (messages, paths from the command line) for this console.
std::string Utf8ForConsole(const std::string& utf8);

// CP932 bytes as UTF-8, invalid bytes as U+FFFD: for output that scripts read.
std::string Cp932ToUtf8ForDisplay(const std::string& cp932);
// false when the text holds a character CP932 cannot express.
bool Utf8ToCp932Strict(const std::string& utf8, std::string* cp932);

// The program's arguments as UTF-8, program name first. Windows hands narrow
// arguments over in the ANSI code page, so its backend re-reads the wide ones.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// A path given as UTF-8 (see Utf8Arguments).
std::filesystem::path PathFromUtf8(const std::string& utf8);
// A path as UTF-8, for messages.
std::string PathToUtf8(const std::filesystem::path& path);

// One file-name component in CP932; false when it cannot be expressed.
bool FileNameToCp932(const std::filesystem::path& name, std::string* cp932);
// A file-name component for CP932 bytes; false when they are not valid CP932.
bool Cp932ToFileName(const std::string& cp932, std::filesystem::path* name);

// A file opened for binary writing by its path ("wb"); nullptr on failure.
// Windows opens it by its wide name, so any name the file system holds works.
std::FILE* OpenFileForWriting(const std::filesystem::path& path);
// Flushes the file's data to stable storage (the stream flushed first).
bool SyncFileToDisk(std::FILE* file);
// Renames a finished file over target, which may exist, and flushes the
// folder. Refused while the file at target is in use (the updater reading
// it, the game holding it open), as Windows refuses to replace an open file;
// *why then says why, in English.
bool MoveOverFile(const std::filesystem::path& from, const std::filesystem::path& target,
                  std::string* why);

}  // namespace os
