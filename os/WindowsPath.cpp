#include "os/WindowsPath.h"

#include "os/Process.h"

namespace os {

bool SplitShiftJisPath(std::string_view path, std::vector<std::string_view>* components) {
  bool whole = true;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size();) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (i > start) components->push_back(path.substr(start, i - start));
      start = ++i;
    } else if (!IsCp932LeadByte(static_cast<unsigned char>(path[i]))) {
      i += 1;
    } else if (i + 1 < path.size()) {
      i += 2;
    } else {
      whole = false;
      i += 1;
    }
  }
  return whole;
}

}  // namespace os
