#pragma once
// The proxies page: the HTTP proxy (used or not, address, port) and how FTP goes (directly,
// through the HTTP proxy, or through an FTP proxy with its login and passive mode), applied by the
// page's rules with their own refusals ("HTTP proxy info is invalid", "HTTP proxy is not
// specified", "Invalid FTP proxy information"); and the check of the HTTP proxy, which runs on a
// thread of its own while the page shows its status ("Looking for site", "Connecting") and then
// its result ("Proxy approved successfully" or "Can't find proxy"). One check runs at a time;
// a new one or a cancel detaches the one before.
//
//   GET  /api/proxy               {"httpUse","httpAddr","httpPort","ftpMode","ftpAddr","ftpPort",
//                                  "passive","ftpUser","ftpPassword"} (a port -1: none)
//   POST /api/proxy               the same fields (absent ones keep their value): applies the page
//   POST /api/proxy/check         {"address","port"}: starts a check; answers the state below
//   GET  /api/proxy/check         {"id","status","done","result","text"}
//   POST /api/proxy/check/cancel  ends the check as cancelled
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer ProxyPage();
SApiAnswer ApplyProxy(const nlohmann::json& body);
SApiAnswer StartProxyCheck(const nlohmann::json& body);
SApiAnswer ProxyCheckState();
SApiAnswer CancelProxyCheck();

}  // namespace plover::web
