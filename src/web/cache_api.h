#pragma once
// The page cache's options page: what the cache holds (its rows and their size, shown as
// "%d (%s)"), clearing it after the question the page asks, and moving its files to another
// folder, which then becomes the cache folder. A move is refused while pages are being fetched.
//
//   GET  /api/cache         {"folder","count","size","pending","clearQuestion"}
//   POST /api/cache/clear   {"confirm":true}  answers what was deleted: {"count","size"}
//   POST /api/cache/move    {"folder":"/abs"} answers {"folder","count"}; 409 with the page's text
//                           while fetches are under way
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer CacheState();
SApiAnswer ClearCache(const nlohmann::json& body);
SApiAnswer MoveCache(const nlohmann::json& body);

}  // namespace plover::web
