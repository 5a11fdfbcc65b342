#pragma once
// A per-server limit of connections at once, across all downloads: a gallery of hundreds of
// pictures on one host must not open hundreds of connections to it (hosts answer that with 429,
// 503 or a ban). The limit is the site's own (site properties) when it has one, else the setting
// "dwMaxConnectionsPerServer"; 0 means no limit.
//
// The scheduling pass counts the workers each server has, then lets a download start a worker
// only while its server has room, and counts what it started.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace plover {

// The limit that holds for a server: the site's own unless it is 0, else the setting.
constexpr uint32_t ConnectionLimitOf(uint32_t siteLimit, uint32_t setting) {
    return siteLimit != 0 ? siteLimit : setting;
}

// The limit of a server from its site properties and the settings.
uint32_t ServerConnectionLimit(const std::string& server);

class CServerConnections {
public:
    using LimitFn = std::function<uint32_t(const std::string& server)>;
    explicit CServerConnections(LimitFn limitOf = ServerConnectionLimit) : limitOf_(std::move(limitOf)) {}

    // Adds `connections` to what the server has (server names are matched without case).
    void Count(const std::string& server, int connections);
    // Whether one more connection to the server stays within its limit.
    bool HasRoom(const std::string& server);

private:
    struct SServer {
        int used = 0;
        uint32_t limit = 0;
    };
    SServer& Of(const std::string& server);

    LimitFn limitOf_;
    std::unordered_map<std::string, SServer> servers_;
};

}  // namespace plover
