#pragma once
// The routes of the history pane and bookmarks, the scan profiles and search sites lists, the page
// cache, the site logins, the proxies and the system information (history_api.h, profiles_api.h,
// cache_api.h, sites_api.h, proxy_api.h, sysinfo_api.h), added to the server before
// it starts, behind the same guard as every route; commands take JSON bodies only.
namespace httplib {
class Server;
}

namespace plover::web {

struct SSystemInfoSource;

void InstallOptionRoutes(httplib::Server& server, const SSystemInfoSource& sysinfo);

}  // namespace plover::web
