#pragma once
// The proxy that the environment names for a run (http_proxy, https_proxy, ftp_proxy, no_proxy,
// as other command-line programs read them) and the proxy addresses users type ("--proxy URL").
// Pure rules; the command line decides when they apply (no proxy stored, no --proxy given).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plover {

struct SProxyAddress {
    std::string host;
    uint16_t port = 0;
    bool operator==(const SProxyAddress&) const = default;
};

// "http://host:port/", "host:port" or "host" (port 80 unless written; a login in the address is
// dropped). Nothing for another scheme than http, an empty host or a port outside 1..65535.
std::optional<SProxyAddress> ParseProxyAddress(std::string_view text);

// Whether host is excluded by a no_proxy list: entries separated by commas or blanks, "*" for
// every host, a name matching the host itself or a domain above it ("example.com" and
// ".example.com" both match "www.example.com"), any case; a ":port" after an entry is ignored.
bool MatchesNoProxy(std::string_view host, std::string_view noProxy);

struct SEnvProxies {
    std::string http, https, ftp, noProxy;
};
// The variables through getenv: lower-case names first, then upper-case ones (HTTPS_PROXY,
// FTP_PROXY, NO_PROXY; never HTTP_PROXY, which a web server may set from a request's "Proxy:"
// header).
SEnvProxies ReadEnvProxies(const std::function<const char*(const char*)>& getenv);

// The proxy the environment gives for fetching url (by its scheme and host); nothing when none
// applies or no_proxy excludes the host.
std::optional<SProxyAddress> EnvProxyFor(const SEnvProxies& env, std::string_view url);

}  // namespace plover
