#pragma once
// The external viewer setting ("csExternalViewer"): when the user has named a program, pictures
// the basket window opens go to it instead of the built-in viewer.
//
//   POST /api/pictures/external {"path"}   starts the program with the picture's path
//
// The program is started detached (through /bin/sh, which starts it in the background and ends at
// once, so no child is left to reap) with only the checked path as its argument; the page never
// names the program.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer OpenInExternalViewer(const std::vector<std::string>& roots, const nlohmann::json& body);

}  // namespace plover::web
