#pragma once
// The option pages' commands: every stored setting by name, in groups (one page each), read and
// set with the store's own rules; a refusal carries the store's reason.
//
//   GET  /api/settings   {"groups": [{"name", "settings": [{"name","kind","value","label","control",
//                        "min"?,"max"?,"unit"?,"choices"?,"colour"?}]}]}  (option_pages.h)
//   POST /api/settings   {"name","value"}  sets one (as text; a colour also as "#rrggbb"), checked
//                        by its page's rule, and writes the store at once; answers the setting
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

// The lock of every command that changes stored settings, and the write of the whole store (with
// that lock held); false with the reason when the file cannot be written.
std::mutex& SettingsLock();
bool WriteSettings(std::string* error);

SApiAnswer ListOptions();
// GET /api/settings/stored: {"settings": [{"name","value","json"}]} in stored order, "json" the
// value as a number, a list of numbers or a text (what `plover settings list --json` prints).
SApiAnswer StoredSettings();
SApiAnswer SetOption(const nlohmann::json& body);

}  // namespace plover::web
