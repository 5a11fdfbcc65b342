#pragma once
// The option pages' commands: every stored setting by name, in groups (one page each), read and
// set with the store's own rules; a refusal carries the store's reason.
//
//   GET  /api/settings   {"groups": [{"name", "settings": [{"name","kind","value"}]}]}
//   POST /api/settings   {"name","value"}  sets one (as text) and writes the store at once
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

// The page a setting belongs on, by its name.
std::string SettingGroup(const std::string& name);

SApiAnswer ListOptions();
SApiAnswer SetOption(const nlohmann::json& body);

}  // namespace plover::web
