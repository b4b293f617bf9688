// Built instead of LutrisConfig.cpp where yaml-cpp's static library is
// missing (scripts/demo.sh on a machine with only the demo's packages): the
// search then finds Lutris games only in its default folder, ~/Games.
#include "updater/posix/LauncherConfigs.h"

namespace prefix_search {

bool ReadLutrisGamePrefix(std::string_view, std::string*) { return false; }

}  // namespace prefix_search
