// How mesarc shows names and messages: console text in the console's
// encoding, JSON in plain ASCII so any reader gets the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace mesarc {

// An entry name for the console, control bytes written as \xNN
// (os::EscapeControlBytes), so a damaged name cannot move the cursor
// or end a line.
std::string ConsoleName(const std::string& cp932);
// An entry name as UTF-8, control bytes escaped: for messages.
std::string NameUtf8(const std::string& cp932);

// Terminal columns the UTF-8 text takes: two for wide characters, one otherwise.
std::size_t DisplayWidth(const std::string& utf8);

// A JSON string literal for UTF-8 text, every non-ASCII character as \uXXXX.
std::string JsonString(const std::string& utf8);
std::string HexBytes(const std::string& bytes);

// "mesarc: message" on standard error; message is UTF-8, its control
// characters written as \xNN.
void PrintError(const std::string& message);
// A line of UTF-8 text on standard output.
void PrintLine(const std::string& utf8);

}  // namespace mesarc
