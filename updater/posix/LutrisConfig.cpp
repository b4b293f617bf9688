#include <yaml-cpp/yaml.h>

#include <string>

#include "updater/posix/LauncherConfigs.h"

namespace prefix_search {

bool ReadLutrisGamePrefix(std::string_view yaml, std::string* prefix) {
  try {
    const YAML::Node root = YAML::Load(std::string(yaml));
    if (!root.IsMap()) return false;
    const YAML::Node game = root["game"];
    if (!game.IsMap()) return false;
    const YAML::Node value = game["prefix"];
    if (!value.IsScalar() || value.Scalar().empty()) return false;
    *prefix = value.Scalar();
    return true;
  } catch (const std::exception&) {
    // yaml-cpp reports malformed text, and nesting beyond its depth guard,
    // by throwing.
    return false;
  }
}

}  // namespace prefix_search
