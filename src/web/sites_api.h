#pragma once
// The site logins page: the stored login of each site (a host name), with what its requests carry
// besides (a cookie line, its own User-Agent, its own limit of connections). Passwords are never
// sent back; an edit with an empty password keeps the stored one. A site is stored as its host, as
// downloads are matched by their server; the list is written to the settings store at once.
//
//   GET  /api/sites             {"sites": [{"index","site","user","login","cookie","userAgent","maxConnections"}]}
//   POST /api/sites             {"site","user","password","cookie"?,"userAgent"?,"maxConnections"?}: a new
//                               site, or a new login for the site stored under that host
//   POST /api/sites/N           the same fields: changes site N (from 0)
//   POST /api/sites/N/delete    forgets site N
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer ListSiteLogins();
// index -1: a new site.
SApiAnswer SaveSiteLogin(int index, const nlohmann::json& body);
SApiAnswer DeleteSiteLogin(int index);

}  // namespace plover::web
