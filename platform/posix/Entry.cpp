// The Linux entry: hands AppMain the command-line text after the program's
// name and the show-default state, and exits with its result.
#include <string>

#include "app/AppBase.h"

namespace {
constexpr std::int32_t kShowDefault = 10;
}  // namespace

int main(int argc, char** argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  // Linux has no module instance handles.
  return AppMain(nullptr, nullptr, command_line.c_str(), kShowDefault);
}
