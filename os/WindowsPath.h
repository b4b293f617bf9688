// Windows paths as the program holds them, in Shift-JIS: a 0x5C that is the
// second byte of a double-byte character (表 is 0x95 0x5C) is no separator.
#pragma once

#include <string_view>
#include <vector>

namespace os {

// Splits a Shift-JIS path at '\' and '/' into the components between them,
// empty ones dropped. False when a lead byte ends the path; the components
// then still hold it, as a byte of the last one.
bool SplitShiftJisPath(std::string_view path, std::vector<std::string_view>* components);

}  // namespace os
