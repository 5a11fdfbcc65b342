#include "web/option_routes.h"

#include <httplib.h>

#include <functional>

#include "web/cache_api.h"
#include "web/history_api.h"
#include "web/json_routes.h"
#include "web/profiles_api.h"
#include "web/proxy_api.h"
#include "web/sites_api.h"
#include "web/sysinfo_api.h"

namespace plover::web {
namespace {

void Command(httplib::Server& s, const char* pattern, std::function<SApiAnswer(const nlohmann::json&)> fn) {
    s.Post(pattern, JsonCommand([fn](const httplib::Request&, const nlohmann::json& body) { return fn(body); },
                                EJsonBody::Typed));
}

void Read(httplib::Server& s, const char* pattern, std::function<SApiAnswer()> fn) {
    s.Get(pattern, [fn](const httplib::Request&, httplib::Response& res) { SendJson(res, fn()); });
}

// A command on the item numbered in the path: pattern has one (\d{1,6}) group.
void ItemCommand(httplib::Server& s, const char* pattern, std::function<SApiAnswer(int, const nlohmann::json&)> fn) {
    s.Post(pattern, JsonCommand([fn](const httplib::Request& req, const nlohmann::json& body) {
                        return fn(std::stoi(req.matches[1]), body);
                    },
                    EJsonBody::Typed));
}

}  // namespace

void InstallOptionRoutes(httplib::Server& s, const SSystemInfoSource& sysinfo) {
    Read(s, "/api/sysinfo", [sysinfo] { return SystemInfo(sysinfo); });
    Read(s, "/api/history", ListHistory);
    Command(s, "/api/history/forget", ForgetHistory);
    Read(s, "/api/bookmarks", ListBookmarks);
    Command(s, "/api/bookmarks", AddBookmark);
    Command(s, "/api/bookmarks/delete", DeleteBookmark);

    Read(s, "/api/profiles", ListProfiles);
    Command(s, "/api/profiles", [](const nlohmann::json& b) { return SaveProfile(-1, b); });
    Command(s, "/api/profiles/reset", ResetProfiles);
    ItemCommand(s, R"(/api/profiles/(\d{1,6}))", SaveProfile);
    ItemCommand(s, R"(/api/profiles/(\d{1,6})/delete)", [](int i, const nlohmann::json&) { return DeleteProfile(i); });

    Read(s, "/api/search-sites", ListSearchSites);
    Command(s, "/api/search-sites", [](const nlohmann::json& b) { return SaveSearchSite(-1, b); });
    Command(s, "/api/search-sites/reset", ResetSearchSites);
    ItemCommand(s, R"(/api/search-sites/(\d{1,6}))", SaveSearchSite);
    ItemCommand(s, R"(/api/search-sites/(\d{1,6})/delete)",
                [](int i, const nlohmann::json&) { return DeleteSearchSite(i); });

    Read(s, "/api/cache", CacheState);
    Command(s, "/api/cache/clear", ClearCache);
    Command(s, "/api/cache/move", MoveCache);

    Read(s, "/api/sites", ListSiteLogins);
    Command(s, "/api/sites", [](const nlohmann::json& b) { return SaveSiteLogin(-1, b); });
    ItemCommand(s, R"(/api/sites/(\d{1,6}))", SaveSiteLogin);
    ItemCommand(s, R"(/api/sites/(\d{1,6})/delete)", [](int i, const nlohmann::json&) { return DeleteSiteLogin(i); });

    Read(s, "/api/proxy", ProxyPage);
    Command(s, "/api/proxy", ApplyProxy);
    Read(s, "/api/proxy/check", ProxyCheckState);
    Command(s, "/api/proxy/check", StartProxyCheck);
    Command(s, "/api/proxy/check/cancel", [](const nlohmann::json&) { return CancelProxyCheck(); });
}

}  // namespace plover::web
