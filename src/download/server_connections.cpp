#include "download/server_connections.h"

#include "app/settings.h"
#include "download/site_prop.h"

namespace plover {

uint32_t ServerConnectionLimit(const std::string& server) {
    return ConnectionLimitOf(SiteRequestProps(server).maxConnections, GetSettings().dwMaxConnectionsPerServer);
}

CServerConnections::SServer& CServerConnections::Of(const std::string& server) {
    std::string key;
    for (char c : server) key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    auto [it, added] = servers_.try_emplace(key);
    if (added) it->second.limit = limitOf_(server);  // asked once a pass: sites take a lock
    return it->second;
}

void CServerConnections::Count(const std::string& server, int connections) {
    if (connections > 0) Of(server).used += connections;
}

bool CServerConnections::HasRoom(const std::string& server) {
    SServer& s = Of(server);
    return s.limit == 0 || s.used < int64_t(s.limit);
}

}  // namespace plover
