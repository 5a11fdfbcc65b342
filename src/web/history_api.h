#pragma once
// The history pane and the bookmarks: the download history (every address with the file it
// brought, on disk or gone) with forgetting, and the bookmarked addresses ("SurfURLs", kept with
// the settings and written at once).
//
//   GET  /api/history                {"entries": [{"address","path","name","folder","onDisk"}]}
//   POST /api/history/forget         {"addresses": [..]}   forgets their entries; {"forgotten": n}
//   GET  /api/bookmarks              {"bookmarks": [addresses]}
//   POST /api/bookmarks              {"url"}  adds it at the end (an HTTP, HTTPS or FTP address)
//   POST /api/bookmarks/delete       {"url"}  removes it
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer ListHistory();
SApiAnswer ForgetHistory(const nlohmann::json& body);
SApiAnswer ListBookmarks();
SApiAnswer AddBookmark(const nlohmann::json& body);
SApiAnswer DeleteBookmark(const nlohmann::json& body);

// Whether a text may be bookmarked: an HTTP, HTTPS or FTP address with a server, one line, at
// most 2048 bytes; empty when it may, else the refusal.
std::string CheckBookmark(const std::string& url);

}  // namespace plover::web
